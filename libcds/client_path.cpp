// SPDX-License-Identifier: MIT
// The client call that gives a path its canonical form in the store, in
// the caller's buffer.
#include "cds/cds.h"
#include "libcds/path.h"

#include <cstring>

std::size_t pcd_canonicalize_path(char* buffer, std::size_t length)
{
    if (!buffer)
        return 0;
    std::string_view given(buffer, strnlen(buffer, length));
    // A dump asks about every data point it writes, and nearly every path
    // is canonical already: answer those without a copy.
    if (cds_store::is_canonical_store_path(given)) {
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
