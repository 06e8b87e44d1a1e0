#include "cli/cli_front_end.h"

#include <utility>

#include "text/codepage.h"

namespace qorvex::cli {
namespace {

const Text kNoResult = "\xC3\xBB\xD3\xD0\xB2\xC9\xBC\xAF\xBD\xE1\xB9\xFB";  // 没有采集结果
const Text kStarting = "\xD5\xFD\xD4\xDA\xBF\xAA\xCA\xBC";                  // 正在开始
// 采集公司已完成\r\n是否开始采集信息
const Text kDetailsQuestion =
    "\xB2\xC9\xBC\xAF\xB9\xAB\xCB\xBE\xD2\xD1\xCD\xEA\xB3\xC9\r\n"
    "\xCA\xC7\xB7\xF1\xBF\xAA\xCA\xBC\xB2\xC9\xBC\xAF\xD0\xC5\xCF\xA2";
// 采集信息已完成\r\n是否导出
const Text kExportQuestion =
    "\xB2\xC9\xBC\xAF\xD0\xC5\xCF\xA2\xD2\xD1\xCD\xEA\xB3\xC9\r\n"
    "\xCA\xC7\xB7\xF1\xB5\xBC\xB3\xF6";

}  // namespace

CliFrontEnd::CliFrontEnd(CliOptions options)
    : options_(std::move(options)),
      keyword_(Utf8ToAnsi(options_.keyword)),
      area_(Utf8ToAnsi(options_.area)),
      exclude_(Utf8ToAnsi(options_.exclude)) {}

void CliFrontEnd::SetPanelText(int panel, const Text& text) {
  if (panel < 0 || panel >= static_cast<int>(panels_.size())) return;
  std::lock_guard lock(mutex_);
  panels_[panel] = text;
  if (panel == 9 && text == kStarting) ++outcome_.starts;
}

void CliFrontEnd::SetTimerPeriod(int milliseconds) {
  timerPeriod_.store(milliseconds);
}

int CliFrontEnd::TimerPeriod() const {
  return timerPeriod_.load();
}

void CliFrontEnd::SetStartButtonsEnabled(bool) {}

Text CliFrontEnd::BoxText(EditBox box) const {
  switch (box) {
    case EditBox::Keyword:
      return keyword_;
    case EditBox::Area:
      return area_;
    case EditBox::Filter:
      return exclude_;
    case EditBox::Threads:
      return options_.threadsText;
    case EditBox::Timeout:
      return options_.timeoutText;
  }
  return {};
}

bool CliFrontEnd::IsTicked(CheckBox box) const {
  switch (box) {
    case CheckBox::ConfirmDetails:
      return options_.companiesOnly;
    case CheckBox::ExportPrompt:
      return true;
    case CheckBox::NumberSwap:
      return options_.numberSwap;
    case CheckBox::StrongMobile:
      return options_.strongMobile;
    default:
      return options_.required.count(box) > 0;
  }
}

void CliFrontEnd::ShowMessage(const Text& text, const Text&) {
  std::lock_guard lock(mutex_);
  if (text == kNoResult) outcome_.noResult = true;
}

bool CliFrontEnd::AskYesNo(const Text& text, const Text&, Owner owner) {
  // The details question is the one owned by the window; matching the text first keeps the
  // answers right should the core ever change an owner.
  const bool details =
      text == kDetailsQuestion || (text != kExportQuestion && owner == Owner::MainWindow);
  std::lock_guard lock(mutex_);
  if (details) {
    ++outcome_.detailsQuestions;
    return !options_.companiesOnly;
  }
  // The export waits until the run is at rest: the question comes right after the stop, while
  // the rows the filters blanked may still be waiting for the compaction the stop started.
  ++outcome_.exportQuestions;
  return false;
}

std::optional<std::string> CliFrontEnd::AskSavePath(const Text& proposedName, const std::string&) {
  std::string path =
      options_.output.empty() ? SafeFileName(AnsiToUtf8(proposedName)) : options_.output;
  std::lock_guard lock(mutex_);
  outcome_.savePathAsked = true;
  outcome_.savePath = path;
  return path;
}

void CliFrontEnd::ShowWriteFailure(const std::string& reason) {
  std::lock_guard lock(mutex_);
  outcome_.writeFailure = reason;
}

std::array<Text, 10> CliFrontEnd::Panels() const {
  std::lock_guard lock(mutex_);
  return panels_;
}

RunOutcome CliFrontEnd::Outcome() const {
  std::lock_guard lock(mutex_);
  return outcome_;
}

}  // namespace qorvex::cli
