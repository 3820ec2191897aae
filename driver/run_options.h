// SPDX-License-Identifier: MIT
#pragma once

#include "cds/cds.h"

#include <string>
#include <unordered_set>
#include <vector>

enum class RunMode { none, dump, load };

// The parsed command line and the CDS connection, for the whole run.
struct RunOptions {
    RunMode mode = RunMode::none;
    // Destination of a dump or source of a load; empty means the standard stream.
    std::string file_path;
    bool include_sensitive = false;
    std::vector<std::string> recursive_paths;
    std::vector<std::string> non_recursive_paths;
    std::vector<std::string> persistent_recursive_paths;
    std::vector<std::string> persistent_non_recursive_paths;
    // Looked up for every child node a dump walks.
    std::unordered_set<std::string> excludes;
    std::unordered_set<std::string> persistent_excludes;
    bool load_persistent_only = false;
    bool only_existing = false;
    std::string source;
    toolkit::CCds connection;
};

extern RunOptions run_options;
