// SPDX-License-Identifier: MIT
// The one escaped text form of bytes that no line should carry raw, shared
// by cdsctl's export lines and by every message that quotes a name, path,
// value, type or source.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

// "\\", "\t", "\n", "\r" and "\xHH" stand for a backslash and the control
// characters; every other byte is kept.
void append_escaped(std::string& out, std::string_view text);

// Undoes append_escaped into value, as cdsctl reads back the fields that
// export and cdsdiff write; false for an escape it never writes.
bool unescape_value(std::string_view text, std::string& value);

// The printf-style message, escaped whole, appended to out: what it quotes
// can then neither end the line early nor pass for another line.
void append_escaped_message(std::string& out, const char* format, va_list args);
