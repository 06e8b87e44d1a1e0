#include "collect/search_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/codepage.h"

namespace qorvex {
namespace {

Text Gbk(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
}

struct SummaryCase {
  const char* label;
  std::string page;  // UTF-8
  int32_t pageCount;
  int32_t totalCount;
};

std::string Summary(const std::string& shownPages, const std::string& total) {
  return "<div class=\"pages\"><a href=\"?p=2\">2</a>共" + shownPages +
         "页</div><p>共找到<span class=\"num\">" + total + "</span>条</p>";
}

TEST(ParseSearchSummaryTest, Cases) {
  const SummaryCase cases[] = {
      {"99 pages shown, 1981 found", Summary("99", "1981"), 100, 1981},
      {"99 pages shown, 1980 found", Summary("99", "1980"), 99, 1980},
      {"99 pages shown, 1 found", Summary("99", "1"), 1, 1},
      {"99 pages shown, total missing", "<a>1</a>共99页", 0, 0},
      {"98 stays", Summary("98", "5000"), 98, 5000},
      {"100 stays", Summary("100", "20"), 100, 20},
      {"no page marker", "<p>共找到<span class=\"n\">500</span>条</p>", 0, 500},
      {"markers ignore letter case", "<A>1</A>共3页 共找到<b class=\"n\">41</b>条", 3, 41},
      {"negative count", Summary("-3", "10"), -3, 10},
      {"empty page", "", 0, 0},
  };
  for (const SummaryCase& c : cases) {
    RunCounters counters;
    counters.processedCount = 7;
    ParseSearchSummary(Gbk(c.page), counters);
    EXPECT_EQ(counters.pageCount, c.pageCount) << c.label;
    EXPECT_EQ(counters.totalCount, c.totalCount) << c.label;
    EXPECT_EQ(counters.processedCount, 7) << c.label;
  }
}

TEST(CutListSectionTest, BetweenBusinessTypeAndSuggestions) {
  EXPECT_EQ(CutListSection(Gbk("head 经营类型<ul>x</ul>您可能感兴趣的产品 tail")), "<ul>x</ul>");
  EXPECT_EQ(CutListSection(Gbk("经营类型 without end")), "");
  EXPECT_EQ(CutListSection(""), "");
}

// One company entry as the site writes it, ending in the separator.
std::string Entry(const std::string& key, const std::string& name) {
  return "<li><a href=\"http://dir.test/" + key + "\" target=\"_blank\">" + name +
         "</a><span>主营产品</span>";
}

struct ListCase {
  const char* label;
  std::string section;  // UTF-8
  std::string filter;   // UTF-8
  int32_t processed;
  int32_t filtered;
  int32_t valid;
  std::vector<std::pair<std::string, std::string>> rows;  // key, name (UTF-8)
  int refreshes;
};

TEST(ParseListPageTest, Cases) {
  const std::string tail = "<li>ads</li>";
  const std::string name200(200, 'n');
  const std::string long201 = "<p>Short</p>" + std::string(201 - 12, 'x');
  const ListCase cases[] = {
      {"empty section counts a full page", "", "", 20, 0, 0, {}, 0},
      {"two companies and a tail",
       Entry("qv1", "甲公司") + Entry("qv2", "乙公司") + Entry("qv3", "丙") + "tail",
       "",
       3,
       0,
       3,
       {{"qv1", "甲公司"}, {"qv2", "乙公司"}, {"qv3", "丙"}},
       3},
      {"text after the last separator is never examined",
       Entry("qv1", "A") + "<a href=\"http://dir.test/qv9\" target=\"_blank\">Tail</a>",
       "",
       1,
       0,
       1,
       {{"qv1", "A"}},
       1},
      {"section ending in the separator loses its last company",
       Entry("qv1", "A") + "<a href=\"http://dir.test/qv2\" target=\"_blank\">B</a>主营产品",
       "",
       1,
       0,
       1,
       {{"qv1", "A"}},
       1},
      {"no separator at all",
       "<a href=\"http://dir.test/qv1\" target=\"_blank\">A</a>",
       "",
       0,
       0,
       0,
       {},
       0},
      {"exclusion is case-sensitive",
       Entry("qv1", "ABC公司") + Entry("qv2", "abc公司") + tail,
       "abc",
       2,
       1,
       1,
       {{"qv1", "ABC公司"}},
       2},
      {"spaces-only exclusion excludes nothing",
       Entry("qv1", "a b") + tail,
       "  　",
       1,
       0,
       1,
       {{"qv1", "a b"}},
       1},
      {"exclusion keeps its spaces",
       Entry("qv1", "xa by") + Entry("qv2", "ab") + tail,
       "a b",
       2,
       1,
       1,
       {{"qv2", "ab"}},
       2},
      {"200 bytes stay", Entry("qv1", name200) + tail, "", 1, 0, 1, {{"qv1", name200}}, 1},
      {"201 bytes take the second cut",
       Entry("qv1", long201) + tail,
       "",
       1,
       0,
       1,
       {{"qv1", "Short"}},
       1},
      {"lower-case em tags are removed",
       Entry("qv1", "<em>ab</em>c<em>d</em>") + tail,
       "",
       1,
       0,
       1,
       {{"qv1", "abcd"}},
       1},
      {"upper-case em tags stay",
       Entry("qv1", "<EM>ab</EM>c") + tail,
       "",
       1,
       0,
       1,
       {{"qv1", "<EM>ab</EM>c"}},
       1},
      {"missing key counts as processed only",
       "<a href=\"http://other.test/qv1\" target=\"_blank\">A</a>主营产品" + tail,
       "",
       1,
       0,
       0,
       {},
       1},
      {"missing name counts nothing",
       "<a href=\"http://dir.test/qv1\">A</a>主营产品" + tail,
       "",
       0,
       0,
       0,
       {},
       1},
  };
  for (const ListCase& c : cases) {
    RunCounters counters;
    ResultTable table;
    int refreshes = 0;
    const Text filter = Gbk(c.filter);
    ListPageContext context;
    context.counters = &counters;
    context.filterText = filter;
    context.companyLinkMarker = "dir.test/";
    context.table = &table;
    context.refreshStatus = [&] { ++refreshes; };
    ParseListPage(Gbk(c.section), context);
    EXPECT_EQ(counters.processedCount, c.processed) << c.label;
    EXPECT_EQ(counters.filteredCount, c.filtered) << c.label;
    EXPECT_EQ(counters.validCount, c.valid) << c.label;
    EXPECT_EQ(refreshes, c.refreshes) << c.label;
    ASSERT_EQ(table.RowCount(), static_cast<int>(c.rows.size())) << c.label;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      const RowCells row = table.RowSnapshot(static_cast<int>(i));
      EXPECT_EQ(row[kColumnSeq], IntegerToText(static_cast<int64_t>(i) + 1)) << c.label;
      EXPECT_EQ(row[kColumnId], c.rows[i].first) << c.label;
      EXPECT_EQ(row[kColumnName], Gbk(c.rows[i].second)) << c.label;
      for (int col = kColumnContact; col < kColumnCount; ++col)
        EXPECT_EQ(row[col], "");
    }
  }
}

}  // namespace
}  // namespace qorvex
