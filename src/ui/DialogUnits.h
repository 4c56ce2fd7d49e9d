#pragma once

#include <QSize>

class QFont;

// The measure of the window templates: a quarter of the font's average
// character width across and an eighth of its height down. Sizes given in
// it follow the font and so the screen's DPI.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int x(int units) const;
  int y(int units) const;
  QSize size(int width, int height) const { return {x(width), y(height)}; }

 private:
  double charWidth_;
  double charHeight_;
};
