#include "ui/MachineListModel.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>

void MachineListModel::setRows(std::vector<MachineListRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void MachineListModel::setRow(int row, MachineListRow cells) {
  if (row < 0 || row >= rowCount()) return;
  rows_[static_cast<size_t>(row)] = std::move(cells);
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int MachineListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MachineListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kMachineColumnCount);
}

QVariant MachineListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  const MachineListRow& row = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return row.cells[static_cast<size_t>(index.column())];
    case Qt::ToolTipRole:
      return row.toolTip.isEmpty() ? QVariant() : row.toolTip;
    case Qt::FontRole: {
      if (!row.waiting) return {};
      QFont font;
      font.setItalic(true);
      return font;
    }
    case Qt::ForegroundRole:
      if (!row.unreadable) return {};
      return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    case Qt::DecorationRole:
      if (!row.unreadable || index.column() != 0) return {};
      return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    default:
      return {};
  }
}

QVariant MachineListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= static_cast<int>(kMachineColumnCount))
    return {};
  return QString::fromLatin1(kMachineColumns[static_cast<size_t>(section)].header);
}
