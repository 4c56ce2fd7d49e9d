#pragma once

#include <QAbstractTableModel>
#include <QPalette>
#include <array>
#include <optional>
#include <vector>

#include "session/MachineHealth.h"
#include "session/MachineListRow.h"

// The machine list: one row per machine in table order (MachineOrder sorts
// and filters what the list shows of it). The
// rows are replaced whole when a refresh starts and ends, with a single
// change (a reset when their number changes), so that a farm of a thousand
// machines costs one relayout and not one per row; in between, each row
// changes as its machine is read.
// A row still waited for is drawn in italics, one whose files could not be
// read in the palette's muted text colour, with a warning sign by its name.
// A row's health shows as an icon by its name, a text colour and the last
// line of its tooltip; a row waited for keeps the health of its last read,
// and one never read has none.
class MachineListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  enum Role {
    // The value a cell stands for (MachineListRow::values).
    ValueRole = Qt::UserRole,
    // The HealthState that the row is drawn with, as an int; null for a row never read.
    HealthRole,
  };

  // `health` holds the health of every row's machine, by row.
  void setRows(std::vector<MachineListRow> rows, const std::vector<MachineHealth>& health);
  void setRow(int row, MachineListRow cells, const MachineHealth& health);
  // The rows' next machines are others: none keeps its health while waited for.
  void forgetHealth() { health_.clear(); }
  bool waiting(int row) const { return rows_[static_cast<size_t>(row)].waiting; }
  // The palette of the list that draws the rows: their text colours are
  // chosen to read on its base.
  void setPalette(const QPalette& palette);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::optional<MachineHealth> shownHealth(size_t row, const MachineListRow& cells,
                                           const MachineHealth& health) const;
  // The health that the row is drawn with; none for a row never read.
  std::optional<HealthState> lookOf(size_t row) const;
  QVariant toolTip(size_t row) const;

  std::vector<MachineListRow> rows_;
  std::vector<std::optional<MachineHealth>> health_;  // by row, as shown
  static constexpr size_t kLooks = static_cast<size_t>(HealthState::Unreachable) + 1;
  // By health state, the brush of its rows' text, null where that is the
  // palette's text colour: shading a colour until it reads costs more than
  // a cell's drawing should.
  static std::array<QVariant, kLooks> Foregrounds(const QPalette& palette);

  // The application's palette's until the list tells its own.
  std::array<QVariant, kLooks> foregrounds_ = Foregrounds(QPalette());
};
