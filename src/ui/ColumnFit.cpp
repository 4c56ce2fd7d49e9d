#include "ui/ColumnFit.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "session/RowPresenter.h"

namespace {

// The font a row is drawn in, as its first cell tells: the list's, with
// what the row asks changed.
QFont RowFont(const QModelIndex& index, const QFont& listFont) {
  const QVariant font = index.data(Qt::FontRole);
  return font.isValid() ? font.value<QFont>().resolve(listFont) : listFont;
}

}  // namespace

ColumnFit::ColumnFit(QTreeView& list, const QAbstractItemModel& rows)
    : QObject(&list), list_(list), rows_(rows), headerArea_(list.header()->viewport()) {
  QHeaderView& header = *list_.header();
  // The spare width would all go to the last column, its right-aligned
  // numbers far from their header's text.
  header.setStretchLastSection(false);
  header.viewport()->installEventFilter(this);
  list_.installEventFilter(this);
  connect(&header, &QHeaderView::sectionResized, this, &ColumnFit::sectionResized);
  connect(
      &rows_, &QAbstractItemModel::dataChanged, this,
      [this](const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
        if (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::FontRole))
          fitRows(topLeft.row(), bottomRight.row());
      });
  connect(&rows_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { fitRows(first, last); });
  connect(&rows_, &QAbstractItemModel::modelReset, this,
          [this] { fitRows(0, rows_.rowCount() - 1); });
  fitAll();
}

void ColumnFit::fitText(int column, const QString& text) {
  widen(column, cellWidth(column, text, list_.font()));
}

int ColumnFit::listWidth() const {
  return list_.header()->length() + 2 * list_.frameWidth() +
         list_.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list_);
}

bool ColumnFit::eventFilter(QObject* watched, QEvent* event) {
  // Asks nothing of the list, which may be in the middle of its end.
  const QEvent::Type type = event->type();
  if (watched == headerArea_) {
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) mouseDown_ = true;
    if (type == QEvent::MouseButtonRelease) mouseDown_ = false;
  }
  // Every text measures anew; what fitted the old font may be too wide.
  if (watched == &list_ && (type == QEvent::FontChange || type == QEvent::StyleChange) &&
      !userWidths_)
    fitAll();
  return false;
}

void ColumnFit::fitAll() {
  const std::array<MachineCells, 2> templates = RowPresenter::farAlongCells();
  fittedAdvances_.assign(static_cast<size_t>(rows_.columnCount()), -1);
  for (int column = 0; column < rows_.columnCount(); ++column) {
    int width = headerWidth(column);
    for (const MachineCells& cells : templates)
      width = std::max(width, cellWidth(column, cells[static_cast<size_t>(column)], list_.font()));
    setWidth(column, width);
  }
  fitRows(0, rows_.rowCount() - 1);
}

void ColumnFit::fitRows(int first, int last) {
  if (userWidths_ || first < 0) return;
  // Each column's widest text by its advance, as the margins are the same
  // for all: only a text wider than any before is laid out by the style.
  struct Widest {
    QString text;
    QFont font;
    int advance = -1;
  };
  std::vector<Widest> widest(fittedAdvances_.size());
  const QFontMetrics plain(list_.font());
  for (int row = first; row <= last; ++row) {
    const QFont font = RowFont(rows_.index(row, 0), list_.font());
    const QFontMetrics metrics = font == list_.font() ? plain : QFontMetrics(font);
    for (size_t column = 0; column < widest.size(); ++column) {
      const QString text = rows_.index(row, static_cast<int>(column)).data().toString();
      const int advance = metrics.horizontalAdvance(text);
      if (advance > widest[column].advance) widest[column] = {text, font, advance};
    }
  }
  for (size_t column = 0; column < widest.size(); ++column) {
    if (widest[column].advance <= fittedAdvances_[column]) continue;
    fittedAdvances_[column] = widest[column].advance;
    const int index = static_cast<int>(column);
    widen(index, cellWidth(index, widest[column].text, widest[column].font));
  }
}

void ColumnFit::widen(int column, int width) {
  if (!userWidths_ && width > list_.header()->sectionSize(column)) setWidth(column, width);
}

void ColumnFit::setWidth(int column, int width) {
  const bool wasFitting = std::exchange(fitting_, true);
  list_.header()->resizeSection(column, width);
  fitting_ = wasFitting;
}

int ColumnFit::listHeight(int rows) const {
  const int extent = list_.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list_);
  return list_.header()->sizeHint().height() + rows * cellSize(0, "0", list_.font()).height() +
         2 * list_.frameWidth() + extent;
}

int ColumnFit::cellWidth(int column, const QString& text, const QFont& font) const {
  return cellSize(column, text, font).width();
}

// The size of a cell showing `text` whole, as the style lays it out: the
// text's extent, the margins around it and, by the name, the health icon.
QSize ColumnFit::cellSize(int column, const QString& text, const QFont& font) const {
  QStyleOptionViewItem option;
  option.initFrom(&list_);
  option.widget = &list_;
  option.font = font;
  option.fontMetrics = QFontMetrics(font);
  option.text = text;
  option.features = QStyleOptionViewItem::HasDisplay;
  option.textElideMode = list_.textElideMode();
  option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  if (column == 0) {
    const int side = list_.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &list_);
    option.features |= QStyleOptionViewItem::HasDecoration;
    option.decorationPosition = QStyleOptionViewItem::Left;
    option.decorationSize = list_.iconSize().isValid() ? list_.iconSize() : QSize(side, side);
  }
  return list_.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &list_);
}

int ColumnFit::headerWidth(int column) const {
  const QHeaderView& header = *list_.header();
  const int width = header.sectionSizeHint(column);
  if (header.isSortIndicatorShown()) return width;
  // Room for the indicator that sorting by the column shows, as the header
  // counts it once shown, so that sorting cuts no header's text.
  return width + header.sizeHint().height() +
         header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
}

void ColumnFit::sectionResized() {
  if (mouseDown_ && !fitting_) userWidths_ = true;
}
