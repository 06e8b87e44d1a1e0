#include "results/result_table.h"

#include <algorithm>
#include <utility>

namespace qorvex {

const std::array<ColumnInfo, kColumnCount>& Columns() {
  static const std::array<ColumnInfo, kColumnCount> columns = {{
      {"\xD0\xF2", 55},                   // 序
      {"ID", 0},                          //
      {"\xB9\xAB\xCB\xBE\xC3\xFB", 200},  // 公司名
      {"\xC1\xAA\xCF\xB5\xC8\xCB", 60},   // 联系人
      {"\xCA\xD6\xBB\xFA", 100},          // 手机
      {"\xB5\xE7\xBB\xB0", 110},          // 电话
      {"\xB4\xAB\xD5\xE6", 70},           // 传真
      {"\xD3\xCA\xCF\xE4", 70},           // 邮箱
      {"QQ", 70},                         //
      {"\xB5\xD8\xD6\xB7", 120},          // 地址
  }};
  return columns;
}

namespace {

bool ValidColumn(int column) {
  return column >= 0 && column < kColumnCount;
}

}  // namespace

Text ResultTable::ColumnTitle(int column) {
  if (!ValidColumn(column)) return Text();
  return Text(Columns()[column].title);
}

int ResultTable::AppendRow() {
  bool wake;
  int index;
  {
    std::lock_guard lock(mutex_);
    rows_.push_back(Row{nextId_++, {}});
    index = static_cast<int>(rows_.size()) - 1;
    wake = MarkAppendLocked(index);
  }
  if (wake) Notify();
  return index;
}

RowId ResultTable::AppendCompany(const Text& key, const Text& name) {
  // The copies are made before the lock is taken so that writers hold it only to move them in.
  Row row{0, {}};
  row.cells[kColumnId] = key;
  row.cells[kColumnName] = name;
  bool wake;
  RowId id;
  {
    std::lock_guard lock(mutex_);
    id = row.id = nextId_++;
    rows_.push_back(std::move(row));
    const int index = static_cast<int>(rows_.size()) - 1;
    rows_.back().cells[kColumnSeq] = IntegerToText(index + 1);
    wake = MarkAppendLocked(index);
  }
  if (wake) Notify();
  return id;
}

void ResultTable::SetCell(int row, int column, const Text& text) {
  if (!ValidColumn(column)) return;
  Text value = text;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (!ValidRowLocked(row)) return;
    // The old text leaves with `value`, so it is freed after the lock is let go.
    rows_[row].cells[column].swap(value);
    wake = MarkRowsLocked(row, row);
  }
  if (wake) Notify();
}

Text ResultTable::GetCell(int row, int column) const {
  if (!ValidColumn(column)) return Text();
  std::lock_guard lock(mutex_);
  if (!ValidRowLocked(row)) return Text();
  return rows_[row].cells[column];
}

void ResultTable::DeleteRow(int row) {
  bool wake = false;
  Row removed{0, {}};
  {
    std::lock_guard lock(mutex_);
    if (!ValidRowLocked(row)) return;
    removed = std::move(rows_[row]);
    rows_.erase(rows_.begin() + row);
    wake = MarkRemovedLocked();
  }
  if (wake) Notify();
}

void ResultTable::DeleteAllRows() {
  bool wake = false;
  std::vector<Row> removed;
  {
    std::lock_guard lock(mutex_);
    if (rows_.empty()) return;
    removed.swap(rows_);
    wake = MarkRemovedLocked();
  }
  if (wake) Notify();
}

int ResultTable::RowCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(rows_.size());
}

RowId ResultTable::IdAt(int row) const {
  std::lock_guard lock(mutex_);
  return ValidRowLocked(row) ? rows_[row].id : 0;
}

int ResultTable::IndexOfLocked(RowId id) const {
  // Rows are appended with increasing ids and never reordered, so the ids stay sorted.
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), id,
                                   [](const Row& row, RowId value) { return row.id < value; });
  if (it == rows_.end() || it->id != id) return -1;
  return static_cast<int>(it - rows_.begin());
}

int ResultTable::IndexOf(RowId id) const {
  if (id == 0) return -1;
  std::lock_guard lock(mutex_);
  return IndexOfLocked(id);
}

bool ResultTable::SetCellById(RowId id, int column, const Text& text) {
  return SetCellsById(id, column, {text});
}

bool ResultTable::SetCellsById(RowId id, int firstColumn, const std::vector<Text>& texts) {
  if (id == 0) return false;
  // Only the columns that exist are written; copies are made outside the lock.
  std::vector<std::pair<int, Text>> values;
  for (size_t i = 0; i < texts.size(); ++i) {
    const long long column = static_cast<long long>(firstColumn) + static_cast<long long>(i);
    if (column >= 0 && column < kColumnCount)
      values.emplace_back(static_cast<int>(column), texts[i]);
  }
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    const int index = IndexOfLocked(id);
    if (index < 0) return false;
    if (values.empty()) return true;
    for (auto& [column, value] : values)
      rows_[index].cells[column].swap(value);
    wake = MarkRowsLocked(index, index);
  }
  if (wake) Notify();
  return true;
}

bool ResultTable::BlankRowById(RowId id) {
  if (id == 0) return false;
  RowCells old;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    const int index = IndexOfLocked(id);
    if (index < 0) return false;
    old.swap(rows_[index].cells);
    wake = MarkRowsLocked(index, index);
  }
  if (wake) Notify();
  return true;
}

RowCells ResultTable::RowSnapshot(int row) const {
  std::lock_guard lock(mutex_);
  if (!ValidRowLocked(row)) return RowCells{};
  return rows_[row].cells;
}

RowCells ResultTable::RowSnapshotById(RowId id) const {
  if (id == 0) return RowCells{};
  std::lock_guard lock(mutex_);
  const int index = IndexOfLocked(id);
  return index < 0 ? RowCells{} : rows_[index].cells;
}

Text ResultTable::GetCellById(RowId id, int column) const {
  if (id == 0 || !ValidColumn(column)) return Text();
  std::lock_guard lock(mutex_);
  const int index = IndexOfLocked(id);
  return index < 0 ? Text() : rows_[index].cells[column];
}

std::vector<RowCells> ResultTable::Snapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<RowCells> copy;
  copy.reserve(rows_.size());
  for (const Row& row : rows_)
    copy.push_back(row.cells);
  return copy;
}

std::vector<std::pair<RowId, Text>> ResultTable::KeysSnapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<RowId, Text>> keys;
  keys.reserve(rows_.size());
  for (const Row& row : rows_)
    keys.emplace_back(row.id, row.cells[kColumnId]);
  return keys;
}

RowId ResultTable::LastIssuedId() const {
  std::lock_guard lock(mutex_);
  return nextId_ - 1;
}

std::vector<std::pair<RowId, RowCells>> ResultTable::RowsBetween(RowId after, RowId upTo,
                                                                 int maxRows) const {
  std::vector<std::pair<RowId, RowCells>> out;
  if (maxRows <= 0 || upTo <= after) return out;
  std::lock_guard lock(mutex_);
  auto it = std::upper_bound(rows_.begin(), rows_.end(), after,
                             [](RowId value, const Row& row) { return value < row.id; });
  for (; it != rows_.end() && it->id <= upTo && static_cast<int>(out.size()) < maxRows; ++it) {
    out.emplace_back(it->id, it->cells);
  }
  return out;
}

void ResultTable::CompactTable() {
  std::vector<Row> removed;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    // One stable pass keeps the order of the rows that stay, as deleting from the last row to
    // the first does.
    size_t kept = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (IsBlank(rows_[i].cells[kColumnId])) {
        removed.push_back(std::move(rows_[i]));
      } else {
        if (kept != i) rows_[kept] = std::move(rows_[i]);
        ++kept;
      }
    }
    rows_.resize(kept);

    int firstChanged = -1;
    int lastChanged = -1;
    for (size_t i = 0; i < rows_.size(); ++i) {
      Text number = IntegerToText(static_cast<int64_t>(i) + 1);
      Text& cell = rows_[i].cells[kColumnSeq];
      if (cell == number) continue;
      cell.swap(number);
      if (firstChanged < 0) firstChanged = static_cast<int>(i);
      lastChanged = static_cast<int>(i);
    }
    // A compaction that finds nothing to do costs the view no wake-up.
    if (!removed.empty()) {
      wake = MarkRemovedLocked();
    } else if (firstChanged >= 0) {
      wake = MarkRowsLocked(firstChanged, lastChanged);
    }
  }
  if (wake) Notify();
}

void ResultTable::ClearDetails() {
  std::vector<Text> old;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    int firstChanged = -1;
    int lastChanged = -1;
    for (size_t i = 0; i < rows_.size(); ++i) {
      bool changed = false;
      for (int column = kColumnContact; column <= kColumnAddress; ++column) {
        Text& cell = rows_[i].cells[column];
        if (cell.empty()) continue;
        old.push_back(std::move(cell));
        cell.clear();
        changed = true;
      }
      if (!changed) continue;
      if (firstChanged < 0) firstChanged = static_cast<int>(i);
      lastChanged = static_cast<int>(i);
    }
    if (firstChanged >= 0) wake = MarkRowsLocked(firstChanged, lastChanged);
  }
  if (wake) Notify();
}

TableChanges ResultTable::TakeChanges() {
  std::lock_guard lock(mutex_);
  return std::exchange(changes_, TableChanges{});
}

void ResultTable::SetChangeCallback(std::function<void()> callback) {
  std::function<void()> old;
  {
    std::lock_guard lock(callbackMutex_);
    old.swap(changeCallback_);
    changeCallback_ = std::move(callback);
  }
  // The old callback's captures are destroyed here, outside both locks.
}

bool ResultTable::MarkRowsLocked(int firstRow, int lastRow) {
  const bool wasClean = !changes_.any;
  changes_.any = true;
  if (changes_.rowsRemovedOrMoved) return wasClean;
  if (changes_.lastRow < changes_.firstRow) {
    changes_.firstRow = firstRow;
    changes_.lastRow = lastRow;
  } else {
    changes_.firstRow = std::min(changes_.firstRow, firstRow);
    changes_.lastRow = std::max(changes_.lastRow, lastRow);
  }
  return wasClean;
}

bool ResultTable::MarkAppendLocked(int row) {
  changes_.rowsInsertedOrRemoved = true;
  return MarkRowsLocked(row, row);
}

bool ResultTable::MarkRemovedLocked() {
  const bool wasClean = !changes_.any;
  changes_.any = true;
  changes_.rowsInsertedOrRemoved = true;
  changes_.rowsRemovedOrMoved = true;
  changes_.firstRow = 0;
  changes_.lastRow = -1;
  return wasClean;
}

void ResultTable::Notify() {
  std::lock_guard lock(callbackMutex_);
  if (changeCallback_) changeCallback_();
}

}  // namespace qorvex
