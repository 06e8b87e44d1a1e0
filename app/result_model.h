// The list's view of the ResultTable. Workers change the table at any time; the model reads it
// on the GUI thread only and catches up in batches: the table's wake-up (on a worker) posts one
// queued call, and a short timer gathers what arrives meanwhile into one update.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "results/result_table.h"

class QTimer;

namespace qorvex {

class ResultModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ResultModel(ResultTable& table, QObject* parent = nullptr);
  ~ResultModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  /// Brings the model up to date with the table now (GUI thread).
  void Sync();
  /// The id of the row the model shows at index, or 0.
  RowId IdAt(int row) const;
  /// The model's index of the row with this id, or -1.
  int RowOf(RowId id) const;

 private:
  struct CachedRow {
    bool valid = false;
    std::array<QString, kColumnCount> cells;
  };
  struct Waker;

  const CachedRow& Row(int row) const;

  ResultTable& table_;
  std::shared_ptr<Waker> waker_;
  QTimer* syncTimer_;
  std::vector<RowId> ids_;
  mutable std::vector<CachedRow> cache_;
};

}  // namespace qorvex
