// SPDX-License-Identifier: MIT
// The one table of hex digits: lower case, as every text form written here.
#pragma once

#include <string>

inline void append_hex_byte(std::string& out, unsigned char byte)
{
    static constexpr char digits[] = "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 15];
}
