#include "collect/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/collect/fakes.h"

namespace qorvex {
namespace {

using testing::FakeDirectory;
using testing::FakeFrontEnd;
using testing::Gbk;
using namespace std::chrono_literals;

const std::string kPrefix = "http://dir.test/scom?kw=";

SiteConfig TestConfig() {
  return {kPrefix, "http://dir.test/", "dir.test/"};
}

struct Company {
  int n;
  std::string Key() const { return "qv" + std::to_string(n); }
  std::string Name() const { return "公司" + std::to_string(n); }
  std::string ContactUrl() const { return "http://dir.test/contact" + std::to_string(n) + ".html"; }
};

std::string SearchPage(int shownPages, int total, const std::vector<Company>& companies) {
  std::string s = "<div><a href=\"#\">1</a>共" + std::to_string(shownPages) +
                  "页</div><p>共找到<span class=\"n\">" + std::to_string(total) +
                  "</span>条</p><th>经营类型</th><ul>";
  for (const Company& c : companies) {
    s += "<li><a href=\"http://dir.test/" + c.Key() + "\" target=\"_blank\">" + c.Name() +
         "</a>主营产品：零件</li>";
  }
  return s + "</ul>您可能感兴趣的产品";
}

std::string ContactPage(const std::string& contact, const std::string& mobile = "13800138000") {
  std::string s = "<ul>";
  if (!contact.empty()) s += "<li><font>联系人:</font>" + contact + "</li>";
  return s + "<li><img src=\"/img/phone/" + mobile + ".png\"></li></ul>";
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<Company> Companies(int first, int count) {
  std::vector<Company> v;
  for (int i = 0; i < count; ++i)
    v.push_back({first + i});
  return v;
}

template <class Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 5000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(2ms);
  }
  return condition();
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = std::make_unique<Engine>(table_, frontEnd_, TestConfig(), directory_.AsFetcher());
  }
  void TearDown() override { engine_.reset(); }

  // A search for keyword whose result pages hold the given companies.
  void PutSearch(const std::string& keyword, int shownPages, int total,
                 const std::vector<std::vector<Company>>& pages) {
    const std::string url = kPrefix + keyword + "&area=";
    directory_.Put(
        url, SearchPage(shownPages, total, pages.empty() ? std::vector<Company>{} : pages.front()));
    for (size_t p = 0; p < pages.size(); ++p) {
      directory_.Put(url + "&p=" + std::to_string(p + 1), SearchPage(shownPages, total, pages[p]));
      for (const Company& c : pages[p]) {
        directory_.Put(c.ContactUrl(), ContactPage("联系" + std::to_string(c.n)));
      }
    }
  }
  static std::vector<Company> Companies(int first, int count) {
    std::vector<Company> v;
    for (int i = 0; i < count; ++i)
      v.push_back({first + i});
    return v;
  }
  void Quiet() { ASSERT_TRUE(engine_->WaitForQuiet(20s)); }
  int CountRequests(const std::string& url) const {
    const auto log = directory_.Requests();
    return static_cast<int>(std::count(log.begin(), log.end(), url));
  }
  int CountRequestsContaining(const std::string& part) const {
    int n = 0;
    for (const auto& url : directory_.Requests())
      n += url.find(part) != std::string::npos;
    return n;
  }

  FakeFrontEnd frontEnd_;
  FakeDirectory directory_;
  ResultTable table_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(EngineTest, SearchChainsIntoDetailsAndExports) {
  PutSearch("abc", 2, 25, {Companies(1, 20), Companies(21, 5)});
  frontEnd_.SetBox(EditBox::Keyword, "abc");
  frontEnd_.SetBox(EditBox::Filter, "x");
  frontEnd_.AddAnswer(true);
  const auto path = std::filesystem::temp_directory_path() /
                    ("qorvex_engine_" + std::to_string(::getpid()) + ".csv");
  frontEnd_.SetSavePath(path.string());

  engine_->StartCompanySearch();
  Quiet();

  const std::string search = kPrefix + "abc&area=";
  EXPECT_EQ(CountRequests(search), 1);
  EXPECT_EQ(CountRequests(search + "&p=1"), 1);
  EXPECT_EQ(CountRequests(search + "&p=2"), 1);
  for (const Company& c : Companies(1, 25))
    EXPECT_EQ(CountRequests(c.ContactUrl()), 1);

  const CounterValues v = engine_->Counters();
  EXPECT_EQ(v.pageCount, 2);
  EXPECT_EQ(v.totalCount, 25);
  EXPECT_EQ(v.processedCount, 25);
  EXPECT_EQ(v.filteredCount, 0);
  EXPECT_EQ(v.validCount, 25);
  ASSERT_EQ(table_.RowCount(), 25);
  for (int i = 0; i < 25; ++i) {
    const RowCells row = table_.RowSnapshot(i);
    EXPECT_EQ(row[kColumnSeq], IntegerToText(i + 1));
    const int n = std::stoi(row[kColumnId].substr(2));
    EXPECT_EQ(row[kColumnName], Gbk("公司" + std::to_string(n)));
    EXPECT_EQ(row[kColumnContact], Gbk("联系" + std::to_string(n)));
    EXPECT_EQ(row[kColumnMobile], "13800138000");
  }

  const std::vector<std::pair<int, std::string>> panels = {
      {0, " 关键字:abc"}, {1, "过滤字:x"}, {2, "地址:"},    {3, "共2页"},       {4, "共25条"},
      {5, "第25条"},      {6, "过滤0条"},  {7, "有效25条"}, {8, "状态:未开始"},
  };
  for (const auto& [i, text] : panels)
    EXPECT_EQ(frontEnd_.Panel(i), Gbk(text)) << i;
  EXPECT_TRUE(engine_->Idle());
  EXPECT_TRUE(frontEnd_.ButtonsEnabled());
  EXPECT_EQ(frontEnd_.TimerPeriod(), 0);

  const auto questions = frontEnd_.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, Gbk("采集信息已完成\r\n是否导出"));
  EXPECT_EQ(questions[0].title, Gbk("完成"));
  EXPECT_EQ(questions[0].owner, Owner::None);
  EXPECT_EQ(frontEnd_.ProposedNames(), std::vector<Text>{"abc--x.csv"});
  const std::string csv = ReadFile(path);
  EXPECT_EQ(csv.rfind(Gbk("序,ID,公司名,联系人,手机,电话,传真,邮箱,QQ,地址\r\n"), 0), 0u);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 26);
  EXPECT_TRUE(frontEnd_.Failures().empty());
  std::filesystem::remove(path);
}

TEST_F(EngineTest, AnExportAnsweredAtOnceLeavesOutTheBlankedRows) {
  PutSearch("abc", 1, 4, {Companies(1, 4)});
  // Two companies without a mobile number: required, so their rows are blanked.
  directory_.Put(Company{2}.ContactUrl(), ContactPage("联系2", ""));
  directory_.Put(Company{4}.ContactUrl(), ContactPage("联系4", ""));
  frontEnd_.SetBox(EditBox::Keyword, "abc");
  frontEnd_.SetTicked(CheckBox::RequireMobile, true);
  frontEnd_.AddAnswer(true);
  const auto path = std::filesystem::temp_directory_path() /
                    ("qorvex_engine_blank_" + std::to_string(::getpid()) + ".csv");
  frontEnd_.SetSavePath(path.string());

  engine_->StartCompanySearch();
  Quiet();

  const std::string csv = ReadFile(path);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
  EXPECT_EQ(csv.find("\r\n,,,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\r\n1,qv1,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\r\n2,qv3,"), std::string::npos) << csv;
  std::filesystem::remove(path);
}

TEST_F(EngineTest, ConfirmTickedAndAnsweredNoKeepsTheCompanyRows) {
  PutSearch("", 1, 3, {Companies(1, 3)});
  frontEnd_.SetTicked(CheckBox::ConfirmDetails, true);
  frontEnd_.AddAnswer(false);
  engine_->StartCompanySearch();
  Quiet();
  const auto questions = frontEnd_.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, Gbk("采集公司已完成\r\n是否开始采集信息"));
  EXPECT_EQ(questions[0].title, Gbk("完成"));
  EXPECT_EQ(questions[0].owner, Owner::MainWindow);
  EXPECT_EQ(CountRequestsContaining("contact"), 0);
  EXPECT_EQ(table_.RowCount(), 3);
  EXPECT_TRUE(engine_->Idle());
  EXPECT_TRUE(frontEnd_.ButtonsEnabled());
}

TEST_F(EngineTest, SearchWithoutPagesEndsWithTheMessage) {
  struct Case {
    const char* label;
    std::optional<std::string> summary;
    const char* panel3;
  };
  const Case cases[] = {
      {"first page fails", std::nullopt, "共0页"},
      {"no page count", "<p>共找到<span class=\"n\">30</span>条</p>", "共0页"},
      {"negative page count", SearchPage(-3, 30, Companies(1, 2)), "共-3页"},
  };
  for (const Case& c : cases) {
    FakeFrontEnd frontEnd;
    FakeDirectory directory;
    ResultTable table;
    table.AppendCompany("qv0", "old");
    if (c.summary) directory.Put(kPrefix + "&area=", *c.summary);
    {
      Engine engine(table, frontEnd, TestConfig(), directory.AsFetcher());
      engine.StartCompanySearch();
      ASSERT_TRUE(engine.WaitForQuiet(10s));
      EXPECT_TRUE(engine.Idle()) << c.label;
    }
    const auto messages = frontEnd.Messages();
    ASSERT_EQ(messages.size(), 1u) << c.label;
    EXPECT_EQ(messages[0].text, Gbk("没有采集结果")) << c.label;
    EXPECT_EQ(messages[0].title, Gbk("结果")) << c.label;
    EXPECT_EQ(frontEnd.Panel(3), Gbk(c.panel3)) << c.label;
    EXPECT_EQ(frontEnd.Panel(8), Gbk("状态:未开始")) << c.label;
    EXPECT_EQ(table.RowCount(), 0) << c.label;
    EXPECT_EQ(directory.Requests().size(), 1u) << c.label;
    EXPECT_TRUE(frontEnd.ButtonsEnabled()) << c.label;
  }
}

TEST_F(EngineTest, SearchEndsWhenEveryPageIsReadEvenBelowTheReportedTotal) {
  PutSearch("", 3, 100, {Companies(1, 20), Companies(21, 20), Companies(41, 5)});
  frontEnd_.SetTicked(CheckBox::ConfirmDetails, true);
  engine_->StartCompanySearch();
  Quiet();
  EXPECT_EQ(frontEnd_.Questions().size(), 1u);
  EXPECT_EQ(engine_->Counters().processedCount, 45);
  EXPECT_EQ(engine_->Counters().totalCount, 100);
  EXPECT_TRUE(engine_->Idle());
}

TEST_F(EngineTest, DetailCollectionCountsSkippedRowsAndCompletes) {
  struct Case {
    const char* label;
    std::vector<bool> filled;
  };
  const Case cases[] = {
      {"some rows filled", {false, true, false, true}},
      {"every row filled", {true, true, true}},
  };
  for (const Case& c : cases) {
    FakeFrontEnd frontEnd;
    FakeDirectory directory;
    ResultTable table;
    std::vector<Company> companies = Companies(1, static_cast<int>(c.filled.size()));
    for (size_t i = 0; i < companies.size(); ++i) {
      const RowId id = table.AppendCompany(companies[i].Key(), "n");
      if (c.filled[i]) table.SetCellById(id, kColumnContact, " ");  // spaces count as filled
      directory.Put(companies[i].ContactUrl(), ContactPage("新"));
    }
    {
      Engine engine(table, frontEnd, TestConfig(), directory.AsFetcher());
      engine.StartDetailCollection();
      ASSERT_TRUE(engine.WaitForQuiet(10s));
      EXPECT_TRUE(engine.Idle()) << c.label;
      EXPECT_EQ(engine.Counters().processedCount, static_cast<int>(c.filled.size())) << c.label;
      EXPECT_EQ(engine.Counters().totalCount, static_cast<int>(c.filled.size())) << c.label;
    }
    for (size_t i = 0; i < companies.size(); ++i) {
      const auto log = directory.Requests();
      const int fetched =
          static_cast<int>(std::count(log.begin(), log.end(), companies[i].ContactUrl()));
      EXPECT_EQ(fetched, c.filled[i] ? 0 : 1) << c.label << " row " << i;
      EXPECT_EQ(table.GetCell(static_cast<int>(i), kColumnContact), c.filled[i] ? " " : Gbk("新"))
          << c.label;
    }
    EXPECT_EQ(frontEnd.Questions().size(), 1u) << c.label;
    EXPECT_TRUE(frontEnd.ButtonsEnabled()) << c.label;
  }
}

TEST_F(EngineTest, DetailCollectionOverAnEmptyTableDoesNothing) {
  engine_->StartDetailCollection();
  Quiet();
  EXPECT_EQ(frontEnd_.ButtonCalls(), 0);
  EXPECT_EQ(frontEnd_.Panel(9), "");
  EXPECT_TRUE(directory_.Requests().empty());
  EXPECT_TRUE(engine_->Idle());
}

TEST_F(EngineTest, StopAtRestRefreshesAndCompacts) {
  table_.AppendCompany("a", "A");
  table_.AppendCompany("  ", "blank");
  table_.AppendCompany("b", "B");
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i)
    callers.emplace_back([&] { engine_->StopRun(); });
  for (auto& t : callers)
    t.join();
  Quiet();
  ASSERT_EQ(table_.RowCount(), 2);
  EXPECT_EQ(table_.RowSnapshot(1)[kColumnSeq], "2");
  EXPECT_EQ(table_.RowSnapshot(1)[kColumnId], "b");
  const char* expected[] = {" 关键字:", "过滤字:", "地址:",   "共0页",      "共0条",
                            "第0条",    "过滤0条", "有效0条", "状态:未开始"};
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(frontEnd_.Panel(i), Gbk(expected[i])) << i;
  EXPECT_EQ(frontEnd_.Panel(9), "");
  EXPECT_TRUE(frontEnd_.ButtonsEnabled());
  EXPECT_EQ(frontEnd_.TimerPeriod(), 0);
}

TEST_F(EngineTest, APageFinishingAfterTheStopStillCountsAndCompletes) {
  PutSearch("", 1, 2, {Companies(1, 2)});
  const std::string page1 = kPrefix + "&area=&p=1";
  directory_.Hold(page1);
  engine_->StartCompanySearch();
  ASSERT_TRUE(directory_.WaitForRequest(page1));
  engine_->StopRun();
  EXPECT_TRUE(engine_->Idle());
  directory_.Open(page1);
  Quiet();
  // The late page added its rows, completed the search and chained into detail collection.
  EXPECT_EQ(table_.RowCount(), 2);
  EXPECT_EQ(CountRequestsContaining("contact"), 2);
  EXPECT_EQ(table_.GetCell(0, kColumnContact).empty(), false);
  EXPECT_EQ(engine_->Counters().validCount, 2);
  EXPECT_TRUE(engine_->Idle());
  EXPECT_EQ(frontEnd_.TimerPeriod(), 0);
}

TEST_F(EngineTest, ALateItemOfAnEarlierRunIsDiscarded) {
  PutSearch("aaa", 1, 2, {Companies(1, 2)});
  PutSearch("bbb", 1, 3, {Companies(10, 3)});
  const std::string heldPage = kPrefix + "aaa&area=&p=1";
  directory_.Hold(heldPage);
  frontEnd_.SetBox(EditBox::Keyword, "aaa");
  frontEnd_.SetTicked(CheckBox::ConfirmDetails, true);
  engine_->StartCompanySearch();
  ASSERT_TRUE(directory_.WaitForRequest(heldPage));
  engine_->StopRun();
  frontEnd_.SetBox(EditBox::Keyword, "bbb");
  engine_->StartCompanySearch();
  ASSERT_TRUE(Eventually([&] { return frontEnd_.Questions().size() == 1; }));
  directory_.Open(heldPage);
  Quiet();
  ASSERT_EQ(table_.RowCount(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_NE(table_.GetCell(i, kColumnId), "qv1");
  const CounterValues v = engine_->Counters();
  EXPECT_EQ(v.processedCount, 3);
  EXPECT_EQ(v.validCount, 3);
  EXPECT_EQ(v.totalCount, 3);
  EXPECT_EQ(frontEnd_.Questions().size(), 1u);
}

TEST_F(EngineTest, ACompactionDuringDetailsDoesNotEndTheRunEarly) {
  for (const Company& c : Companies(1, 3))
    table_.AppendCompany(c.Key(), c.Name());
  directory_.Put(Company{1}.ContactUrl(), ContactPage(""));  // no contact: blanked
  directory_.Put(Company{2}.ContactUrl(), ContactPage("C2"));
  directory_.Put(Company{3}.ContactUrl(), ContactPage("C3"));
  directory_.Hold(Company{2}.ContactUrl());
  directory_.Hold(Company{3}.ContactUrl());
  frontEnd_.SetTicked(CheckBox::RequireContact, true);
  frontEnd_.SetBox(EditBox::Threads, "3");
  frontEnd_.AddAnswer(false);
  engine_->StartDetailCollection();
  ASSERT_TRUE(directory_.WaitForRequest(Company{3}.ContactUrl()));
  ASSERT_TRUE(Eventually([&] { return engine_->Counters().processedCount == 1; }));
  // A compaction still pending from an earlier stop drops the blanked row meanwhile.
  table_.CompactTable();
  ASSERT_EQ(table_.RowCount(), 2);
  directory_.Open(Company{3}.ContactUrl());
  ASSERT_TRUE(Eventually([&] { return engine_->Counters().processedCount == 2; }));
  EXPECT_FALSE(engine_->Idle()) << "ended with row 2 still in flight";
  EXPECT_TRUE(frontEnd_.Questions().empty());

  directory_.Open(Company{2}.ContactUrl());
  Quiet();
  EXPECT_TRUE(engine_->Idle());
  EXPECT_EQ(frontEnd_.Questions().size(), 1u);
  EXPECT_EQ(table_.GetCell(0, kColumnContact), "C2");
  EXPECT_EQ(table_.GetCell(1, kColumnContact), "C3");
}

TEST_F(EngineTest, ALateDetailWriteFollowsItsRowThroughACompaction) {
  for (const Company& c : Companies(1, 3))
    table_.AppendCompany(c.Key(), c.Name());
  directory_.Put(Company{1}.ContactUrl(), ContactPage(""));  // no contact: blanked
  directory_.Put(Company{2}.ContactUrl(), ContactPage("C2"));
  directory_.Put(Company{3}.ContactUrl(), ContactPage("C3"));
  directory_.Hold(Company{3}.ContactUrl());
  frontEnd_.SetTicked(CheckBox::RequireContact, true);
  frontEnd_.SetBox(EditBox::Threads, "3");
  engine_->StartDetailCollection();
  ASSERT_TRUE(directory_.WaitForRequest(Company{3}.ContactUrl()));
  ASSERT_TRUE(Eventually([&] { return engine_->Counters().processedCount == 2; }));
  engine_->StopRun();  // compacts the blanked first row away: row 3 moves up
  ASSERT_TRUE(Eventually([&] { return table_.RowCount() == 2; }));
  directory_.Open(Company{3}.ContactUrl());
  Quiet();
  ASSERT_EQ(table_.RowCount(), 2);
  EXPECT_EQ(table_.GetCell(0, kColumnId), "qv2");
  EXPECT_EQ(table_.GetCell(0, kColumnContact), "C2");
  EXPECT_EQ(table_.GetCell(1, kColumnId), "qv3");
  EXPECT_EQ(table_.GetCell(1, kColumnContact), "C3");
  EXPECT_EQ(engine_->Counters().filteredCount, 1);
  EXPECT_EQ(engine_->Counters().validCount, 2);
  // The late row reached the row count of the compacted table: the run completed.
  EXPECT_EQ(frontEnd_.Questions().size(), 1u);
}

TEST_F(EngineTest, KeywordAndAreaTravelAsPercentEncodedUtf8) {
  frontEnd_.SetBox(EditBox::Keyword, Gbk("手机"));
  frontEnd_.SetBox(EditBox::Area, "a b-1.");
  engine_->StartCompanySearch();
  Quiet();
  ASSERT_FALSE(directory_.Requests().empty());
  EXPECT_EQ(directory_.Requests()[0], kPrefix + "%E6%89%8B%E6%9C%BA&area=a%20b-1.");
}

TEST_F(EngineTest, ExportCsvCases) {
  const auto dir = std::filesystem::temp_directory_path();
  const auto path = dir / ("qorvex_export_" + std::to_string(::getpid()) + ".csv");
  std::filesystem::remove(path);

  engine_->ExportCsv();  // empty table: no dialog
  EXPECT_TRUE(frontEnd_.ProposedNames().empty());

  table_.AppendCompany("qv1", "A");
  frontEnd_.SetSavePath(std::nullopt);
  engine_->ExportCsv();  // cancelled
  EXPECT_EQ(frontEnd_.ProposedNames(), std::vector<Text>{"--.csv"});
  EXPECT_FALSE(std::filesystem::exists(path));

  frontEnd_.SetSavePath((dir / "qorvex-no-such-folder" / "x.csv").string());
  engine_->ExportCsv();
  EXPECT_EQ(frontEnd_.Failures().size(), 1u);

  engine_->SetExportEncoding(CsvEncoding::Utf8WithBom);
  frontEnd_.SetSavePath(path.string());
  engine_->ExportCsv();
  EXPECT_EQ(ReadFile(path).rfind("\xEF\xBB\xBF", 0), 0u);
  EXPECT_EQ(frontEnd_.Failures().size(), 1u);
  std::filesystem::remove(path);
}

TEST_F(EngineTest, OpenCompanyPageCases) {
  engine_->OpenCompanyPage();  // nothing selected
  EXPECT_TRUE(frontEnd_.Opened().empty());
  table_.AppendCompany("qvqv1", "A");
  table_.AppendCompany("QV2", "B");
  table_.AppendCompany("", "C");
  const std::string expected[] = {"http://dir.test/contactcontact1.html",
                                  "http://dir.test/QV2.html", "http://dir.test/.html"};
  for (int row = 0; row < 3; ++row) {
    frontEnd_.SetSelectedRow(row);
    engine_->OpenCompanyPage();
    ASSERT_EQ(frontEnd_.Opened().size(), static_cast<size_t>(row + 1));
    EXPECT_EQ(frontEnd_.Opened().back(), expected[row]);
  }
}

TEST_F(EngineTest, ElapsedTextCountsFromTheStart) {
  directory_.Put(kPrefix + "&area=", "");
  engine_->StartCompanySearch();
  Quiet();
  const Text text = engine_->ElapsedText();
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), Gbk("秒"));
  EXPECT_GE(ToNumber(text), 0.0);
  EXPECT_LT(ToNumber(text), 60.0);
}

TEST_F(EngineTest, DestroyingTheEngineStopsItsRunsAndWaits) {
  PutSearch("", 2, 40, {Companies(1, 20), Companies(21, 20)});
  frontEnd_.SetBox(EditBox::Threads, "1");
  const std::string page1 = kPrefix + "&area=&p=1";
  directory_.Hold(page1);
  engine_->StartCompanySearch();
  ASSERT_TRUE(directory_.WaitForRequest(page1));
  std::thread opener([&] {
    std::this_thread::sleep_for(50ms);
    directory_.Open(page1);
  });
  engine_.reset();
  opener.join();
  // The page in flight finished; the next page and the detail collection never began.
  EXPECT_EQ(table_.RowCount(), 20);
  EXPECT_EQ(CountRequests(kPrefix + "&area=&p=2"), 0);
  EXPECT_EQ(CountRequestsContaining("contact"), 0);
}

// Concurrency that a run asks for, measured as fetches in flight at once.
struct ThreadCase {
  const char* box;
  int pages;
  int workers;
};

class EngineThreadCountTest : public ::testing::TestWithParam<ThreadCase> {};

TEST_P(EngineThreadCountTest, WorkersFollowTheThreadBox) {
  const ThreadCase c = GetParam();
  struct State {
    std::mutex m;
    std::condition_variable cv;
    int started = 0;
    int inFlight = 0;
    int most = 0;
  };
  auto state = std::make_shared<State>();
  std::vector<Company> all = Companies(1, c.pages);
  const std::string summary = SearchPage(c.pages, c.pages, {all[0]});
  Fetcher fetcher = [state, c, all, summary](const Text& url, const Text&, int) -> ByteBuffer {
    const auto p = url.find("&p=");
    std::string body = summary;
    if (p != std::string::npos) {
      std::unique_lock lock(state->m);
      state->most = std::max(state->most, ++state->inFlight);
      ++state->started;
      state->cv.notify_all();
      // The first fetches wait for each other, so every worker has one in flight at once.
      state->cv.wait_for(lock, 5s, [&] { return state->started >= c.workers; });
      lock.unlock();
      std::this_thread::sleep_for(20ms);  // room for a worker too many to show itself
      lock.lock();
      --state->inFlight;
      body = SearchPage(c.pages, c.pages, {all[std::stoi(url.substr(p + 3)) - 1]});
    }
    return ByteBuffer(body.begin(), body.end());
  };
  FakeFrontEnd frontEnd;
  frontEnd.SetBox(EditBox::Threads, c.box);
  frontEnd.SetTicked(CheckBox::ConfirmDetails, true);
  ResultTable table;
  {
    Engine engine(table, frontEnd, TestConfig(), fetcher);
    engine.StartCompanySearch();
    ASSERT_TRUE(engine.WaitForQuiet(20s));
    EXPECT_EQ(engine.Counters().processedCount, c.pages);
  }
  EXPECT_EQ(state->most, c.workers);
  EXPECT_EQ(table.RowCount(), c.pages);
  EXPECT_EQ(frontEnd.Questions().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Boxes, EngineThreadCountTest,
                         ::testing::Values(ThreadCase{"10", 3, 3}, ThreadCase{"10", 25, 10},
                                           ThreadCase{"0.99999999", 3, 1},
                                           ThreadCase{"99", 60, 50}));

TEST(EngineFunctionsTest, ThreadBoxCorrection) {
  const std::pair<const char*, std::optional<Text>> cases[] = {
      {"0", "1"},          {"-3", "1"},
      {"", "1"},           {"51", "50"},
      {"99", "50"},        {"1", {}},
      {"10", {}},          {"50", {}},
      {"0.99999999", {}},  {"50.00000009", {}},
      {"abc", "1"},        {"0.9", "1"},
      {"50.000001", "50"}, {"\xA3\xB5\xA3\xB1", "50"},  // ５１
  };
  for (const auto& [box, expected] : cases)
    EXPECT_EQ(ThreadBoxCorrection(box), expected) << box;
}

TEST(EngineFunctionsTest, TimeoutFromBox) {
  const std::pair<const char*, int> cases[] = {{"5", 5},     {"", 0},    {"-10", -10},
                                               {"999", 999}, {"7.9", 7}, {"x", 0}};
  for (const auto& [box, expected] : cases)
    EXPECT_EQ(TimeoutFromBox(box), expected) << box;
}

TEST(EngineFunctionsTest, ContactPageUrl) {
  const SiteConfig config = TestConfig();
  const std::pair<const char*, const char*> cases[] = {
      {"qv12", "http://dir.test/contact12.html"},   {"qvqv", "http://dir.test/contactcontact.html"},
      {"QV12", "http://dir.test/QV12.html"},        {"", "http://dir.test/.html"},
      {"a/qv1", "http://dir.test/a/contact1.html"},
  };
  for (const auto& [key, url] : cases)
    EXPECT_EQ(ContactPageUrl(config, key), url) << key;
}

}  // namespace
}  // namespace qorvex
