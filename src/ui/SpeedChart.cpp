#include "ui/SpeedChart.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <vector>

namespace {

constexpr double kBillion = 1e9;

// The fastest report, rounded up to a number that reads well on the axis
// (2823 gives 3000, 1113 gives 1150).
uint64_t TopRate(const std::vector<SpeedPoint>& points) {
  uint64_t fastest = 1;
  for (const SpeedPoint& point : points) fastest = std::max<uint64_t>(fastest, point.Rate);
  uint64_t step = 1;
  while (step * 20 <= fastest) step *= 10;
  if (step >= 10) step /= 2;
  return (fastest + step - 1) / step * step;
}

// p in G, with as many decimals as tell the ends of `span` apart.
QString BillionsLabel(uint64_t p, uint64_t span) {
  const int decimals = span >= 10'000'000'000 ? 0 : span >= 1'000'000'000 ? 1 : 3;
  return QString::number(static_cast<double>(p) / kBillion, 'f', decimals) + " G";
}

}  // namespace

SpeedChart::SpeedChart(QWidget* parent) : QWidget(parent) {
  setObjectName("speedChart");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setToolTip("Speed along the current range, as the machine reported it; ticks mark factors");
}

void SpeedChart::showChart(const SpeedChartData& chart) {
  chart_ = chart;
  update();
}

QString SpeedChart::emptyText() const {
  if (chart_.machine.isEmpty()) return "Select a machine to see its speed along its range";
  if (!chart_.problem.isEmpty()) return chart_.machine + ": " + chart_.problem;
  if (chart_.profile.empty()) return chart_.machine + ": no status lines in this range yet";
  return {};
}

QSize SpeedChart::sizeHint() const { return {400, 7 * fontMetrics().height()}; }

QSize SpeedChart::minimumSizeHint() const { return {100, 4 * fontMetrics().height()}; }

void SpeedChart::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  tellShown();
}

void SpeedChart::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  tellShown();
}

void SpeedChart::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  tellShown();
}

void SpeedChart::tellShown() {
  const bool shown = isVisible() && height() > 0 && width() > 0;
  if (shown == shown_) return;
  shown_ = shown;
  emit shownChanged(shown);
}

void SpeedChart::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), palette().base());
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (const QString empty = emptyText(); !empty.isEmpty()) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignCenter | Qt::TextWordWrap, empty);
    return;
  }
  drawCaption(painter);
  const QRect plot = plotArea();
  if (plot.width() < 2 || plot.height() < 2) return;
  const uint64_t topRate = TopRate(chart_.profile.Points);
  drawAxes(painter, plot, topRate);
  drawSpeed(painter, plot, topRate);
}

void SpeedChart::drawCaption(QPainter& painter) const {
  const int line = fontMetrics().height();
  painter.setPen(palette().color(QPalette::Text));
  painter.drawText(QRect(4, 2, width() - 8, line), Qt::AlignLeft | Qt::AlignVCenter,
                   chart_.machine + ": kp/s along the range; ticks: " +
                       QString::number(chart_.profile.Factors.size()) + " factors");
}

QRect SpeedChart::plotArea() const {
  const QFontMetrics metrics = fontMetrics();
  const int left = metrics.horizontalAdvance("0000000") + 8;
  const int top = metrics.height() + 6;
  const int bottom = metrics.height() + 6;
  return QRect(left, top, width() - left - 10, height() - top - bottom);
}

void SpeedChart::drawAxes(QPainter& painter, const QRect& plot, uint64_t topRate) const {
  const QFontMetrics metrics = fontMetrics();
  const int line = metrics.height();
  const int labelWidth = plot.left() - 6;
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(plot.adjusted(0, 0, -1, -1));
  painter.setPen(palette().color(QPalette::Text));
  painter.drawText(QRect(2, plot.top() - line / 2, labelWidth, line), Qt::AlignRight,
                   QString::number(topRate));
  painter.drawText(QRect(2, plot.bottom() - line / 2, labelWidth, line), Qt::AlignRight, "0");

  const uint64_t start = chart_.profile.RangeStart;
  const uint64_t end = chart_.profile.AxisEnd();
  const QRect labels(plot.left(), plot.bottom() + 3, plot.width(), line);
  painter.drawText(labels, Qt::AlignLeft, BillionsLabel(start, end - start));
  painter.drawText(labels, Qt::AlignRight, BillionsLabel(end, end - start));
  painter.drawText(labels, Qt::AlignHCenter, "p");
}

void SpeedChart::drawSpeed(QPainter& painter, const QRect& plot, uint64_t topRate) const {
  const std::vector<ChartColumn> columns = ChartColumns(chart_.profile, plot.width());
  const auto yOf = [&](uint32_t rate) {
    return plot.bottom() - static_cast<int>(static_cast<double>(rate) /
                                            static_cast<double>(topRate) * plot.height());
  };
  // Each column's slowest and fastest report, joined column to column:
  // a line where reports are sparse, a band where they crowd.
  QPolygon speed;
  speed.reserve(2 * plot.width());
  const int tick = std::max(3, plot.height() / 8);
  painter.setPen(QPen(palette().color(QPalette::Text), 1));
  for (int column = 0; column < plot.width(); ++column) {
    const ChartColumn& slot = columns[static_cast<size_t>(column)];
    const int x = plot.left() + column;
    if (slot.HasFactor) painter.drawLine(x, plot.bottom(), x, plot.bottom() - tick);
    if (!slot.HasRate) continue;
    speed << QPoint(x, yOf(slot.MinRate));
    if (slot.MaxRate != slot.MinRate) speed << QPoint(x, yOf(slot.MaxRate));
  }
  painter.setPen(palette().color(QPalette::Highlight));
  if (speed.size() == 1)
    painter.drawEllipse(speed.front(), 2, 2);
  else
    painter.drawPolyline(speed);
}
