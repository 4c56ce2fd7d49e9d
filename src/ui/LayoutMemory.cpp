#include "ui/LayoutMemory.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QList>
#include <QSplitter>
#include <QWidget>

#include "ui/MachineOrder.h"

namespace {

MachineSorting RememberedSorting(const WindowLayout& layout, int columns) {
  if (!layout.SortColumn || *layout.SortColumn >= columns) return {};
  const int column = *layout.SortColumn;
  return {column, layout.SortDescending ? Qt::DescendingOrder : Qt::AscendingOrder,
          layout.SortByHealth && column == 0};
}

}  // namespace

WindowLayout CurrentLayout(const RememberedParts& parts) {
  const QWidget& window = parts.window;
  const QSize size = window.isMaximized() ? window.normalGeometry().size() : window.size();
  WindowLayout layout{size.width(), size.height(), {}, {}};
  for (const int pane : parts.splitter.sizes()) layout.SplitterSizes.push_back(pane);
  if (parts.columnsChosen)
    for (int column = 0; column < parts.columns.count(); ++column)
      layout.ColumnWidths.push_back(parts.columns.sectionSize(column));
  const MachineSorting& sorting = parts.order.sorting();
  if (sorting.column != MachineSorting::kTableOrder) {
    layout.SortColumn = sorting.column;
    layout.SortDescending = sorting.order == Qt::DescendingOrder;
    layout.SortByHealth = sorting.byHealth;
  }
  layout.Filter = parts.filter.text().toStdString();
  return layout;
}

bool ApplyLayout(const WindowLayout& layout, const RememberedParts& parts, const QSize& available) {
  parts.order.setSorting(RememberedSorting(layout, parts.columns.count()));
  parts.filter.setText(QString::fromStdString(layout.Filter));
  QSize size = parts.window.size();
  if (layout.Width > 0 && layout.Height > 0) size = QSize(layout.Width, layout.Height);
  // A minimum of the window's own would let its widgets' widths push it off
  // a small or much scaled screen; there they are squeezed instead.
  parts.window.setMinimumSize(parts.window.minimumSizeHint().boundedTo(available));
  parts.window.resize(size.boundedTo(available));
  if (layout.SplitterSizes.size() == static_cast<size_t>(parts.splitter.count()))
    parts.splitter.setSizes(QList<int>(layout.SplitterSizes.begin(), layout.SplitterSizes.end()));
  if (layout.ColumnWidths.size() != static_cast<size_t>(parts.columns.count())) return false;
  for (int column = 0; column < parts.columns.count(); ++column)
    parts.columns.resizeSection(column, layout.ColumnWidths[static_cast<size_t>(column)]);
  return true;
}
