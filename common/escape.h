// The one escaped text form of bytes that no line should carry raw, shared
// by cdsctl's export lines and by every message that quotes a name, path,
// value, type or source.
#pragma once

#include <string>
#include <string_view>

// "\\", "\t", "\n", "\r" and "\xHH" stand for a backslash and the control
// characters; every other byte is kept.
void append_escaped(std::string& out, std::string_view text);
