// SPDX-License-Identifier: MIT
#include "libcds/path.h"
#include "libcds/utf8.h"

#include <algorithm>

bool canonicalize_cds_path(std::string& path)
{
    if (path.empty() || path[0] != '/')
        return false;
    std::string canonical;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string_view segment(path.data() + start, end - start);
        if (segment == "..") {
            if (canonical.empty())
                return false;
            canonical.erase(canonical.rfind('/'));
        } else if (!segment.empty() && segment != ".") {
            canonical += '/';
            canonical += segment;
        }
        start = end + 1;
    }
    path = canonical.empty() ? "/" : std::move(canonical);
    return true;
}

namespace cds_store
{

namespace
{

bool within_limits(std::string_view path)
{
    return path.size() <= max_path_bytes &&
           static_cast<std::size_t>(std::count(path.begin(), path.end(), '/')) <= max_path_depth;
}

} // namespace

// Checked in one pass: most paths the library is handed are canonical
// already, and need no copy.
bool is_canonical_store_path(std::string_view path)
{
    if (path.empty() || path[0] != '/' || path.size() > max_path_bytes)
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
    return depth <= max_path_depth;
}

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
    return !name.empty() && name != "." && name != ".." && valid_name_text(name);
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

std::size_t path_depth(std::string_view canonical_path)
{
    if (canonical_path == "/")
        return 0;
    return static_cast<std::size_t>(std::count(canonical_path.begin(), canonical_path.end(), '/'));
}

} // namespace cds_store
