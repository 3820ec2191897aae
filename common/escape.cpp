#include "common/escape.h"

namespace
{

void append_hex_escape(std::string& out, unsigned char byte)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 15];
}

} // namespace

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
        else if (byte < 0x20 || byte == 0x7f)
            append_hex_escape(out, byte);
        else
            out += c;
    }
}
