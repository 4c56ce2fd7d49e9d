#include "ui/PercentBarDelegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Translucent, so that the text drawn over it keeps the contrast of its
// row: on the base colour and on the selection alike.
QColor BarColour(const QStyleOptionViewItem& item) {
  const bool selected = item.state.testFlag(QStyle::State_Selected);
  QColor colour = item.palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight);
  colour.setAlphaF(selected ? 0.3f : 0.4f);
  return colour;
}

QRect BarRect(const QRect& cell, double share) {
  const QRect inner = cell.adjusted(1, 2, -1, -2);
  return QRect(inner.topLeft(),
               QSize(static_cast<int>(std::lround(inner.width() * share)), inner.height()));
}

}  // namespace

double DoneShare(const QString& percentText) {
  bool ok = false;
  const double percent = percentText.toDouble(&ok);
  if (!ok || std::isnan(percent)) return 0;
  return std::clamp(percent / 100, 0.0, 1.0);
}

void PercentBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
  const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
  const QString text = std::exchange(item.text, QString());
  // The style draws the cell's background, selection and focus; the bar
  // goes over them and the text over the bar.
  style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

  painter->save();
  painter->fillRect(BarRect(item.rect, DoneShare(text)), BarColour(item));
  painter->setFont(item.font);
  const bool selected = item.state.testFlag(QStyle::State_Selected);
  style->drawItemText(painter, textRect, static_cast<int>(item.displayAlignment), item.palette,
                      item.state.testFlag(QStyle::State_Enabled),
                      item.fontMetrics.elidedText(text, item.textElideMode, textRect.width()),
                      selected ? QPalette::HighlightedText : QPalette::Text);
  painter->restore();
}
