// Workers append and write while compactions, exports and a view run on other threads. Every
// cell a worker writes is derived from its row's key, so a cell that lands in another row, a
// torn row or a lost row shows up as a disagreement.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <latch>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "results/csv.h"
#include "results/result_table.h"

namespace qorvex {
namespace {

constexpr int kWriters = 50;
constexpr int kRowsPerWriter = 40;

Text KeyOf(int writer, int i) {
  return "w" + std::to_string(writer) + "-" + std::to_string(i);
}
Text CellFor(std::string_view key, int column) {
  return Text(key) + "#" + std::to_string(column);
}
// Rows that their worker rejects and blanks, as a filtered detail page does.
bool Rejected(int writer, int i) {
  return (writer + i) % 7 == 0;
}

// Whether a row read in one piece is one worker's row: cells 2 to 9 are empty or belong to
// the row's key. A blanked row may still take a late write, which the next compaction removes.
::testing::AssertionResult RowAgrees(const std::vector<std::string_view>& cells) {
  if (cells.size() != kColumnCount) {
    return ::testing::AssertionFailure() << cells.size() << " fields";
  }
  const std::string_view key = cells[kColumnId];
  if (key.empty()) return ::testing::AssertionSuccess();
  for (int c = kColumnName; c < kColumnCount; ++c) {
    if (!cells[c].empty() && cells[c] != CellFor(key, c)) {
      return ::testing::AssertionFailure()
             << "row " << key << " column " << c << " holds " << cells[c];
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult RowAgrees(const RowCells& row) {
  return RowAgrees(std::vector<std::string_view>(row.begin(), row.end()));
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(separator, start);
    out.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return out;
    start = at + separator.size();
  }
}

// A view that keeps a copy of the table up to date from the change marks alone, woken by the
// table's callback.
class MirrorView {
 public:
  explicit MirrorView(ResultTable& table) : table_(table) {
    table_.SetChangeCallback([this] {
      {
        std::lock_guard lock(mutex_);
        woken_ = true;
      }
      wake_.notify_one();
    });
    thread_ = std::thread([this] { Run(); });
  }
  ~MirrorView() { Stop(); }

  void Stop() {
    table_.SetChangeCallback(nullptr);
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

  // Only once the thread has stopped.
  const std::vector<RowCells>& Rows() {
    Apply();
    return rows_;
  }
  int WakeUps() const { return wakeUps_; }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return woken_ || stop_; });
      if (stop_) return;
      woken_ = false;
      ++wakeUps_;
      lock.unlock();
      Apply();
      lock.lock();
    }
  }

  void Apply() {
    const TableChanges changes = table_.TakeChanges();
    if (!changes.any) return;
    if (changes.rowsRemovedOrMoved) {
      rows_ = table_.Snapshot();
      return;
    }
    if (changes.lastRow < changes.firstRow) return;
    if (static_cast<int>(rows_.size()) <= changes.lastRow) rows_.resize(changes.lastRow + 1);
    for (int r = changes.firstRow; r <= changes.lastRow; ++r)
      rows_[r] = table_.RowSnapshot(r);
  }

  ResultTable& table_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  bool stop_ = false;
  int wakeUps_ = 0;  // the view thread's own
  std::vector<RowCells> rows_;
  std::thread thread_;
};

TEST(ResultTableRace, WritersCompactionsExportsAndAViewAgree) {
  ResultTable table;
  MirrorView view(table);
  std::latch start(kWriters + 1);
  std::atomic<bool> writing{true};
  std::atomic<int> failures{0};
  std::vector<std::vector<RowId>> ids(kWriters, std::vector<RowId>(kRowsPerWriter));

  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      start.arrive_and_wait();
      for (int i = 0; i < kRowsPerWriter; ++i) {
        const Text key = KeyOf(w, i);
        const RowId id = table.AppendCompany(key, CellFor(key, kColumnName));
        ids[w][i] = id;
        if (i % 2 == 0) {
          for (int c = kColumnContact; c < kColumnCount; ++c) {
            if (!table.SetCellById(id, c, CellFor(key, c))) ++failures;
          }
        } else {
          std::vector<Text> cells;
          for (int c = kColumnContact; c < kColumnCount; ++c)
            cells.push_back(CellFor(key, c));
          if (!table.SetCellsById(id, kColumnContact, cells)) ++failures;
        }
        if (Rejected(w, i)) {
          table.BlankRowById(id);
          // A late write after the blanking: it may reach the blank row or find it gone.
          table.SetCellById(id, kColumnContact, CellFor(key, kColumnContact));
        }
      }
    });
  }

  // Readers run until the writers are done, each at least a few rounds.
  std::vector<std::thread> readers;
  std::atomic<int> exports{0};
  auto loop = [&](auto body) {
    return std::thread([&, body] {
      start.wait();
      for (int round = 0; writing || round < 3; ++round)
        body();
    });
  };
  readers.push_back(loop([&] { table.CompactTable(); }));
  readers.push_back(loop([&] { table.CompactTable(); }));
  readers.push_back(loop([&] {
    const Text csv = BuildCsv(table);
    ++exports;
    if (csv.empty()) return;
    const auto lines = Split(csv, "\r\n");
    EXPECT_EQ(lines.back(), "");
    for (size_t l = 1; l + 1 < lines.size(); ++l)
      EXPECT_TRUE(RowAgrees(Split(lines[l], ",")));
  }));
  readers.push_back(loop([&] {
    for (const RowCells& row : table.Snapshot())
      EXPECT_TRUE(RowAgrees(row));
    const int n = table.RowCount();
    for (int r = 0; r < n; r += 17)
      EXPECT_TRUE(RowAgrees(table.RowSnapshot(r)));
  }));

  // The start latch counts the writers and this thread; readers only wait for it.
  start.arrive_and_wait();
  for (auto& t : writers)
    t.join();
  writing = false;
  for (auto& t : readers)
    t.join();
  view.Stop();

  EXPECT_EQ(failures, 0) << "a write found its row gone although nothing removed it";
  EXPECT_GT(exports, 0);

  table.CompactTable();
  const auto rows = table.Snapshot();
  const auto keys = table.KeysSnapshot();
  std::map<Text, int> position;
  for (size_t r = 0; r < rows.size(); ++r) {
    const RowCells& row = rows[r];
    SCOPED_TRACE(row[kColumnId]);
    EXPECT_EQ(row[kColumnSeq], std::to_string(r + 1));
    for (int c = kColumnName; c < kColumnCount; ++c)
      EXPECT_EQ(row[c], CellFor(row[kColumnId], c));
    EXPECT_TRUE(position.emplace(row[kColumnId], static_cast<int>(r)).second) << "duplicated";
    if (r > 0) {
      EXPECT_LT(keys[r - 1].first, keys[r].first);
    }
  }

  int expected = 0;
  for (int w = 0; w < kWriters; ++w) {
    int previous = -1;
    for (int i = 0; i < kRowsPerWriter; ++i) {
      const Text key = KeyOf(w, i);
      const auto found = position.find(key);
      if (Rejected(w, i)) {
        EXPECT_EQ(found, position.end()) << key << " was blanked and must be gone";
        EXPECT_EQ(table.IndexOf(ids[w][i]), -1);
        continue;
      }
      ++expected;
      ASSERT_NE(found, position.end()) << key << " was lost";
      EXPECT_EQ(table.IndexOf(ids[w][i]), found->second) << key << " is not where its id says";
      EXPECT_GT(found->second, previous) << key << " moved before an earlier row of its worker";
      previous = found->second;
    }
  }
  EXPECT_EQ(table.RowCount(), expected);

  // The view learned every change from the marks alone.
  EXPECT_EQ(view.Rows(), table.Snapshot());
  EXPECT_GT(view.WakeUps(), 0);
}

TEST(ResultTableRace, ViewFollowsAppendsAndWritesFromMarksAlone) {
  // Without removals the view never reloads everything, so a missing mark would leave it stale.
  ResultTable table;
  MirrorView view(table);
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      // All appends first, so that the view has most likely read a row before its cells change.
      std::vector<RowId> ids;
      for (int i = 0; i < kRowsPerWriter; ++i) {
        ids.push_back(table.AppendCompany(KeyOf(w, i), CellFor(KeyOf(w, i), kColumnName)));
      }
      for (int i = 0; i < kRowsPerWriter; ++i) {
        const Text key = KeyOf(w, i);
        const RowId id = ids[i];
        switch (i % 4) {
          case 0:
            table.SetCellById(id, kColumnContact, CellFor(key, kColumnContact));
            break;
          case 1:
            table.SetCellsById(id, kColumnMobile, {CellFor(key, 4), CellFor(key, 5)});
            break;
          case 2:
            table.BlankRowById(id);
            break;
          default:
            table.SetCell(table.IndexOf(id), kColumnQQ, CellFor(key, kColumnQQ));
        }
      }
    });
  }
  for (auto& t : writers)
    t.join();
  view.Stop();
  const auto rows = table.Snapshot();
  EXPECT_EQ(rows.size(), static_cast<size_t>(kWriters * kRowsPerWriter));
  EXPECT_EQ(view.Rows(), rows);
}

TEST(ResultTableRace, ClearsAndDeletesDuringWritesLeaveNoStrayCells) {
  // Late writes of a run keep going while the user clears the details and the whole table.
  ResultTable table;
  std::atomic<bool> writing{true};
  std::vector<std::thread> writers;
  for (int w = 0; w < 8; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 200; ++i) {
        const Text key = KeyOf(w, i);
        const RowId id = table.AppendCompany(key, CellFor(key, kColumnName));
        for (int c = kColumnContact; c < kColumnCount; ++c) {
          table.SetCellById(id, c, CellFor(key, c));
        }
      }
    });
  }
  std::thread user([&] {
    for (int round = 0; writing || round < 3; ++round) {
      table.ClearDetails();
      if (round % 5 == 0) table.DeleteAllRows();
      for (const RowCells& row : table.Snapshot())
        EXPECT_TRUE(RowAgrees(row));
    }
  });
  for (auto& t : writers)
    t.join();
  writing = false;
  user.join();
  for (const RowCells& row : table.Snapshot())
    EXPECT_TRUE(RowAgrees(row));
}

}  // namespace
}  // namespace qorvex
