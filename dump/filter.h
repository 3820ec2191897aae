#pragma once

#include <string>

// Whether a dump may write the data point at path, as the walker built it.
bool is_leaf_dumpable(const std::string& path);
