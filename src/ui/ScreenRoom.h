#pragma once

#include <QSize>

class QWidget;

// The room that the screen `window` opens on leaves for windows: its area
// without panels and docks. A dialog opens on its parent's screen, and its
// room leaves out a frame like its parent's.
QSize ScreenRoom(const QWidget& window);

// Gives `window` its first size, `wanted`, but no larger than its screen's
// room, so that a large font or a scaled screen never puts its buttons out
// of reach.
void ResizeWithin(QWidget& window, const QSize& wanted);

// Once `window` shows with its frame: makes it, frame and all, no larger
// than its screen's room, and moves it inside.
void KeepOnScreen(QWidget& window);
