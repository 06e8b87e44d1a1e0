// Test doubles for the engine: a front end that records what the core shows and answers from a
// script, and a directory that serves handmade pages by URL.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "collect/engine.h"
#include "collect/front_end.h"
#include "text/codepage.h"

namespace qorvex::testing {

inline Text Gbk(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
}

class FakeFrontEnd : public FrontEnd {
 public:
  struct Question {
    Text text;
    Text title;
    Owner owner;
  };

  FakeFrontEnd() {
    boxes_[EditBox::Threads] = "10";
    boxes_[EditBox::Timeout] = "10";
    ticked_ = {CheckBox::ExportPrompt, CheckBox::NumberSwap, CheckBox::StrongMobile};
  }

  void SetPanelText(int panel, const Text& text) override {
    std::lock_guard lock(m_);
    if (panel >= 0 && panel < 10) panels_[panel] = text;
  }
  void SetTimerPeriod(int ms) override {
    std::lock_guard lock(m_);
    timer_ = ms;
  }
  int TimerPeriod() const override {
    std::lock_guard lock(m_);
    return timer_;
  }
  void SetStartButtonsEnabled(bool enabled) override {
    std::lock_guard lock(m_);
    buttons_ = enabled;
    ++buttonCalls_;
  }
  Text BoxText(EditBox box) const override {
    std::lock_guard lock(m_);
    auto it = boxes_.find(box);
    return it == boxes_.end() ? Text() : it->second;
  }
  bool IsTicked(CheckBox box) const override {
    std::lock_guard lock(m_);
    return ticked_.count(box) > 0;
  }
  void ShowMessage(const Text& text, const Text& title) override {
    std::lock_guard lock(m_);
    messages_.push_back({text, title, Owner::None});
  }
  bool AskYesNo(const Text& text, const Text& title, Owner owner) override {
    std::lock_guard lock(m_);
    questions_.push_back({text, title, owner});
    if (answers_.empty()) return false;
    const bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::optional<std::string> AskSavePath(const Text& proposedName,
                                         const std::string& folder) override {
    std::lock_guard lock(m_);
    proposedNames_.push_back(proposedName);
    folders_.push_back(folder);
    return savePath_;
  }
  void ShowWriteFailure(const std::string& reason) override {
    std::lock_guard lock(m_);
    failures_.push_back(reason);
  }
  int SelectedRow() const override {
    std::lock_guard lock(m_);
    return selected_;
  }
  void OpenUrl(const std::string& url) override {
    std::lock_guard lock(m_);
    opened_.push_back(url);
  }

  // Script and checks.
  void SetBox(EditBox box, const Text& text) {
    std::lock_guard lock(m_);
    boxes_[box] = text;
  }
  void SetTicked(CheckBox box, bool ticked) {
    std::lock_guard lock(m_);
    if (ticked) {
      ticked_.insert(box);
    } else {
      ticked_.erase(box);
    }
  }
  void AddAnswer(bool yes) {
    std::lock_guard lock(m_);
    answers_.push_back(yes);
  }
  void SetSavePath(std::optional<std::string> path) {
    std::lock_guard lock(m_);
    savePath_ = std::move(path);
  }
  void SetSelectedRow(int row) {
    std::lock_guard lock(m_);
    selected_ = row;
  }
  Text Panel(int i) const {
    std::lock_guard lock(m_);
    return panels_.at(i);
  }
  bool ButtonsEnabled() const {
    std::lock_guard lock(m_);
    return buttons_;
  }
  int ButtonCalls() const {
    std::lock_guard lock(m_);
    return buttonCalls_;
  }
  std::vector<Question> Messages() const {
    std::lock_guard lock(m_);
    return messages_;
  }
  std::vector<Question> Questions() const {
    std::lock_guard lock(m_);
    return questions_;
  }
  std::vector<Text> ProposedNames() const {
    std::lock_guard lock(m_);
    return proposedNames_;
  }
  std::vector<std::string> Failures() const {
    std::lock_guard lock(m_);
    return failures_;
  }
  std::vector<std::string> Opened() const {
    std::lock_guard lock(m_);
    return opened_;
  }

 private:
  mutable std::mutex m_;
  std::array<Text, 10> panels_;
  int timer_ = 0;
  bool buttons_ = true;
  int buttonCalls_ = 0;
  std::map<EditBox, Text> boxes_;
  std::set<CheckBox> ticked_;
  std::vector<Question> messages_;
  std::vector<Question> questions_;
  std::deque<bool> answers_;
  std::optional<std::string> savePath_;
  std::vector<Text> proposedNames_;
  std::vector<std::string> folders_;
  std::vector<std::string> failures_;
  int selected_ = -1;
  std::vector<std::string> opened_;
};

/// Pages by URL (UTF-8 bodies), a record of the URLs asked for, and gates that hold a fetch of
/// a chosen URL until the test opens them.
class FakeDirectory {
 public:
  void Put(const std::string& url, const std::string& body) {
    std::lock_guard lock(m_);
    pages_[url] = body;
  }
  /// Fetches of url wait until Open(url) (or a 10-second safety limit).
  void Hold(const std::string& url) {
    std::lock_guard lock(m_);
    held_.insert(url);
  }
  void Open(const std::string& url) {
    std::lock_guard lock(m_);
    held_.erase(url);
    changed_.notify_all();
  }
  /// Waits until a fetch of url has begun.
  bool WaitForRequest(const std::string& url) {
    std::unique_lock lock(m_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return requested_.count(url) > 0; });
  }
  std::vector<std::string> Requests() const {
    std::lock_guard lock(m_);
    return log_;
  }

  Fetcher AsFetcher() {
    return [this](const Text& url, const Text&, int) { return Fetch(url); };
  }

 private:
  ByteBuffer Fetch(const Text& url) {
    std::unique_lock lock(m_);
    log_.push_back(url);
    requested_.insert(url);
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return held_.count(url) == 0; });
    auto it = pages_.find(url);
    if (it == pages_.end()) return {};
    return ByteBuffer(it->second.begin(), it->second.end());
  }

  mutable std::mutex m_;
  std::condition_variable changed_;
  std::map<std::string, std::string> pages_;
  std::set<std::string> held_;
  std::multiset<std::string> requested_;
  std::vector<std::string> log_;
};

}  // namespace qorvex::testing
