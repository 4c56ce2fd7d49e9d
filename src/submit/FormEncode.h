#pragma once

#include <string>
#include <string_view>

// The form encoding of one field value, byte by byte: ASCII letters and
// digits stay, a blank becomes "+", and every other byte becomes "%" and two
// lower-case hexadecimal digits, so "-", ".", "_", "*" and "~" too.
std::string FormEncode(std::string_view text);
