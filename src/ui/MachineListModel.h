#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "session/MachineListRow.h"

// The machine list: one row per machine in table order, never sorted. The
// rows are replaced whole when a refresh starts and ends, with a single
// reset, so that a farm of a thousand machines costs one relayout and not
// one per row; in between, each row changes as its machine is read.
// A row still waited for is drawn in italics, one whose files could not be
// read in the palette's muted text colour, with a warning sign by its name.
class MachineListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  void setRows(std::vector<MachineListRow> rows);
  void setRow(int row, MachineListRow cells);
  bool waiting(int row) const { return rows_[static_cast<size_t>(row)].waiting; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<MachineListRow> rows_;
};
