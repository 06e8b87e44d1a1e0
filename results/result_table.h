// The table of companies: the only store of results, written by up to 50 workers at once while
// a compaction may run and the user may export.
//
// Late writes. Every row gets a RowId when it is appended: a serial number that is never
// reused and that stays with the row when rows before it are deleted. A run that addresses rows
// after it started (detail collection) takes the ids of its rows when it starts and writes
// through them, so a compaction that moves rows, or a clear, can never send a late write into
// another company's row: a write to a row that no longer exists simply falls away. Rows are kept
// in increasing id order, so finding a row by id is a binary search.
//
// Locking. One mutex guards the rows; every operation holds it for its own duration only, so an
// append together with its three cells, a compaction, or a row snapshot is one indivisible step.
// Compactions therefore never interleave with each other or with writes.
//
// Change notification. Writers only mark what changed (under the lock they already hold). A view
// collects the marks with TakeChanges when it likes; the optional wake-up callback runs once per
// clean-to-dirty transition, so a burst of writes costs the view one wake-up.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text.h"

namespace qorvex {

enum Column : int {
  kColumnSeq = 0,      // 序
  kColumnId = 1,       // ID: the companyKey
  kColumnName = 2,     // 公司名
  kColumnContact = 3,  // 联系人
  kColumnMobile = 4,   // 手机
  kColumnPhone = 5,    // 电话
  kColumnFax = 6,      // 传真
  kColumnEmail = 7,    // 邮箱
  kColumnQQ = 8,       // QQ
  kColumnAddress = 9,  // 地址
};
inline constexpr int kColumnCount = 10;

struct ColumnInfo {
  std::string_view title;  // code page 936
  int width;               // pixels, for the view
};

/// The ten columns in order, with their titles and widths.
const std::array<ColumnInfo, kColumnCount>& Columns();

using RowId = std::uint64_t;  // 0 is never a row's id
using RowCells = std::array<Text, kColumnCount>;

/// What changed since the last TakeChanges.
struct TableChanges {
  bool any = false;
  bool rowsInsertedOrRemoved = false;  // rows were appended, deleted or moved
  // Rows were deleted or moved: indices from before are void and firstRow..lastRow means
  // nothing. While it is false, rows were at most appended (at the end, so every index from
  // before still names the same row) and firstRow..lastRow covers both the appended rows and
  // the rows whose cells changed, so a view can insert and refresh without a reset.
  bool rowsRemovedOrMoved = false;
  int firstRow = 0;  // the rows touched, inclusive; empty when lastRow < firstRow
  int lastRow = -1;
};

class ResultTable {
 public:
  ResultTable() = default;
  ResultTable(const ResultTable&) = delete;
  ResultTable& operator=(const ResultTable&) = delete;

  /// Appends a row of empty cells; returns its index.
  int AppendRow();
  /// Appends a row and sets 序 (the row count right after the append), ID and 公司名 in one
  /// step that no other thread can split; returns the new row's id.
  RowId AppendCompany(const Text& key, const Text& name);

  /// Nothing happens for a row or column that does not exist.
  void SetCell(int row, int column, const Text& text);
  /// The empty text for a row or column that does not exist.
  Text GetCell(int row, int column) const;
  void DeleteRow(int row);
  void DeleteAllRows();
  int RowCount() const;
  static int ColumnCount() { return kColumnCount; }
  /// The empty text for a column that does not exist.
  static Text ColumnTitle(int column);

  /// The id of the row at index, or 0.
  RowId IdAt(int row) const;
  /// The current index of the row with this id, or -1 when it is gone.
  int IndexOf(RowId id) const;
  /// Writes one cell of the row with this id; false when the row is gone.
  bool SetCellById(RowId id, int column, const Text& text);
  /// Writes consecutive cells from firstColumn in one step; false when the row is gone.
  bool SetCellsById(RowId id, int firstColumn, const std::vector<Text>& texts);
  /// Sets all ten cells of the row to the empty text; false when the row is gone.
  bool BlankRowById(RowId id);

  /// A consistent copy of one row (all empty when it does not exist).
  RowCells RowSnapshot(int row) const;
  /// A consistent copy of the row with this id, found and read in one step (all empty when it
  /// is gone).
  RowCells RowSnapshotById(RowId id) const;
  /// One cell of the row with this id, found and read in one step; empty when it is gone.
  Text GetCellById(RowId id, int column) const;
  /// A consistent copy of the whole table.
  std::vector<RowCells> Snapshot() const;
  /// Ids and ID cells of all rows, taken in one step (what a detail run starts from).
  std::vector<std::pair<RowId, Text>> KeysSnapshot() const;
  /// The id the latest appended row got; 0 before the first append.
  RowId LastIssuedId() const;
  /// Up to maxRows rows whose ids lie in (after, upTo], in table order, each copied whole in
  /// one step. Walking the table in such pieces keeps a long reader from holding up writers,
  /// and rows deleted meanwhile simply drop out instead of shifting the walk.
  std::vector<std::pair<RowId, RowCells>> RowsBetween(RowId after, RowId upTo, int maxRows) const;

  /// Deletes every row whose ID is blank (ASCII and full-width spaces only), then renumbers
  /// 序 as 1..m. One indivisible step.
  void CompactTable();
  /// Empties columns 3 to 9 of every row.
  void ClearDetails();

  /// Collects and resets the change marks.
  TableChanges TakeChanges();
  /// Called (from the writing thread, outside the table's lock) when the table goes from
  /// unchanged to changed. It must return at once; it may read the table and take the changes
  /// but neither write to it nor call SetChangeCallback. nullptr turns it off. Once this
  /// returns, the previous callback is neither running nor started again, so its captures may
  /// be destroyed.
  void SetChangeCallback(std::function<void()> callback);

 private:
  struct Row {
    RowId id;
    RowCells cells;
  };
  // Each returns whether the caller must run the wake-up callback once it has let go of the
  // lock.
  bool MarkRowsLocked(int firstRow, int lastRow);
  bool MarkAppendLocked(int row);
  bool MarkRemovedLocked();
  void Notify();
  int IndexOfLocked(RowId id) const;
  bool ValidRowLocked(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }

  mutable std::mutex mutex_;
  std::vector<Row> rows_;
  RowId nextId_ = 1;
  TableChanges changes_;
  // Separate from mutex_ so that the callback runs outside the table's lock, while turning it
  // off still waits for a call under way. Order: callbackMutex_ before mutex_, never the other.
  std::mutex callbackMutex_;
  std::function<void()> changeCallback_;
};

}  // namespace qorvex
