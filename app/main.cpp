// The window program: site options, one window, and an end without waiting for any thread.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/demo.h"
#include "app/main_window.h"
#include "fetch/fetch.h"

int main(int argc, char** argv) {
  qorvex::FetchGlobalInit();  // before any thread fetches
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("qorvex"));
  QApplication::setApplicationVersion(QStringLiteral("0.1.0"));

  const qorvex::CommandLine line = qorvex::ParseCommandLine(QApplication::arguments());
  if (!line.ok) {
    std::fprintf(stderr, "qorvex: %s\n", qPrintable(line.error));
    return 2;
  }

  qorvex::MainWindow::Options options;
  options.site = line.site;
  std::shared_ptr<qorvex::DemoDialogs> demo;
  if (!line.demoKeyword.isEmpty()) {
    demo = std::make_shared<qorvex::DemoDialogs>();
    options.dialogs = demo;
  }
  // Never destroyed: the process ends while workers may still run, as closing the window asks.
  auto* window = new qorvex::MainWindow(std::move(options));
  QObject::connect(window, &qorvex::MainWindow::closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  window->show();
  if (demo) qorvex::StartDemo(*window, demo, line);
  QApplication::exec();
  std::_Exit(0);
}
