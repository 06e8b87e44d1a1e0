// The questions, messages and the save prompt of a run, behind an interface so that tests can
// answer them without real dialogs.
#pragma once

#include <QString>
#include <optional>

#include "collect/front_end.h"

class QWidget;

namespace qorvex {

/// Every method may be called on any thread and blocks the calling thread only until the user
/// has answered. Texts are exactly as the run gives them (line breaks as "\r\n").
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  /// An OK box without an owner window.
  virtual void ShowMessage(const QString& text, const QString& title) = 0;
  /// Yes/No with the question icon; Owner::MainWindow makes it modal to the window.
  virtual bool AskYesNo(const QString& text, const QString& title, Owner owner) = 0;
  /// The save dialog; the chosen absolute path, or nothing when cancelled. folder may be empty.
  virtual std::optional<QString> AskSavePath(const QString& proposedName,
                                             const QString& folder) = 0;
  /// Tells the user an export could not be written, and why.
  virtual void ShowWriteFailure(const QString& reason) = 0;
};

/// The real dialogs. On the GUI thread they are ordinary modal dialogs of the window. On another
/// thread the window's question is modal to the window (the caller blocks on a queued call);
/// the others open without an owner on the GUI thread and leave the window usable while the
/// caller waits for the answer.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* window) : window_(window) {}
  void ShowMessage(const QString& text, const QString& title) override;
  bool AskYesNo(const QString& text, const QString& title, Owner owner) override;
  std::optional<QString> AskSavePath(const QString& proposedName, const QString& folder) override;
  void ShowWriteFailure(const QString& reason) override;

 private:
  QWidget* window_;
};

}  // namespace qorvex
