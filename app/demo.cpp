#include "app/demo.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/control_names.h"
#include "app/main_window.h"

namespace qorvex {

void DemoDialogs::ShowMessage(const QString&, const QString&) {
  finished_.store(true);
}

bool DemoDialogs::AskYesNo(const QString&, const QString&, Owner owner) {
  if (owner == Owner::MainWindow) return true;
  finished_.store(true);
  return false;
}

std::optional<QString> DemoDialogs::AskSavePath(const QString&, const QString&) {
  return std::nullopt;
}

void DemoDialogs::ShowWriteFailure(const QString&) {}

void StartDemo(MainWindow& window, std::shared_ptr<DemoDialogs> dialogs, const CommandLine& line) {
  QTimer::singleShot(300, &window, [&window, dialogs, line]() {
    window.findChild<QLineEdit*>(QString::fromUtf8(names::kKeywordBox))->setText(line.demoKeyword);
    window.findChild<QPushButton*>(QString::fromUtf8(names::kStartSearchButton))->click();

    auto* poll = new QTimer(&window);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto finishedAt = std::make_shared<qint64>(-1);
    QObject::connect(poll, &QTimer::timeout, &window, [=, &window]() {
      if (*finishedAt < 0 && dialogs->Finished()) *finishedAt = clock->elapsed();
      // A short pause after the end lets the last status and rows reach the screen.
      const bool settled = *finishedAt >= 0 && clock->elapsed() - *finishedAt > 500;
      if (!settled && clock->elapsed() < line.afterMs) return;
      poll->stop();
      const bool saved = window.grab().save(line.screenshotPath, "PNG");
      std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "screenshot:" : "cannot write",
                   qPrintable(line.screenshotPath));
      std::fflush(saved ? stdout : stderr);
      window.close();
    });
    poll->start(100);
  });
}

}  // namespace qorvex
