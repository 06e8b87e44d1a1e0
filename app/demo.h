// The hidden demonstration mode: types a keyword, starts a company search (which chains into
// detail collection), and saves a picture of the window once the run has finished.
#pragma once

#include <memory>

#include "app/command_line.h"
#include "app/dialogs.h"

namespace qorvex {

class MainWindow;

/// Answers the run's questions without showing anything: details follow the search, the
/// export is declined, and the end of the run is noted.
class DemoDialogs : public Dialogs {
 public:
  void ShowMessage(const QString& text, const QString& title) override;
  bool AskYesNo(const QString& text, const QString& title, Owner owner) override;
  std::optional<QString> AskSavePath(const QString& proposedName, const QString& folder) override;
  void ShowWriteFailure(const QString& reason) override;
  bool Finished() const { return finished_.load(); }

 private:
  std::atomic<bool> finished_{false};
};

/// Starts the demonstration on a shown window; the window closes after the screenshot.
void StartDemo(MainWindow& window, std::shared_ptr<DemoDialogs> dialogs, const CommandLine& line);

}  // namespace qorvex
