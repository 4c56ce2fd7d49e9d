#include "ui/DialogUnits.h"

#include <QFont>
#include <QFontMetricsF>
#include <cmath>

namespace {

// The average character width is measured over the alphabet, as the
// platform that defined the unit does.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr double kAlphabetLength = 52;

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetricsF metrics(font);
  charWidth_ = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) / kAlphabetLength;
  charHeight_ = metrics.height();
}

int DialogUnits::x(int units) const {
  return static_cast<int>(std::lround(units * charWidth_ / 4));
}

int DialogUnits::y(int units) const {
  return static_cast<int>(std::lround(units * charHeight_ / 8));
}
