// The real binaries against a real store: checking what they leave behind.
#pragma once

#include "files.h"
#include "program.h"

#include <string>

// The result of PRAGMA integrity_check on a store file: "ok" when sound.
std::string integrity_check(const std::string& store_file);

// The seed of a randomized test: $STRESS_SEED, or a fresh one; printed so
// that a failing run can be repeated.
unsigned test_seed();
