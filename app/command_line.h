// The window program's options: where the directory site is, and a hidden demonstration mode
// that runs one search and saves a picture of the window.
#pragma once

#include <QString>
#include <QStringList>

#include "collect/engine.h"

namespace qorvex {

struct CommandLine {
  SiteConfig site;
  /// Hidden: type this keyword, start a company search and take a screenshot.
  QString demoKeyword;
  QString screenshotPath;
  /// Hidden: the longest wait before the screenshot, in milliseconds.
  int afterMs = 60000;
  bool ok = true;
  QString error;
};

/// Reads the arguments (the program name first). --help and --version print and end the
/// process as usual.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace qorvex
