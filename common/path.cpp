// SPDX-License-Identifier: MIT
#include "common/path.h"

void append_child_path(std::string& path, std::string_view name)
{
    if (path != "/")
        path += '/';
    path += name;
}

std::string child_path(std::string_view parent, std::string_view name)
{
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path = parent;
    append_child_path(path, name);
    return path;
}
