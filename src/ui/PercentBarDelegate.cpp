#include "ui/PercentBarDelegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

#include "ui/HealthLook.h"

namespace {

// Translucent, so that the row's base colour or selection shows through
// and the row's text colour mostly reads on it as well. On the selection
// the bar darkens it under light text and lightens it under dark text,
// which only adds to the text's contrast.
QColor BarColour(const QStyleOptionViewItem& item) {
  if (!item.state.testFlag(QStyle::State_Selected)) {
    QColor colour = item.palette.color(QPalette::Highlight);
    colour.setAlphaF(0.4f);
    return colour;
  }
  const bool lightText = item.palette.color(QPalette::HighlightedText).lightnessF() >= 0.5f;
  QColor colour(lightText ? Qt::black : Qt::white);
  colour.setAlphaF(0.3f);
  return colour;
}

// The bar's colour as it shows over the cell's background.
QColor BarShown(const QStyleOptionViewItem& item) {
  const bool selected = item.state.testFlag(QStyle::State_Selected);
  const QColor under = item.palette.color(selected ? QPalette::Highlight : QPalette::Base);
  const QColor bar = BarColour(item);
  const auto mix = [alpha = bar.alphaF()](float over, float below) {
    return over * alpha + below * (1 - alpha);
  };
  // In the 8 bits a channel is drawn in.
  return QColor(QColor::fromRgbF(mix(bar.redF(), under.redF()), mix(bar.greenF(), under.greenF()),
                                 mix(bar.blueF(), under.blueF()))
                    .rgb());
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
  // The row's text colour reads on the background; over the bar it may
  // need a darker or lighter shade.
  const QPalette::ColorRole role =
      item.state.testFlag(QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
  QPalette palette = item.palette;
  palette.setColor(role, Readable(palette.color(role), BarShown(item)));
  style->drawItemText(painter, textRect, static_cast<int>(item.displayAlignment), palette,
                      item.state.testFlag(QStyle::State_Enabled),
                      item.fontMetrics.elidedText(text, item.textElideMode, textRect.width()),
                      role);
  painter->restore();
}
