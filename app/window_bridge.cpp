#include "app/window_bridge.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "app/qt_text.h"

namespace qorvex {
namespace {

bool OnGuiThread() {
  return QThread::currentThread() == qApp->thread();
}

// How long panel writes from workers gather before one repaint.
constexpr int kPanelFlushMs = 20;

}  // namespace

WindowBridge::WindowBridge(Widgets widgets, std::shared_ptr<Dialogs> dialogs, UrlOpener opener,
                           QObject* parent)
    : QObject(parent),
      widgets_(widgets),
      dialogs_(std::move(dialogs)),
      opener_(std::move(opener)),
      panelTimer_(new QTimer(this)) {
  panelTimer_->setSingleShot(true);
  panelTimer_->setInterval(kPanelFlushMs);
  connect(panelTimer_, &QTimer::timeout, this, &WindowBridge::FlushPanels);
  if (!opener_) {
    opener_ = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  }
}

// Checked in every build: a widget touched from a worker corrupts the window silently.
void WindowBridge::AssertGuiThread() const {
  if (!OnGuiThread()) qFatal("a window control was touched outside the GUI thread");
}

void WindowBridge::SetPanelText(int panel, const Text& text) {
  if (panel < 0 || panel >= kPanelCount) return;
  if (OnGuiThread()) {
    {
      std::lock_guard lock(panelMutex_);
      panelDirty_[panel] = false;  // this write is newer than any stored one
    }
    widgets_.panels[panel]->setText(ToQString(text));
    return;
  }
  bool post = false;
  {
    std::lock_guard lock(panelMutex_);
    pendingPanels_[panel] = text;
    panelDirty_[panel] = true;
    post = !panelFlushPosted_;
    panelFlushPosted_ = true;
  }
  if (post) SchedulePanelFlush();
}

void WindowBridge::SchedulePanelFlush() {
  QMetaObject::invokeMethod(
      this,
      [this]() {
        if (!panelTimer_->isActive()) panelTimer_->start();
      },
      Qt::QueuedConnection);
}

void WindowBridge::FlushPanels() {
  AssertGuiThread();
  std::array<Text, kPanelCount> texts;
  std::array<bool, kPanelCount> dirty{};
  {
    std::lock_guard lock(panelMutex_);
    for (int i = 0; i < kPanelCount; ++i) {
      if (panelDirty_[i]) texts[i].swap(pendingPanels_[i]);
    }
    dirty = panelDirty_;
    panelDirty_.fill(false);
    panelFlushPosted_ = false;
  }
  for (int i = 0; i < kPanelCount; ++i) {
    if (dirty[i]) widgets_.panels[i]->setText(ToQString(texts[i]));
  }
}

void WindowBridge::SetTimerPeriod(int milliseconds) {
  timerPeriod_.store(milliseconds);
  if (OnGuiThread()) {
    ApplyTimerPeriod();
  } else {
    QMetaObject::invokeMethod(this, &WindowBridge::ApplyTimerPeriod, Qt::QueuedConnection);
  }
}

int WindowBridge::TimerPeriod() const {
  return timerPeriod_.load();
}

// Applies the latest period, so calls queued from several threads settle on the last one.
void WindowBridge::ApplyTimerPeriod() {
  AssertGuiThread();
  const int period = timerPeriod_.load();
  QTimer* clock = widgets_.clock;
  if (period <= 0) {
    clock->stop();
  } else if (!clock->isActive() || clock->interval() != period) {
    clock->start(period);
  }
}

void WindowBridge::SetStartButtonsEnabled(bool enabled) {
  startButtonsEnabled_.store(enabled);
  if (OnGuiThread()) {
    ApplyStartButtons();
  } else {
    QMetaObject::invokeMethod(this, &WindowBridge::ApplyStartButtons, Qt::QueuedConnection);
  }
}

void WindowBridge::ApplyStartButtons() {
  AssertGuiThread();
  const bool enabled = startButtonsEnabled_.load();
  widgets_.startDetail->setEnabled(enabled);
  widgets_.startSearch->setEnabled(enabled);
}

Text WindowBridge::BoxText(EditBox box) const {
  const auto index = static_cast<size_t>(box);
  if (index >= boxTexts_.size()) return {};
  std::lock_guard lock(boxMutex_);
  return boxTexts_[index];
}

bool WindowBridge::IsTicked(CheckBox box) const {
  const auto index = static_cast<size_t>(box);
  return index < ticked_.size() && ticked_[index].load();
}

void WindowBridge::NoteBoxText(EditBox box, const QString& text) {
  AssertGuiThread();
  const auto index = static_cast<size_t>(box);
  if (index >= boxTexts_.size()) return;
  Text ansi = ToAnsi(text);
  std::lock_guard lock(boxMutex_);
  boxTexts_[index] = std::move(ansi);
}

void WindowBridge::NoteTicked(CheckBox box, bool ticked) {
  AssertGuiThread();
  const auto index = static_cast<size_t>(box);
  if (index < ticked_.size()) ticked_[index].store(ticked);
}

void WindowBridge::ShowMessage(const Text& text, const Text& title) {
  dialogs_->ShowMessage(ToQString(text), ToQString(title));
}

bool WindowBridge::AskYesNo(const Text& text, const Text& title, Owner owner) {
  return dialogs_->AskYesNo(ToQString(text), ToQString(title), owner);
}

std::optional<std::string> WindowBridge::AskSavePath(const Text& proposedName,
                                                     const std::string& folder) {
  const auto path = dialogs_->AskSavePath(ToQString(proposedName), QString::fromUtf8(folder));
  if (!path) return std::nullopt;
  return path->toUtf8().toStdString();
}

void WindowBridge::ShowWriteFailure(const std::string& reason) {
  dialogs_->ShowWriteFailure(QString::fromUtf8(reason));
}

int WindowBridge::SelectedRow() const {
  AssertGuiThread();
  const QItemSelectionModel* selection = widgets_.list->selectionModel();
  if (selection == nullptr) return -1;
  const QModelIndexList rows = selection->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void WindowBridge::OpenUrl(const std::string& url) {
  AssertGuiThread();
  opener_(QString::fromUtf8(url));
}

}  // namespace qorvex
