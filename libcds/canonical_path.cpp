#include "libcds/canonical_path.h"

#include <string_view>

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
