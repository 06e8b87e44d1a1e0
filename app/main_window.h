// The program's one window: the search settings, the run buttons, the result list, the filter
// boxes and the status bar, wired to the collection core.
#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "app/dialogs.h"
#include "app/window_bridge.h"
#include "collect/engine.h"
#include "results/result_table.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace qorvex {

class ResultModel;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  struct Options {
    SiteConfig site;
    /// The questions and the save prompt; the real dialogs when empty.
    std::shared_ptr<Dialogs> dialogs;
    /// Opens a company page; the desktop's browser when empty.
    UrlOpener openUrl;
    /// Fetches pages; the timed fetch when empty.
    Fetcher fetcher;
  };

  static constexpr int kClientWidth = 892;
  static constexpr int kClientHeight = 503;

  explicit MainWindow(Options options = {});
  ~MainWindow() override;

  Engine& engine() { return *engine_; }
  ResultTable& table() { return table_; }
  ResultModel& model() { return *model_; }
  WindowBridge& bridge() { return *bridge_; }

 signals:
  /// The user closed the window; the process is to end now.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void WireEvents();
  void ApplyThreadRule();
  void KeepSelectionAcrossReset();

  ResultTable table_;
  QLineEdit* keywordBox_ = nullptr;
  QLineEdit* areaBox_ = nullptr;
  QLineEdit* filterBox_ = nullptr;
  QLineEdit* threadBox_ = nullptr;
  QLineEdit* timeoutBox_ = nullptr;
  QPushButton* startSearch_ = nullptr;
  QPushButton* startDetail_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* clearAll_ = nullptr;
  QPushButton* clearDetails_ = nullptr;
  QPushButton* export_ = nullptr;
  QTableView* list_ = nullptr;
  std::array<QCheckBox*, kCheckBoxCount> checkBoxes_{};
  std::array<QLabel*, kPanelCount> panels_{};
  QTimer* clock_ = nullptr;
  ResultModel* model_ = nullptr;
  WindowBridge* bridge_ = nullptr;
  std::unique_ptr<Engine> engine_;
  RowId selectedBeforeReset_ = 0;
};

}  // namespace qorvex
