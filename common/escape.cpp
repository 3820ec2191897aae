// SPDX-License-Identifier: MIT
#include "common/escape.h"
#include "common/hex.h"

#include <charconv>
#include <cstdio>

void append_escaped(std::string& out, std::string_view text)
{
    for (const char& c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            append_hex_byte(out, byte);
        } else {
            out += c;
        }
    }
}

bool unescape_value(std::string_view text, std::string& value)
{
    value.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            value += text[i];
            continue;
        }
        char kind = ++i < text.size() ? text[i] : '\0';
        if (kind == '\\' || kind == 't' || kind == 'n' || kind == 'r') {
            value += kind == 't' ? '\t' : kind == 'n' ? '\n' : kind == 'r' ? '\r' : '\\';
            continue;
        }
        unsigned byte = 0;
        const char* digits = text.data() + i + 1;
        if (kind != 'x' || i + 2 >= text.size() ||
            std::from_chars(digits, digits + 2, byte, 16).ptr != digits + 2)
            return false;
        value += static_cast<char>(byte);
        i += 2;
    }
    return true;
}

void append_escaped_message(std::string& out, const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, again);
    va_end(again);
    if (length <= 0)
        return;
    std::string message(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(message.data(), message.size(), format, args);
    message.pop_back();
    append_escaped(out, message);
}
