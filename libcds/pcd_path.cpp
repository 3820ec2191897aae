#include "libcds/canonical_path.h"
#include "libcds/store.h"

#include <algorithm>
#include <cstring>

namespace
{

// A canonical path within the store's limits, checked in one pass: most
// paths the library is handed are canonical already.
bool is_canonical_store_path(std::string_view path)
{
    if (path.empty() || path[0] != '/' || path.size() > cds_store::max_path_bytes)
        return false;
    if (path.size() == 1)
        return true;
    std::size_t depth = 0;
    for (std::size_t start = 1; start <= path.size(); ++depth) {
        std::size_t end = std::min(path.find('/', start), path.size());
        std::size_t length = end - start;
        if (length == 0 ||
            (path[start] == '.' && (length == 1 || (length == 2 && path[start + 1] == '.'))))
            return false;
        start = end + 1;
    }
    return depth <= cds_store::max_path_depth;
}

bool within_limits(std::string_view path)
{
    return path.size() <= cds_store::max_path_bytes &&
           static_cast<std::size_t>(std::count(path.begin(), path.end(), '/')) <=
               cds_store::max_path_depth;
}

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

std::size_t pcd_canonicalize_path(char* buffer, std::size_t length)
{
    if (!buffer)
        return 0;
    std::string_view given(buffer, strnlen(buffer, length));
    // A dump asks about every data point it writes, and nearly every path
    // is canonical already: answer those without a copy.
    if (is_canonical_store_path(given)) {
        buffer[given.size()] = '\0';
        return given.size();
    }
    std::string path(given);
    if (!cds_store::canonical_store_path(path))
        return 0;
    // Never longer than the input, so it fits where the input was.
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return path.size();
}

namespace cds_store
{

bool canonical_store_path(std::string& path)
{
    if (is_canonical_store_path(path))
        return true;
    std::string canonical = path;
    if (!canonicalize_cds_path(canonical) || !within_limits(canonical))
        return false;
    path = std::move(canonical);
    return true;
}

bool valid_entry_name(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           all_code_points(name, [](long point) { return point >= 0x20 && point != '/'; });
}

bool valid_path_names(std::string_view canonical_path)
{
    std::size_t start = 1;
    while (start < canonical_path.size()) {
        std::size_t end = std::min(canonical_path.find('/', start), canonical_path.size());
        if (!valid_entry_name(canonical_path.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

bool valid_string_value(std::string_view text)
{
    return all_code_points(text, [](long point) {
        return point >= 0x20 || point == '\t' || point == '\n' || point == '\r';
    });
}

} // namespace cds_store
