#pragma once

#include <ostream>
#include <string_view>

#include "model/PaneText.h"

// Writes `text` as one JSON string, quotes included, exactly as the JSON
// library dumps it with bad UTF-8 replaced by U+FFFD, but a block at a
// time, so that not even a text of gigabytes is copied whole.
void WriteJsonString(std::ostream& out, std::string_view text);
// The same of a pane's text, part after part: a part ends with a line
// end, never within a character.
void WriteJsonString(std::ostream& out, const PaneText& text);
