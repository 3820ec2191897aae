// The real binaries against a real store: starting them, waiting for them
// with their resource use, and checking what they leave behind.
#pragma once

#include "files.h"

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// Sanitizers keep freed memory aside and shadow the rest, so memory bounds
// are scaled in a sanitized build.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define STRESS_SANITIZED
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(STRESS_SANITIZED)
constexpr long memory_scale = 2;
#else
constexpr long memory_scale = 1;
#endif

struct Command {
    std::vector<std::string> args; // args[0] is the program
    std::string in = "/dev/null";
    std::string out = "/dev/null"; // files that take standard output and error
    std::string err = "/dev/null";
};

struct Finished {
    pid_t pid = -1;
    int exit_code = -1; // -1 when killed by a signal
    int signal = 0;
    long max_rss_kb = 0;
};

pid_t start(const Command& command);
// Waits for pid (any child for -1) and collects its status and peak memory.
Finished finish(pid_t pid);

struct Ran {
    Finished how;
    std::string out;
    std::string err;
};
// Runs program with args in dir, feeding input, capturing both outputs.
Ran run(const std::string& dir, const std::vector<std::string>& args,
        const std::string& input = "");

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
