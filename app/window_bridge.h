// The window's side of the collection core: everything the runs ask of the window, from any
// thread, handed safely to the GUI thread.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "app/dialogs.h"
#include "collect/front_end.h"

class QAbstractButton;
class QLabel;
class QTableView;
class QTimer;

namespace qorvex {

inline constexpr int kPanelCount = 10;
inline constexpr int kEditBoxCount = 5;
inline constexpr int kCheckBoxCount = 11;

/// Opens an address (UTF-8) in the browser.
using UrlOpener = std::function<void(const QString& url)>;

/// Lives on the GUI thread. Panel texts, the timer period and the start buttons' state are
/// stored at once (cheap, never waiting for the GUI) and applied on the GUI thread, coalesced:
/// a burst of writes from many workers costs one queued call and one repaint per panel.
class WindowBridge : public QObject, public FrontEnd {
  Q_OBJECT

 public:
  struct Widgets {
    std::array<QLabel*, kPanelCount> panels{};
    QTimer* clock = nullptr;
    QAbstractButton* startSearch = nullptr;
    QAbstractButton* startDetail = nullptr;
    QTableView* list = nullptr;
  };

  WindowBridge(Widgets widgets, std::shared_ptr<Dialogs> dialogs, UrlOpener opener,
               QObject* parent = nullptr);

  // FrontEnd.
  void SetPanelText(int panel, const Text& text) override;
  void SetTimerPeriod(int milliseconds) override;
  int TimerPeriod() const override;
  void SetStartButtonsEnabled(bool enabled) override;
  Text BoxText(EditBox box) const override;
  bool IsTicked(CheckBox box) const override;
  void ShowMessage(const Text& text, const Text& title) override;
  bool AskYesNo(const Text& text, const Text& title, Owner owner) override;
  std::optional<std::string> AskSavePath(const Text& proposedName,
                                         const std::string& folder) override;
  void ShowWriteFailure(const std::string& reason) override;
  int SelectedRow() const override;
  void OpenUrl(const std::string& url) override;

  /// The window tells the bridge about its boxes (GUI thread, on every change).
  void NoteBoxText(EditBox box, const QString& text);
  void NoteTicked(CheckBox box, bool ticked);

  /// Applies every stored panel text now (GUI thread).
  void FlushPanels();

 private:
  void AssertGuiThread() const;
  void SchedulePanelFlush();
  void ApplyTimerPeriod();
  void ApplyStartButtons();

  Widgets widgets_;
  std::shared_ptr<Dialogs> dialogs_;
  UrlOpener opener_;

  std::mutex panelMutex_;
  std::array<Text, kPanelCount> pendingPanels_;
  std::array<bool, kPanelCount> panelDirty_{};
  bool panelFlushPosted_ = false;
  QTimer* panelTimer_;

  std::atomic<int> timerPeriod_{0};
  std::atomic<bool> startButtonsEnabled_{true};

  mutable std::mutex boxMutex_;
  std::array<Text, kEditBoxCount> boxTexts_;
  std::array<std::atomic<bool>, kCheckBoxCount> ticked_{};
};

}  // namespace qorvex
