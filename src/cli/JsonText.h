#pragma once

#include <ostream>
#include <string_view>

// Writes `text` as one JSON string, quotes included, exactly as the JSON
// library dumps it with bad UTF-8 replaced by U+FFFD, but a block at a
// time, so that not even a text of gigabytes is copied whole.
void WriteJsonString(std::ostream& out, std::string_view text);
