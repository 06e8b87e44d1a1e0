#include "app/command_line.h"

#include <QCommandLineParser>

#include "app/qt_text.h"

namespace qorvex {

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine result;
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Collects company contact data from a directory site."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption searchUrl(
      QStringLiteral("search-url"),
      QStringLiteral("Address of the site's search, ending in /scom?kw= (default %1).")
          .arg(ToQString(result.site.searchUrlPrefix)),
      QStringLiteral("url"));
  const QCommandLineOption companyBase(
      QStringLiteral("company-base"),
      QStringLiteral("Scheme and host of the company pages, ending in / (default %1).")
          .arg(ToQString(result.site.companyPageBase)),
      QStringLiteral("url"));
  const QCommandLineOption linkMarker(
      QStringLiteral("link-marker"),
      QStringLiteral("Company-pages host followed by / as it appears in links (default %1).")
          .arg(ToQString(result.site.companyLinkMarker)),
      QStringLiteral("text"));
  QCommandLineOption demo(QStringLiteral("demo-search"), QString(), QStringLiteral("keyword"));
  QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("png"));
  QCommandLineOption afterMs(QStringLiteral("after-ms"), QString(), QStringLiteral("ms"));
  for (QCommandLineOption* hidden : {&demo, &screenshot, &afterMs}) {
    hidden->setFlags(QCommandLineOption::HiddenFromHelp);
  }
  parser.addOptions({searchUrl, companyBase, linkMarker, demo, screenshot, afterMs});

  if (!parser.parse(arguments)) {
    result.ok = false;
    result.error = parser.errorText();
    return result;
  }
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
  if (!parser.positionalArguments().isEmpty()) {
    result.ok = false;
    result.error =
        QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
    return result;
  }

  if (parser.isSet(searchUrl)) result.site.searchUrlPrefix = ToAnsi(parser.value(searchUrl));
  if (parser.isSet(companyBase)) result.site.companyPageBase = ToAnsi(parser.value(companyBase));
  if (parser.isSet(linkMarker)) result.site.companyLinkMarker = ToAnsi(parser.value(linkMarker));
  result.demoKeyword = parser.value(demo);
  result.screenshotPath = parser.value(screenshot);
  if (parser.isSet(afterMs)) {
    bool number = false;
    result.afterMs = parser.value(afterMs).toInt(&number);
    if (!number || result.afterMs < 0) {
      result.ok = false;
      result.error = QStringLiteral("--after-ms needs a number of milliseconds");
    }
  }
  if (!result.demoKeyword.isEmpty() && result.screenshotPath.isEmpty()) {
    result.screenshotPath = QStringLiteral("window.png");
  }
  return result;
}

}  // namespace qorvex
