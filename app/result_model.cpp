#include "app/result_model.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <mutex>

#include "app/qt_text.h"

namespace qorvex {
namespace {

// How long table changes gather before the view catches up.
constexpr int kSyncMs = 25;

}  // namespace

// The table's wake-up runs on worker threads and may race with the model's destruction; the
// waker outlives the model and forgets it under its mutex, so a late wake-up posts nothing.
struct ResultModel::Waker {
  std::mutex mutex;
  ResultModel* model = nullptr;

  void Wake() {
    std::lock_guard lock(mutex);
    if (model == nullptr) return;
    ResultModel* target = model;
    QMetaObject::invokeMethod(
        target,
        [target]() {
          if (!target->syncTimer_->isActive()) target->syncTimer_->start();
        },
        Qt::QueuedConnection);
  }
};

ResultModel::ResultModel(ResultTable& table, QObject* parent)
    : QAbstractTableModel(parent),
      table_(table),
      waker_(std::make_shared<Waker>()),
      syncTimer_(new QTimer(this)) {
  syncTimer_->setSingleShot(true);
  syncTimer_->setInterval(kSyncMs);
  connect(syncTimer_, &QTimer::timeout, this, &ResultModel::Sync);
  waker_->model = this;
  table_.SetChangeCallback([waker = waker_]() { waker->Wake(); });
  Sync();
}

ResultModel::~ResultModel() {
  table_.SetChangeCallback(nullptr);
  std::lock_guard lock(waker_->mutex);
  waker_->model = nullptr;
}

int ResultModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ids_.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

const ResultModel::CachedRow& ResultModel::Row(int row) const {
  CachedRow& cached = cache_[static_cast<size_t>(row)];
  if (!cached.valid) {
    // By id, so a row that moved since the last catch-up still shows its own cells.
    const RowCells cells = table_.RowSnapshotById(ids_[static_cast<size_t>(row)]);
    for (int c = 0; c < kColumnCount; ++c)
      cached.cells[c] = ToQString(cells[c]);
    cached.valid = true;
  }
  return cached;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Row(index.row()).cells[static_cast<size_t>(index.column())];
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
      return {};
  }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return ToQString(Columns()[static_cast<size_t>(section)].title);
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  }
  return {};
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

RowId ResultModel::IdAt(int row) const {
  return row >= 0 && row < rowCount() ? ids_[static_cast<size_t>(row)] : 0;
}

int ResultModel::RowOf(RowId id) const {
  // Rows keep increasing ids, as in the table.
  const auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
  return it != ids_.end() && *it == id ? static_cast<int>(it - ids_.begin()) : -1;
}

void ResultModel::Sync() {
  if (QThread::currentThread() != qApp->thread())
    qFatal("the list was synced outside the GUI thread");
  syncTimer_->stop();
  const TableChanges changes = table_.TakeChanges();
  if (!changes.any) return;

  const int oldCount = rowCount();
  if (!changes.rowsInsertedOrRemoved) {
    const int first = std::max(changes.firstRow, 0);
    const int last = std::min(changes.lastRow, oldCount - 1);
    if (first > last) return;
    for (int r = first; r <= last; ++r)
      cache_[static_cast<size_t>(r)].valid = false;
    emit dataChanged(index(first, 0), index(last, kColumnCount - 1));
    return;
  }

  std::vector<RowId> ids;
  {
    const auto keys = table_.KeysSnapshot();
    ids.reserve(keys.size());
    for (const auto& key : keys)
      ids.push_back(key.first);
  }
  const bool pureAppend =
      ids.size() >= ids_.size() && std::equal(ids_.begin(), ids_.end(), ids.begin());
  if (!pureAppend) {
    beginResetModel();
    ids_ = std::move(ids);
    cache_.assign(ids_.size(), CachedRow{});
    endResetModel();
    return;
  }
  // Rows the view already has may have been written too.
  for (auto& row : cache_)
    row.valid = false;
  if (ids.size() > ids_.size()) {
    beginInsertRows({}, oldCount, static_cast<int>(ids.size()) - 1);
    ids_ = std::move(ids);
    cache_.resize(ids_.size());
    endInsertRows();
  }
  if (oldCount > 0) emit dataChanged(index(0, 0), index(oldCount - 1, kColumnCount - 1));
}

}  // namespace qorvex
