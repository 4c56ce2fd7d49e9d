#include "ui/HealthLook.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace {

// What text needs against its background to read well, 4.5, and a little
// to spare for the rounding of the colours that drawing blends.
constexpr double kReadableContrast = 4.6;

double Luminance(const QColor& colour) {
  const auto linear = [](double channel) {
    return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
         0.0722 * linear(colour.blueF());
}

// From 1, none, to 21, black on white, as accessibility guidelines count it.
double Contrast(const QColor& a, const QColor& b) {
  const double lighter = std::max(Luminance(a), Luminance(b));
  const double darker = std::min(Luminance(a), Luminance(b));
  return (lighter + 0.05) / (darker + 0.05);
}

// Half hue, half text colour: a dark shade of the hue on a light base, a
// light one on a dark base.
QColor Tinted(const QColor& text, const QColor& hue) {
  const auto mix = [](int textPart, int huePart) { return (textPart + huePart) / 2; };
  return QColor(mix(text.red(), hue.red()), mix(text.green(), hue.green()),
                mix(text.blue(), hue.blue()));
}

// The muted text of a row that could not be read: the palette's disabled
// text, or halfway to the base where a style sheet gave every text the
// same colour.
QColor Muted(const QPalette& palette) {
  const QColor text = palette.color(QPalette::Active, QPalette::Text);
  const QColor disabled = palette.color(QPalette::Disabled, QPalette::Text);
  return disabled != text ? disabled
                          : Tinted(text, palette.color(QPalette::Active, QPalette::Base));
}

}  // namespace

QIcon HealthIcon(HealthState state) {
  switch (state) {
    case HealthState::Working:
      return QApplication::style()->standardIcon(QStyle::SP_ArrowForward);
    case HealthState::RunningDry:
      return QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    case HealthState::Stalled:
      return QApplication::style()->standardIcon(QStyle::SP_BrowserStop);
    case HealthState::Finished:
      return QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton);
    case HealthState::Unreachable:
      return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
  }
  return {};
}

QColor Readable(const QColor& colour, const QColor& background) {
  // Black or white reads on any background, at 4.58 at worst: the shade
  // goes towards the one that stands out more, keeping its hue, in the
  // 8 bits a channel is drawn in.
  const bool darker = Contrast(Qt::black, background) >= Contrast(Qt::white, background);
  const QColor hsl = colour.toHsl();
  QColor shade = colour;
  for (int lightness = hsl.lightness(); Contrast(shade, background) < kReadableContrast;) {
    lightness += darker ? -1 : 1;
    if (lightness < 0 || lightness > 255) break;
    shade = QColor(QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness).rgb());
  }
  return shade;
}

QColor HealthColour(HealthState state, const QPalette& palette) {
  const QColor text = palette.color(QPalette::Active, QPalette::Text);
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  switch (state) {
    case HealthState::Working:
      return Readable(text, base);
    case HealthState::RunningDry:
      return Readable(Tinted(text, QColor(230, 140, 0)), base);
    case HealthState::Stalled:
      return Readable(Tinted(text, QColor(230, 0, 0)), base);
    case HealthState::Finished:
      return Readable(Tinted(text, QColor(0, 160, 0)), base);
    case HealthState::Unreachable:
      return Readable(Muted(palette), base);
  }
  return text;
}
