#pragma once

#include <QStyledItemDelegate>

// Draws a "% done" cell as a bar filled to its share behind the cell's own
// text, in the palette's highlight colour, so that the farm's progress reads
// at a glance in any style. A text that is no share (a huge value of a
// position outside its range, "nan") fills the bar or leaves it empty.
class PercentBarDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// The part of a bar that a "% done" text fills, from 0 to 1.
double DoneShare(const QString& percentText);
