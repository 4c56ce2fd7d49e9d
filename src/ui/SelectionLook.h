#pragma once

#include <QPalette>
#include <QWidget>

// The selected row of `list` stays marked when the focus moves on, as the
// selection still decides what the window's or dialog's buttons act on.
inline void KeepSelectionVisible(QWidget* list) {
  QPalette palette = list->palette();
  for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setBrush(QPalette::Inactive, role, palette.brush(QPalette::Active, role));
  list->setPalette(palette);
}
