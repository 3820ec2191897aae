// The real binaries against a real store: checking what they leave behind.
#pragma once

#include "files.h"
#include "program.h"

#include <map>
#include <string>

// The result of PRAGMA integrity_check on a store file: "ok" when sound.
std::string integrity_check(const std::string& store_file);

// Reads a dump document with expat; an empty error means it is well formed.
// Counts the data points of each node, by the node's full path.
struct DumpCount {
    std::string error;
    std::map<std::string, long> data_points;
};
DumpCount count_data_points(const std::string& file);

// The seed of a randomized test: $STRESS_SEED, or a fresh one; printed so
// that a failing run can be repeated.
unsigned test_seed();
