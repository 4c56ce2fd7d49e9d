#include "ui/HealthLook.h"

#include <QApplication>
#include <QStyle>

namespace {

// Half hue, half text colour: a dark shade of the hue on a light base, a
// light one on a dark base.
QColor Tinted(const QColor& text, const QColor& hue) {
  const auto mix = [](int textPart, int huePart) { return (textPart + huePart) / 2; };
  return QColor(mix(text.red(), hue.red()), mix(text.green(), hue.green()),
                mix(text.blue(), hue.blue()));
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

QColor HealthColour(HealthState state, const QPalette& palette) {
  const QColor text = palette.color(QPalette::Active, QPalette::Text);
  switch (state) {
    case HealthState::Working:
      return text;
    case HealthState::RunningDry:
      return Tinted(text, QColor(230, 140, 0));
    case HealthState::Stalled:
      return Tinted(text, QColor(230, 0, 0));
    case HealthState::Finished:
      return Tinted(text, QColor(0, 160, 0));
    case HealthState::Unreachable:
      return palette.color(QPalette::Disabled, QPalette::Text);
  }
  return text;
}
