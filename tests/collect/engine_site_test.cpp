// The engine against the bundled sample site over real HTTP on an ephemeral port.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "collect/engine.h"
#include "sample-site/sample_site.h"
#include "tests/collect/fakes.h"

namespace qorvex {
namespace {

using testing::FakeFrontEnd;
using testing::Gbk;
using namespace std::chrono_literals;

SiteConfig ConfigFor(const SampleSite& site, const std::string& pagePath = "") {
  const std::string hostPort = "127.0.0.1:" + std::to_string(site.Port());
  return {"http://" + hostPort + "/scom?kw=", "http://" + hostPort + "/" + pagePath,
          hostPort + "/"};
}

// What a row should hold for a company, without its 序 field, as a CSV line would show it.
std::string ExpectedLine(const SampleCompany& c) {
  const std::string fields[] = {c.key, c.name,  c.contact, c.mobile, c.phone,
                                c.fax, c.email, c.qq,      c.address};
  std::string line;
  for (size_t i = 0; i < std::size(fields); ++i) {
    if (i) line += ",";
    line += i < 2 ? Gbk(fields[i]) : RemoveAllSpaces(Gbk(fields[i]));
  }
  return line;
}

TEST(EngineSiteTest, SearchDetailsAndExportAgainstTheSampleSite) {
  SampleSiteOptions options;
  options.port = 0;
  options.companies = 57;  // three result pages, the last one short
  SampleSite site(options);
  ASSERT_TRUE(site.Start());
  const auto expected = site.Search("", "");
  ASSERT_EQ(expected.size(), 57u);

  FakeFrontEnd frontEnd;
  frontEnd.SetTicked(CheckBox::NumberSwap, false);
  frontEnd.SetTicked(CheckBox::StrongMobile, false);
  frontEnd.AddAnswer(true);
  const auto path = std::filesystem::temp_directory_path() /
                    ("qorvex_site_" + std::to_string(::getpid()) + ".csv");
  frontEnd.SetSavePath(path.string());
  ResultTable table;
  {
    Engine engine(table, frontEnd, ConfigFor(site));
    engine.SetTimeoutSeconds(5);
    engine.StartCompanySearch();
    ASSERT_TRUE(engine.WaitForQuiet(30s));
    const CounterValues v = engine.Counters();
    EXPECT_EQ(v.pageCount, 3);
    EXPECT_EQ(v.totalCount, 57);
    EXPECT_EQ(v.processedCount, 57);
    EXPECT_EQ(v.validCount, 57);
    EXPECT_EQ(v.filteredCount, 0);
  }
  ASSERT_EQ(frontEnd.Questions().size(), 1u);

  std::ifstream in(path, std::ios::binary);
  const std::string csv((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove(path);
  std::vector<std::string> lines;
  for (size_t at = 0; at < csv.size();) {
    const size_t end = csv.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(csv.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 58u);
  EXPECT_EQ(lines[0], Gbk("序,ID,公司名,联系人,手机,电话,传真,邮箱,QQ,地址"));
  std::multiset<std::string> got;
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t comma = lines[i].find(',');
    EXPECT_EQ(lines[i].substr(0, comma), std::to_string(i));
    got.insert(lines[i].substr(comma + 1));
  }
  std::multiset<std::string> want;
  for (const SampleCompany* c : expected)
    want.insert(ExpectedLine(*c));
  EXPECT_EQ(got, want);
}

TEST(EngineSiteTest, StopMidRunEndsPromptly) {
  SampleSiteOptions options;
  options.port = 0;
  options.companies = 400;
  options.latencyMs = 30;
  SampleSite site(options);
  ASSERT_TRUE(site.Start());
  FakeFrontEnd frontEnd;
  frontEnd.SetBox(EditBox::Threads, "2");
  ResultTable table;
  Engine engine(table, frontEnd, ConfigFor(site));
  engine.StartCompanySearch();
  for (int i = 0; i < 2500 && table.RowCount() < 20; ++i)
    std::this_thread::sleep_for(2ms);
  ASSERT_GE(table.RowCount(), 20);
  engine.StopRun();
  ASSERT_TRUE(engine.WaitForQuiet(10s));
  EXPECT_TRUE(engine.Idle());
  EXPECT_LT(engine.Counters().processedCount, 400);
  EXPECT_LT(table.RowCount(), 400);
  EXPECT_TRUE(frontEnd.Questions().empty());
  EXPECT_EQ(frontEnd.Panel(8), Gbk("状态:未开始"));
}

TEST(EngineSiteTest, ASlowContactPageRunsOutOfTimeAndLeavesItsRowEmpty) {
  SampleSiteOptions options;
  options.port = 0;
  options.companies = 3;
  SampleSite site(options);
  struct Latch {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
  };
  auto latch = std::make_shared<Latch>();
  const int slowId = site.Companies()[1].id;
  site.Server().Get(R"(/slow/contact(\d+)\.html)",
                    [&site, latch, slowId](const httplib::Request& req, httplib::Response& res) {
                      const int id = std::stoi(req.matches[1]);
                      if (id == slowId) {
                        std::unique_lock lock(latch->m);
                        latch->cv.wait_for(lock, 10s, [&] { return latch->open; });
                      }
                      const SampleCompany* c = site.FindCompany(id);
                      if (!c) return;
                      res.set_content(
                          RenderContactPage(*c, "127.0.0.1:" + std::to_string(site.Port())),
                          "text/html; charset=utf-8");
                    });
  ASSERT_TRUE(site.Start());

  FakeFrontEnd frontEnd;
  frontEnd.SetTicked(CheckBox::ExportPrompt, false);
  ResultTable table;
  for (const SampleCompany& c : site.Companies())
    table.AppendCompany(Gbk(c.key), Gbk(c.name));
  {
    Engine engine(table, frontEnd, ConfigFor(site, "slow/"));
    engine.SetTimeoutSeconds(1);
    const auto start = std::chrono::steady_clock::now();
    engine.StartDetailCollection();
    ASSERT_TRUE(engine.WaitForQuiet(20s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_EQ(engine.Counters().processedCount, 3);
    EXPECT_EQ(engine.Counters().validCount, 3);
    EXPECT_TRUE(engine.Idle());
  }
  {
    std::lock_guard lock(latch->m);
    latch->open = true;
  }
  latch->cv.notify_all();
  for (int i = 0; i < 3; ++i) {
    const SampleCompany& c = site.Companies()[i];
    const RowCells row = table.RowSnapshot(i);
    if (c.id == slowId) {
      for (int col = kColumnContact; col < kColumnCount; ++col)
        EXPECT_EQ(row[col], "") << col;
    } else {
      EXPECT_EQ(row[kColumnContact], RemoveAllSpaces(Gbk(c.contact)));
    }
  }
}

}  // namespace
}  // namespace qorvex
