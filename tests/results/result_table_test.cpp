#include "results/result_table.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "text/codepage.h"

namespace qorvex {
namespace {

// A table with one company per key, named after its key.
void Fill(ResultTable& table, const std::vector<Text>& keys) {
  for (const Text& key : keys)
    table.AppendCompany(key, "name-" + key);
}

std::vector<Text> ColumnOf(const ResultTable& table, int column) {
  std::vector<Text> out;
  for (const RowCells& row : table.Snapshot())
    out.push_back(row[column]);
  return out;
}

std::vector<Text> Numbers(int count) {
  std::vector<Text> out;
  for (int i = 1; i <= count; ++i)
    out.push_back(std::to_string(i));
  return out;
}

TEST(ResultTableColumns, TitlesAndWidthsInOrder) {
  const struct {
    const char* title;
    int width;
  } expected[kColumnCount] = {
      // Written in UTF-8 and converted, so the table's code page 936 bytes are checked against
      // the converter rather than against a second copy of themselves.
      {"序", 55},    {"ID", 0},    {"公司名", 200}, {"联系人", 60}, {"手机", 100},
      {"电话", 110}, {"传真", 70}, {"邮箱", 70},    {"QQ", 70},     {"地址", 120},
  };
  ASSERT_EQ(ResultTable::ColumnCount(), 10);
  for (int c = 0; c < kColumnCount; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(ResultTable::ColumnTitle(c), Utf8ToAnsi(expected[c].title));
    EXPECT_EQ(Columns()[c].title, Utf8ToAnsi(expected[c].title));
    EXPECT_EQ(Columns()[c].width, expected[c].width);
  }
  EXPECT_EQ(ResultTable::ColumnTitle(-1), "");
  EXPECT_EQ(ResultTable::ColumnTitle(10), "");
}

TEST(ResultTableCells, AppendRowGivesEmptyCellsAtTheEnd) {
  ResultTable table;
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(table.AppendRow(), 0);
  table.SetCell(0, kColumnName, "first");
  EXPECT_EQ(table.AppendRow(), 1);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.GetCell(0, kColumnName), "first");
  EXPECT_EQ(table.RowSnapshot(1), RowCells{});
}

TEST(ResultTableCells, AppendCompanyNumbersByRowCountAfterTheAppend) {
  ResultTable table;
  table.AppendRow();
  const RowId a = table.AppendCompany("key-a", "A");
  table.DeleteRow(0);
  const RowId b = table.AppendCompany("key-b", "B");
  EXPECT_LT(a, b);
  const RowCells first = table.RowSnapshot(0);
  EXPECT_EQ(first[kColumnSeq], "2");  // the count when it was appended, until a compaction
  EXPECT_EQ(first[kColumnId], "key-a");
  EXPECT_EQ(first[kColumnName], "A");
  EXPECT_EQ(table.GetCell(1, kColumnSeq), "2");
  EXPECT_EQ(table.GetCell(1, kColumnId), "key-b");
  for (int c = kColumnContact; c < kColumnCount; ++c)
    EXPECT_EQ(first[c], "");
}

TEST(ResultTableCells, LongCellIsReturnedWhole) {
  ResultTable table;
  table.AppendRow();
  const Text big(100000, 'x');
  table.SetCell(0, kColumnAddress, big);
  EXPECT_EQ(table.GetCell(0, kColumnAddress), big);
}

TEST(ResultTableCells, IndicesThatDoNotExistReadEmptyAndWriteNothing) {
  const struct {
    const char* name;
    int row;
    int column;
  } cases[] = {
      {"row past the end", 2, 0}, {"negative row", -1, 0},  {"column 10", 0, 10},
      {"negative column", 0, -1}, {"huge row", 1 << 30, 3}, {"both out", 5, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable table;
    Fill(table, {"a", "b"});
    const auto before = table.Snapshot();
    EXPECT_EQ(table.GetCell(c.row, c.column), "");
    table.SetCell(c.row, c.column, "written");
    EXPECT_EQ(table.Snapshot(), before);
    if (c.row < 0 || c.row >= 2) {
      table.DeleteRow(c.row);
      EXPECT_EQ(table.Snapshot(), before);
      EXPECT_EQ(table.RowSnapshot(c.row), RowCells{});
      EXPECT_EQ(table.IdAt(c.row), 0u);
    }
  }
}

TEST(ResultTableCells, DeleteRowMovesLaterRowsUp) {
  ResultTable table;
  Fill(table, {"a", "b", "c"});
  table.DeleteRow(1);
  EXPECT_EQ(ColumnOf(table, kColumnId), (std::vector<Text>{"a", "c"}));
  table.DeleteRow(0);
  table.DeleteRow(0);
  EXPECT_EQ(table.RowCount(), 0);
  table.DeleteRow(0);
  EXPECT_EQ(table.RowCount(), 0);
}

TEST(ResultTableCells, DeleteAllRowsEmptiesAndNeverReusesIds) {
  ResultTable table;
  table.DeleteAllRows();  // an empty table stays empty
  EXPECT_EQ(table.RowCount(), 0);
  Fill(table, {"a", "b"});
  const RowId old = table.IdAt(1);
  table.DeleteAllRows();
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(table.IndexOf(old), -1);
  const RowId fresh = table.AppendCompany("c", "C");
  EXPECT_GT(fresh, old);
  EXPECT_FALSE(table.SetCellById(old, kColumnContact, "late"));
  EXPECT_EQ(table.GetCell(0, kColumnContact), "");
  EXPECT_EQ(table.GetCell(0, kColumnSeq), "1");
}

TEST(ResultTableIds, WritesThroughIdsFollowTheRowAndFallAwayWhenItIsGone) {
  ResultTable table;
  Fill(table, {"a", "b", "c", "d"});
  const auto keys = table.KeysSnapshot();
  ASSERT_EQ(keys.size(), 4u);
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_NE(keys[i].first, 0u);
    EXPECT_EQ(keys[i].first, table.IdAt(static_cast<int>(i)));
    if (i > 0) {
      EXPECT_LT(keys[i - 1].first, keys[i].first);
    }
  }
  EXPECT_EQ(keys[2].second, "c");

  // "b" is blanked by its worker and compacted away; the others move up.
  EXPECT_TRUE(table.BlankRowById(keys[1].first));
  EXPECT_EQ(table.RowSnapshot(1), RowCells{});
  table.CompactTable();
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.IndexOf(keys[1].first), -1);
  EXPECT_EQ(table.IndexOf(keys[2].first), 1);
  EXPECT_EQ(table.IndexOf(keys[3].first), 2);

  // Late writes of the old run land in their own rows or nowhere.
  EXPECT_FALSE(table.SetCellById(keys[1].first, kColumnContact, "for b"));
  EXPECT_FALSE(table.SetCellsById(keys[1].first, kColumnContact, {"for b", "for b"}));
  EXPECT_FALSE(table.BlankRowById(keys[1].first));
  EXPECT_TRUE(table.SetCellById(keys[2].first, kColumnContact, "for c"));
  EXPECT_TRUE(table.SetCellById(keys[0].first, kColumnContact, "for a"));
  EXPECT_EQ(ColumnOf(table, kColumnContact), (std::vector<Text>{"for a", "for c", ""}));
  EXPECT_EQ(ColumnOf(table, kColumnId), (std::vector<Text>{"a", "c", "d"}));

  // Reads by id find the moved rows and nothing for the one that is gone.
  EXPECT_EQ(table.GetCellById(keys[2].first, kColumnContact), "for c");
  EXPECT_EQ(table.GetCellById(keys[2].first, kColumnCount), "");
  EXPECT_EQ(table.GetCellById(keys[1].first, kColumnId), "");
  EXPECT_EQ(table.RowSnapshotById(keys[3].first)[kColumnId], "d");
  EXPECT_EQ(table.RowSnapshotById(keys[1].first), RowCells{});

  EXPECT_FALSE(table.SetCellById(0, kColumnContact, "zero"));
  EXPECT_EQ(table.IndexOf(0), -1);
  EXPECT_EQ(table.IndexOf(keys[3].first + 100), -1);
}

TEST(ResultTableIds, SetCellsByIdWritesOnlyColumnsThatExist) {
  const struct {
    const char* name;
    int firstColumn;
    std::vector<Text> texts;
    std::vector<Text> expected;  // all ten cells afterwards
  } cases[] = {
      {"seven contact cells",
       kColumnContact,
       {"c", "m", "p", "f", "e", "q", "a"},
       {"1", "k", "n", "c", "m", "p", "f", "e", "q", "a"}},
      {"runs past the last column",
       8,
       {"q", "a", "x", "y"},
       {"1", "k", "n", "", "", "", "", "", "q", "a"}},
      {"starts before the first column",
       -2,
       {"x", "y", "0", "K"},
       {"0", "K", "n", "", "", "", "", "", "", ""}},
      {"nothing to write", 3, {}, {"1", "k", "n", "", "", "", "", "", "", ""}},
      {"wholly outside", 10, {"x"}, {"1", "k", "n", "", "", "", "", "", "", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable table;
    const RowId id = table.AppendCompany("k", "n");
    EXPECT_TRUE(table.SetCellsById(id, c.firstColumn, c.texts));
    const RowCells row = table.RowSnapshot(0);
    EXPECT_EQ(std::vector<Text>(row.begin(), row.end()), c.expected);
  }
}

struct CompactCase {
  const char* name;
  std::vector<Text> ids;
  std::vector<Text> kept;
};

void PrintTo(const CompactCase& c, std::ostream* os) {
  *os << c.name;
}

class CompactTableTest : public testing::TestWithParam<CompactCase> {};

TEST_P(CompactTableTest, DeletesBlankIdsKeepsOrderAndRenumbers) {
  const CompactCase& c = GetParam();
  ResultTable table;
  for (const Text& id : c.ids) {
    const int row = table.AppendRow();
    table.SetCell(row, kColumnSeq, "9");  // whatever it held before
    table.SetCell(row, kColumnId, id);
    table.SetCell(row, kColumnName, "name of " + id);
  }
  table.CompactTable();
  EXPECT_EQ(ColumnOf(table, kColumnId), c.kept);
  EXPECT_EQ(ColumnOf(table, kColumnSeq), Numbers(static_cast<int>(c.kept.size())));
  for (size_t i = 0; i < c.kept.size(); ++i) {
    EXPECT_EQ(table.GetCell(static_cast<int>(i), kColumnName), "name of " + c.kept[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompactTableTest,
    testing::Values(CompactCase{"BlanksBetween", {"a", "", "", "b"}, {"a", "b"}},
                    CompactCase{"AllBlank", {"", ""}, {}}, CompactCase{"EmptyTable", {}, {}},
                    CompactCase{"ThreeAsciiSpaces", {"x", "   ", "y"}, {"x", "y"}},
                    CompactCase{"OneFullWidthSpace", {"\xA1\xA1", "y"}, {"y"}},  // 　
                    CompactCase{"MixedSpaces", {" \xA1\xA1 ", "y"}, {"y"}},
                    CompactCase{"TabIsNotBlank", {"\t", "y"}, {"\t", "y"}},
                    CompactCase{"LineBreakIsNotBlank", {"\r\n", ""}, {"\r\n"}},
                    CompactCase{"SpacesAroundText", {" a ", "b"}, {" a ", "b"}},
                    CompactCase{"FirstAndLastBlank", {"", "a", "b", " "}, {"a", "b"}}),
    [](const testing::TestParamInfo<CompactCase>& info) { return std::string(info.param.name); });

TEST(CompactTable, RenumbersDuplicatedAndSkippedNumbersWithoutMovingRows) {
  ResultTable table;
  const std::vector<Text> numbers = {"1", "1", "3", "7", "", "x"};
  for (size_t i = 0; i < numbers.size(); ++i) {
    const int row = table.AppendRow();
    table.SetCell(row, kColumnSeq, numbers[i]);
    table.SetCell(row, kColumnId, "id" + std::to_string(i));
  }
  const auto idsBefore = ColumnOf(table, kColumnId);
  table.CompactTable();
  EXPECT_EQ(ColumnOf(table, kColumnId), idsBefore);
  EXPECT_EQ(ColumnOf(table, kColumnSeq), Numbers(6));
  table.CompactTable();  // nothing to delete: it only renumbers
  EXPECT_EQ(ColumnOf(table, kColumnSeq), Numbers(6));
}

TEST(ClearDetails, EmptiesContactColumnsOnly) {
  ResultTable empty;
  empty.ClearDetails();
  EXPECT_EQ(empty.RowCount(), 0);
  EXPECT_FALSE(empty.TakeChanges().any);

  ResultTable table;
  Fill(table, {"a", "b"});
  for (int r = 0; r < 2; ++r) {
    for (int c = kColumnContact; c < kColumnCount; ++c)
      table.SetCell(r, c, "v");
  }
  table.ClearDetails();
  for (int r = 0; r < 2; ++r) {
    const RowCells row = table.RowSnapshot(r);
    EXPECT_EQ(row[kColumnSeq], std::to_string(r + 1));
    EXPECT_EQ(row[kColumnId], r == 0 ? "a" : "b");
    EXPECT_EQ(row[kColumnName], r == 0 ? "name-a" : "name-b");
    for (int c = kColumnContact; c < kColumnCount; ++c)
      EXPECT_EQ(row[c], "") << c;
  }
}

TEST(RowsBetween, WalksByIdInPiecesWithinTheLimit) {
  ResultTable table;
  Fill(table, {"a", "b", "c", "d", "e"});
  const RowId last = table.LastIssuedId();
  EXPECT_EQ(last, table.IdAt(4));
  const RowId idOfD = table.IdAt(3);
  table.DeleteRow(1);

  auto piece = table.RowsBetween(0, last, 2);
  ASSERT_EQ(piece.size(), 2u);
  EXPECT_EQ(piece[0].second[kColumnId], "a");
  EXPECT_EQ(piece[1].second[kColumnId], "c");  // the deleted row drops out
  piece = table.RowsBetween(piece[1].first, idOfD, 10);
  ASSERT_EQ(piece.size(), 1u);
  EXPECT_EQ(piece[0].second[kColumnId], "d");
  EXPECT_TRUE(table.RowsBetween(last, last + 5, 10).empty());
  EXPECT_TRUE(table.RowsBetween(0, last, 0).empty());
  EXPECT_TRUE(table.RowsBetween(3, 2, 10).empty());

  ResultTable fresh;
  EXPECT_EQ(fresh.LastIssuedId(), 0u);
}

// Change marks: what a view learns from TakeChanges and how often it is woken.
class ChangesTest : public testing::Test {
 protected:
  void SetUp() override {
    Fill(table_, {"a", "b", "c", "d", "e", "f"});
    table_.TakeChanges();
    table_.SetChangeCallback([this] { ++wakeUps_; });
  }
  ResultTable table_;
  int wakeUps_ = 0;
};

TEST(Changes, CellWritesGiveTheRangeOfRowsTouched) {
  const struct {
    const char* name;
    void (*act)(ResultTable&);
    int firstRow, lastRow;
  } cases[] = {
      {"SetCell", [](ResultTable& t) { t.SetCell(4, kColumnPhone, "1"); }, 4, 4},
      {"SetCellById", [](ResultTable& t) { t.SetCellById(t.IdAt(2), kColumnFax, "2"); }, 2, 2},
      {"SetCellsById",
       [](ResultTable& t) {
         t.SetCellsById(t.IdAt(3), 4, {"a", "b"});
       },
       3, 3},
      {"BlankRowById", [](ResultTable& t) { t.BlankRowById(t.IdAt(1)); }, 1, 1},
      {"two rows",
       [](ResultTable& t) {
         t.SetCell(4, kColumnPhone, "1");
         t.SetCellById(t.IdAt(2), kColumnFax, "2");
       },
       2, 4},
      {"ClearDetails",
       [](ResultTable& t) {
         t.SetCell(1, kColumnQQ, "1");
         t.SetCell(3, kColumnQQ, "1");
         t.TakeChanges();
         t.ClearDetails();
       },
       1, 3},
      {"renumbering only",
       [](ResultTable& t) {
         t.SetCell(2, kColumnSeq, "x");
         t.SetCell(5, kColumnSeq, "x");
         t.TakeChanges();
         t.CompactTable();
       },
       2, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable table;
    Fill(table, {"a", "b", "c", "d", "e", "f"});
    table.TakeChanges();
    c.act(table);
    const TableChanges changes = table.TakeChanges();
    EXPECT_TRUE(changes.any);
    EXPECT_FALSE(changes.rowsInsertedOrRemoved);
    EXPECT_FALSE(changes.rowsRemovedOrMoved);
    EXPECT_EQ(changes.firstRow, c.firstRow);
    EXPECT_EQ(changes.lastRow, c.lastRow);
    EXPECT_FALSE(table.TakeChanges().any);  // taking resets
  }
}

TEST_F(ChangesTest, AppendsKeepEarlierIndicesValid) {
  table_.SetCell(1, kColumnPhone, "1");
  table_.AppendCompany("g", "G");
  table_.AppendRow();
  const TableChanges changes = table_.TakeChanges();
  EXPECT_TRUE(changes.rowsInsertedOrRemoved);
  EXPECT_FALSE(changes.rowsRemovedOrMoved);
  EXPECT_EQ(changes.firstRow, 1);
  EXPECT_EQ(changes.lastRow, 7);
}

TEST_F(ChangesTest, RemovalsVoidTheRange) {
  const struct {
    const char* name;
    void (*act)(ResultTable&);
  } cases[] = {
      {"DeleteRow", [](ResultTable& t) { t.DeleteRow(0); }},
      {"DeleteAllRows", [](ResultTable& t) { t.DeleteAllRows(); }},
      {"CompactTable",
       [](ResultTable& t) {
         t.SetCell(3, kColumnId, " ");
         t.CompactTable();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable table;
    Fill(table, {"a", "b", "c", "d"});
    table.SetCell(1, kColumnPhone, "x");
    c.act(table);
    table.SetCell(0, kColumnPhone, "y");
    const TableChanges changes = table.TakeChanges();
    EXPECT_TRUE(changes.rowsInsertedOrRemoved);
    EXPECT_TRUE(changes.rowsRemovedOrMoved);
    EXPECT_LT(changes.lastRow, changes.firstRow);
  }
}

TEST_F(ChangesTest, OneWakeUpPerBurst) {
  for (int i = 0; i < 50; ++i)
    table_.SetCell(i % 6, kColumnEmail, std::to_string(i));
  table_.AppendCompany("g", "G");
  table_.DeleteRow(0);
  EXPECT_EQ(wakeUps_, 1);
  table_.TakeChanges();
  table_.SetCell(0, kColumnEmail, "again");
  EXPECT_EQ(wakeUps_, 2);
}

TEST_F(ChangesTest, OperationsThatChangeNothingMarkNothing) {
  table_.CompactTable();  // already compact and numbered
  table_.ClearDetails();  // no details yet
  table_.SetCell(99, 3, "x");
  table_.SetCell(0, 10, "x");
  table_.SetCellById(12345, 3, "x");
  table_.DeleteRow(-1);
  EXPECT_FALSE(table_.TakeChanges().any);
  EXPECT_EQ(wakeUps_, 0);
}

TEST_F(ChangesTest, CallbackMayReadTheTableAndCanBeTurnedOff) {
  TableChanges seen;
  table_.SetChangeCallback([&] {
    ++wakeUps_;
    seen = table_.TakeChanges();  // no deadlock: the callback runs outside the table's lock
  });
  table_.SetCell(3, kColumnQQ, "q");
  EXPECT_EQ(wakeUps_, 1);
  EXPECT_TRUE(seen.any);
  EXPECT_EQ(seen.firstRow, 3);
  table_.SetCell(4, kColumnQQ, "q");  // taken inside the callback, so this is a new burst
  EXPECT_EQ(wakeUps_, 2);

  table_.SetChangeCallback(nullptr);
  table_.SetCell(5, kColumnQQ, "q");
  EXPECT_EQ(wakeUps_, 2);
  EXPECT_TRUE(table_.TakeChanges().any);
}

}  // namespace
}  // namespace qorvex
