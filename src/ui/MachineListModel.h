#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "session/MachineListRow.h"

// The machine list: one row per machine in table order, never sorted. The
// rows are replaced whole after each refresh, with a single reset, so that
// a farm of a thousand machines costs one relayout and not one per row.
class MachineListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  void setRows(std::vector<MachineListRow> rows);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<MachineListRow> rows_;
};
