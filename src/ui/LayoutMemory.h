#pragma once

#include <QSize>

#include "model/Settings.h"

class MachineOrder;
class QHeaderView;
class QLineEdit;
class QSplitter;
class QWidget;

// The parts of the main window whose sizes and order the settings file
// remembers.
struct RememberedParts {
  QWidget& window;
  QSplitter& splitter;
  QHeaderView& columns;
  MachineOrder& order;
  QLineEdit& filter;
  // The columns' widths are the user's, not the fit of the texts shown.
  bool columnsChosen;
};

// The window's size (its normal size when maximised), the splitter's sizes,
// the columns' widths when the user chose them, the list's order and its
// filter as they are now.
WindowLayout CurrentLayout(const RememberedParts& parts);

// Puts a remembered layout in place. What was never saved, or was saved for
// another count of panes or columns, keeps the window's own, and a sort by
// a column there is not gives table order; the window is made no larger
// than `available`, the screen's room for it. True when the remembered
// column widths were put in place.
bool ApplyLayout(const WindowLayout& layout, const RememberedParts& parts, const QSize& available);
