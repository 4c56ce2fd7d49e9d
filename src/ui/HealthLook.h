#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>

#include "session/MachineHealth.h"

// How a machine's health looks in the machine list: a standard icon of the
// style, one drawn in colour (the style's media glyphs are black, lost on a
// dark base), and a text colour. The colours are the palette's text colour tinted
// towards a hue, so they stay readable on the palette's base colour in light
// and dark styles alike. A working machine keeps the plain text colour and
// an unreachable one the muted text of a row that could not be read.
QIcon HealthIcon(HealthState state);
QColor HealthColour(HealthState state, const QPalette& palette);
