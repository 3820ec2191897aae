// SPDX-License-Identifier: MIT
#include "libcds/utf8.h"

#include <cstddef>

namespace
{

// The code point starting at text[i], advancing i past it; -1 for a byte
// sequence that is not UTF-8 (overlong forms and surrogates included).
long next_code_point(std::string_view text, std::size_t& i)
{
    unsigned char lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80)
        return lead;
    int length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
    if (length == 0 || lead > 0xf4 || i + length - 1 > text.size())
        return -1;
    long point = lead & (0x7f >> length);
    for (int k = 1; k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[i++]);
        if ((next & 0xc0) != 0x80)
            return -1;
        point = point << 6 | (next & 0x3f);
    }
    static const long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < smallest[length] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
        return -1;
    return point;
}

template <typename Allowed> bool all_code_points(std::string_view text, Allowed allowed)
{
    for (std::size_t i = 0; i < text.size();) {
        // Plain ASCII is the common case and needs no decoding.
        unsigned char byte = static_cast<unsigned char>(text[i]);
        long point = byte < 0x80 ? (++i, byte) : next_code_point(text, i);
        if (point < 0 || point == 0xfffe || point == 0xffff || !allowed(point))
            return false;
    }
    return true;
}

} // namespace

namespace cds_store
{

bool valid_string_value(std::string_view text)
{
    return all_code_points(text, [](long point) {
        return point >= 0x20 || point == '\t' || point == '\n' || point == '\r';
    });
}

bool valid_name_text(std::string_view text)
{
    return all_code_points(text, [](long point) { return point >= 0x20 && point != '/'; });
}

} // namespace cds_store
