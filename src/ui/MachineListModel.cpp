#include "ui/MachineListModel.h"

#include <QBrush>
#include <QFont>
#include <QPalette>
#include <QStringList>
#include <array>

#include "ui/HealthLook.h"

namespace {

// What each column means, for its header's tooltip.
constexpr std::array<const char*, kMachineColumnCount> kColumnMeanings{{
    "Name: the machine's name",
    "Total factors: factor lines in the machine's factor file",
    "pmin: where the current range begins",
    "pmax: where the current range ends",
    "Current p: how far the machine has sieved its current range, or Done",
    "% done: the share of the current range sieved",
    "Speed: the machine's own rates over its last reporting intervals, on average",
    "ETA: time left to the end of the current range at this speed",
    "Factors: factors found in the current range",
    "Density: factors per billion p sieved in the current range",
    "Next range (G): the first queued range, in billions of p",
}};

// Every column but the name holds a number or a range of numbers, whose
// digits line up when they are right-aligned.
Qt::Alignment ColumnAlignment(int column) {
  return (column == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
}

}  // namespace

void MachineListModel::setRows(std::vector<MachineListRow> rows,
                               const std::vector<MachineHealth>& health) {
  // Rows that stay rows change in place, so that the list keeps its
  // selection, current row and scroll position.
  const bool inPlace = !rows_.empty() && rows.size() == rows_.size();
  if (!inPlace) beginResetModel();
  std::vector<std::optional<MachineHealth>> shown(rows.size());
  for (size_t row = 0; row < rows.size(); ++row)
    shown[row] = shownHealth(row, rows[row], health[row]);
  rows_ = std::move(rows);
  health_ = std::move(shown);
  if (inPlace)
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  else
    endResetModel();
}

void MachineListModel::setRow(int row, MachineListRow cells, const MachineHealth& health) {
  if (row < 0 || row >= rowCount()) return;
  const auto index = static_cast<size_t>(row);
  health_[index] = shownHealth(index, cells, health);
  rows_[index] = std::move(cells);
  emit dataChanged(this->index(row, 0), this->index(row, columnCount() - 1));
}

std::optional<MachineHealth> MachineListModel::shownHealth(size_t row, const MachineListRow& cells,
                                                           const MachineHealth& health) const {
  if (!cells.waiting) return health;
  return row < health_.size() ? health_[row] : std::nullopt;
}

std::array<QVariant, MachineListModel::kLooks> MachineListModel::Foregrounds(
    const QPalette& palette) {
  std::array<QVariant, kLooks> brushes;
  for (size_t look = 0; look < kLooks; ++look) {
    const QColor colour = HealthColour(static_cast<HealthState>(look), palette);
    if (colour != palette.color(QPalette::Active, QPalette::Text)) brushes[look] = QBrush(colour);
  }
  return brushes;
}

void MachineListModel::setPalette(const QPalette& palette) {
  foregrounds_ = Foregrounds(palette);
  if (rowCount() > 0)
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole});
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
  const std::optional<HealthState> look = lookOf(static_cast<size_t>(index.row()));
  switch (role) {
    case Qt::DisplayRole:
      return row.cells[static_cast<size_t>(index.column())];
    case Qt::TextAlignmentRole:
      return static_cast<int>(ColumnAlignment(index.column()));
    case Qt::ToolTipRole:
      return toolTip(static_cast<size_t>(index.row()));
    case Qt::FontRole: {
      if (!row.waiting) return {};
      QFont font;
      font.setItalic(true);
      return font;
    }
    case Qt::ForegroundRole: {
      // A row never read looks as a working machine's: in the text colour,
      // where that reads on the base.
      return foregrounds_[static_cast<size_t>(look.value_or(HealthState::Working))];
    }
    case Qt::DecorationRole:
      if (!look || index.column() != 0) return {};
      return HealthIcon(*look);
    case ValueRole:
      return row.values[static_cast<size_t>(index.column())];
    case HealthRole:
      return look ? QVariant(static_cast<int>(*look)) : QVariant();
    default:
      return {};
  }
}

std::optional<HealthState> MachineListModel::lookOf(size_t row) const {
  // Files that could not be read make a machine unreachable, whatever its
  // health was when it was last judged.
  if (rows_[row].unreadable) return HealthState::Unreachable;
  if (!health_[row]) return std::nullopt;
  return health_[row]->State;
}

QVariant MachineListModel::toolTip(size_t row) const {
  QStringList lines;
  if (!rows_[row].toolTip.isEmpty()) lines << rows_[row].toolTip;
  // An unreachable machine's explanation is its read errors, which the
  // row's own lines tell already, file by file.
  const std::optional<MachineHealth>& health = health_[row];
  if (health && health->State != HealthState::Unreachable)
    lines << QString::fromStdString(health->Detail);
  return lines.isEmpty() ? QVariant() : lines.join('\n');
}

QVariant MachineListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 ||
      section >= static_cast<int>(kMachineColumnCount))
    return {};
  const auto column = static_cast<size_t>(section);
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromLatin1(kMachineColumns[column].header);
    case Qt::ToolTipRole:
      return QString::fromLatin1(kColumnMeanings[column]);
    case Qt::TextAlignmentRole:
      return static_cast<int>(ColumnAlignment(section));
    default:
      return {};
  }
}
