#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>

#include "session/MachineHealth.h"

// How a machine's health looks in the machine list: a standard icon of the
// style, one drawn in colour (the style's media glyphs are black, lost on a
// dark base), and a text colour. The colours are the palette's text colour
// tinted towards a hue, made darker or lighter where they would not read
// on the palette's base colour, in light and dark styles alike. A working
// machine keeps the plain text colour and an unreachable one the muted
// text of a row that could not be read, where they read.
QIcon HealthIcon(HealthState state);
QColor HealthColour(HealthState state, const QPalette& palette);

// `colour`, or the nearest shade of it that reads on `background`: a
// contrast of 4.5 or more, with a little to spare.
QColor Readable(const QColor& colour, const QColor& background);
