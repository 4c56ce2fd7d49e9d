#include "ui/ScreenRoom.h"

#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QSize ScreenRoom(const QWidget& window) {
  const QWidget& opener = window.parentWidget() ? *window.parentWidget()->window() : window;
  const QSize room = opener.screen()->availableGeometry().size();
  if (&opener == &window) return room;
  // A dialog gets a frame like its opener's, which the window system adds.
  return room - (opener.frameGeometry().size() - opener.geometry().size());
}

void KeepOnScreen(QWidget& window) {
  const QRect room = window.screen()->availableGeometry();
  const QSize frame = window.frameGeometry().size() - window.size();
  window.resize(window.size().boundedTo(room.size() - frame));
  const QRect placed = window.frameGeometry();
  window.move(std::clamp(placed.x(), room.left(), room.right() + 1 - placed.width()),
              std::clamp(placed.y(), room.top(), room.bottom() + 1 - placed.height()));
}

void ResizeWithin(QWidget& window, const QSize& wanted) {
  window.resize(wanted.boundedTo(ScreenRoom(window)));
}
