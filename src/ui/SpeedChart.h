#pragma once

#include <QWidget>

#include "session/SpeedChartData.h"

// A machine's speed (kp/s) along its current range of p, with a tick for
// each factor found. However many reports there are, it draws a stroke or
// two per pixel column: a status file of a year is as cheap as one of a day.
// It says so when there is nothing to draw, and why.
class SpeedChart : public QWidget {
  Q_OBJECT

 public:
  explicit SpeedChart(QWidget* parent = nullptr);

  void showChart(const SpeedChartData& chart);
  // What the chart says instead of drawing, empty while it draws.
  QString emptyText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // The chart came into view, or went out of it (hidden, or squeezed to
  // nothing by its splitter).
  void shownChanged(bool shown);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void tellShown();
  void drawCaption(QPainter& painter) const;
  QRect plotArea() const;
  void drawAxes(QPainter& painter, const QRect& plot, uint64_t topRate) const;
  void drawSpeed(QPainter& painter, const QRect& plot, uint64_t topRate) const;

  SpeedChartData chart_;
  bool shown_ = false;
};
