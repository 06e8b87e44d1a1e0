#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "cli/cli_front_end.h"

namespace qorvex::cli {
namespace {

const Text kDetailsQuestion =  // 采集公司已完成\r\n是否开始采集信息
    "\xB2\xC9\xBC\xAF\xB9\xAB\xCB\xBE\xD2\xD1\xCD\xEA\xB3\xC9\r\n"
    "\xCA\xC7\xB7\xF1\xBF\xAA\xCA\xBC\xB2\xC9\xBC\xAF\xD0\xC5\xCF\xA2";
const Text kExportQuestion =  // 采集信息已完成\r\n是否导出
    "\xB2\xC9\xBC\xAF\xD0\xC5\xCF\xA2\xD2\xD1\xCD\xEA\xB3\xC9\r\n"
    "\xCA\xC7\xB7\xF1\xB5\xBC\xB3\xF6";
const Text kDone = "\xCD\xEA\xB3\xC9";  // 完成

CliOptions Parsed(const std::vector<std::string>& args) {
  const ParseResult result = ParseOptions(args);
  EXPECT_EQ(result.outcome, ParseOutcome::Run) << result.error;
  return result.options;
}

TEST(CliFrontEnd, BoxesHoldTheOptionsInCodePage936) {
  const CliFrontEnd frontEnd(
      Parsed({"-k", "手机", "-a", "深圳", "-x", "Ab", "-t", "99", "-T", "-4"}));
  EXPECT_EQ(frontEnd.BoxText(EditBox::Keyword), "\xCA\xD6\xBB\xFA");  // 手机
  EXPECT_EQ(frontEnd.BoxText(EditBox::Area), "\xC9\xEE\xDB\xDA");     // 深圳
  EXPECT_EQ(frontEnd.BoxText(EditBox::Filter), "Ab");
  EXPECT_EQ(frontEnd.BoxText(EditBox::Threads), "50");
  EXPECT_EQ(frontEnd.BoxText(EditBox::Timeout), "-4");
}

TEST(CliFrontEnd, CheckBoxesFollowTheOptions) {
  struct Case {
    std::vector<std::string> args;
    std::vector<CheckBox> ticked;
  } cases[] = {
      {{}, {CheckBox::ExportPrompt, CheckBox::NumberSwap, CheckBox::StrongMobile}},
      {{"--no-swap", "--no-strong-mobile", "--companies-only"},
       {CheckBox::ExportPrompt, CheckBox::ConfirmDetails}},
      {{"-r", "contact,mobile,phone,fax,email,qq,address", "--no-swap"},
       {CheckBox::ExportPrompt, CheckBox::StrongMobile, CheckBox::RequireContact,
        CheckBox::RequireMobile, CheckBox::RequirePhone, CheckBox::RequireFax,
        CheckBox::RequireEmail, CheckBox::RequireQQ, CheckBox::RequireAddress}},
  };
  const CheckBox all[] = {
      CheckBox::RequireContact, CheckBox::RequireMobile,  CheckBox::RequirePhone,
      CheckBox::RequireFax,     CheckBox::RequireEmail,   CheckBox::RequireQQ,
      CheckBox::RequireAddress, CheckBox::ConfirmDetails, CheckBox::ExportPrompt,
      CheckBox::NumberSwap,     CheckBox::StrongMobile};
  for (const Case& c : cases) {
    const CliFrontEnd frontEnd(Parsed(c.args));
    for (CheckBox box : all) {
      const bool expected = std::find(c.ticked.begin(), c.ticked.end(), box) != c.ticked.end();
      EXPECT_EQ(frontEnd.IsTicked(box), expected)
          << "box " << static_cast<int>(box) << " with " << testing::PrintToString(c.args);
    }
  }
}

TEST(CliFrontEnd, QuestionsAnswerAsTheRunAsks) {
  // Details follow the search unless only companies were asked for; the export is left to
  // the program, which writes once the run is at rest.
  CliFrontEnd full(Parsed({}));
  EXPECT_TRUE(full.AskYesNo(kDetailsQuestion, kDone, Owner::MainWindow));
  EXPECT_FALSE(full.AskYesNo(kExportQuestion, kDone, Owner::None));

  CliFrontEnd companiesOnly(Parsed({"--companies-only"}));
  EXPECT_FALSE(companiesOnly.AskYesNo(kDetailsQuestion, kDone, Owner::MainWindow));
  EXPECT_FALSE(companiesOnly.AskYesNo(kExportQuestion, kDone, Owner::None));
  const RunOutcome outcome = companiesOnly.Outcome();
  EXPECT_EQ(outcome.detailsQuestions, 1);
  EXPECT_EQ(outcome.exportQuestions, 1);
}

TEST(CliFrontEnd, SavePathIsTheOutputOrTheProposedNameHere) {
  // 手机-深圳-.csv, as the core proposes it
  const Text proposed = "\xCA\xD6\xBB\xFA-\xC9\xEE\xDB\xDA-.csv";
  CliFrontEnd byName(Parsed({}));
  EXPECT_EQ(byName.AskSavePath(proposed, "/home/someone/Desktop/"), "手机-深圳-.csv");
  EXPECT_EQ(byName.Outcome().savePath, "手机-深圳-.csv");
  EXPECT_TRUE(byName.Outcome().savePathAsked);

  CliFrontEnd unsafe(Parsed({}));
  EXPECT_EQ(unsafe.AskSavePath("../x--.csv", ""), ".._x--.csv");

  CliFrontEnd given(Parsed({"-o", "/tmp/out/file.csv"}));
  EXPECT_EQ(given.AskSavePath(proposed, ""), "/tmp/out/file.csv");
}

TEST(CliFrontEnd, RecordsNoResultAndWriteFailure) {
  CliFrontEnd frontEnd(Parsed({}));
  frontEnd.ShowMessage("\xBD\xE1\xB9\xFB", "\xBD\xE1\xB9\xFB");  // 结果: some other message
  EXPECT_FALSE(frontEnd.Outcome().noResult);
  frontEnd.ShowMessage("\xC3\xBB\xD3\xD0\xB2\xC9\xBC\xAF\xBD\xE1\xB9\xFB",  // 没有采集结果
                       "\xBD\xE1\xB9\xFB");
  EXPECT_TRUE(frontEnd.Outcome().noResult);
  EXPECT_FALSE(frontEnd.Outcome().writeFailure.has_value());
  frontEnd.ShowWriteFailure("Permission denied");
  EXPECT_EQ(frontEnd.Outcome().writeFailure, "Permission denied");
}

TEST(CliFrontEnd, PanelsIgnoreOutOfRangeIndicesAndCountStarts) {
  CliFrontEnd frontEnd(Parsed({}));
  frontEnd.SetPanelText(-1, "x");
  frontEnd.SetPanelText(10, "x");
  for (const Text& panel : frontEnd.Panels())
    EXPECT_EQ(panel, "");
  const Text starting = "\xD5\xFD\xD4\xDA\xBF\xAA\xCA\xBC";  // 正在开始
  frontEnd.SetPanelText(9, starting);
  frontEnd.SetPanelText(9, "1.5\xC3\xEB");
  frontEnd.SetPanelText(8, starting);  // only the last panel marks a start
  frontEnd.SetPanelText(9, starting);
  EXPECT_EQ(frontEnd.Outcome().starts, 2);
  EXPECT_EQ(frontEnd.Panels()[9], starting);
}

// Workers write panels and the timer while the main thread draws; run under ThreadSanitizer.
TEST(CliFrontEnd, ConcurrentWritersAndReader) {
  CliFrontEnd frontEnd(Parsed({}));
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([&frontEnd, t] {
      for (int i = 0; i < 2000; ++i) {
        frontEnd.SetPanelText(i % 10, std::to_string(t * 10000 + i));
        frontEnd.SetTimerPeriod(i % 2 == 0 ? 10 : 0);
      }
    });
  }
  for (int i = 0; i < 500; ++i) {
    for (const Text& panel : frontEnd.Panels()) {
      EXPECT_EQ(panel.find_first_not_of("0123456789"), std::string::npos) << panel;
    }
    const int period = frontEnd.TimerPeriod();
    EXPECT_TRUE(period == 0 || period == 10);
  }
  for (auto& w : writers)
    w.join();
  EXPECT_EQ(frontEnd.Panels()[9].empty(), false);
}

}  // namespace
}  // namespace qorvex::cli
