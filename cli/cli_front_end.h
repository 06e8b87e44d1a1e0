// The core's front end on a command line: the boxes hold the options, questions answer
// themselves as a script would, and the outcome of the run is recorded for main to report.
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "cli/options.h"
#include "collect/front_end.h"

namespace qorvex::cli {

/// What the run left behind, copied out at one moment.
struct RunOutcome {
  bool noResult = false;  // the core said "没有采集结果"
  bool savePathAsked = false;
  std::string savePath;  // UTF-8, as handed to the core
  std::optional<std::string> writeFailure;
  int detailsQuestions = 0;
  int exportQuestions = 0;
  int starts = 0;  // run starts seen ("正在开始" written into the last panel)
};

/// Every method may be called from any thread; none blocks on anything but a short lock.
class CliFrontEnd final : public FrontEnd {
 public:
  explicit CliFrontEnd(CliOptions options);

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
  int SelectedRow() const override { return -1; }
  void OpenUrl(const std::string&) override {}

  /// The ten panels as they stand, in code page 936.
  std::array<Text, 10> Panels() const;
  RunOutcome Outcome() const;

 private:
  // The boxes, converted once; never written after construction.
  const CliOptions options_;
  const Text keyword_;
  const Text area_;
  const Text exclude_;

  mutable std::mutex mutex_;
  std::array<Text, 10> panels_;
  RunOutcome outcome_;

  std::atomic<int> timerPeriod_{0};
};

}  // namespace qorvex::cli
