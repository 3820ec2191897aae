// Running a built program as its users do: a process of its own, with its
// own working directory and store if asked, and its standard streams on
// files.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct Program {
    std::vector<std::string> args; // args[0] is the program
    std::string dir = "";          // working directory; empty: the test's own
    std::string store = "";        // CDS_STORE; empty: the test's own
    // Files on standard input, output and error. Empty: run_program gives
    // its input text and captures the output; start_program uses /dev/null.
    std::string in = "";
    std::string out = "";
    std::string err = "";
};

struct ProgramRun {
    pid_t pid = -1;
    int status = -1; // exit status; -1 when it did not start or died of a signal
    int signal = 0;  // the signal it died of
    long max_rss_kb = 0;
    std::string out; // what run_program captured
    std::string err;
};

// The process started, or -1.
pid_t start_program(const Program& program);

// Waits for pid (for any child when -1) to end.
ProgramRun finish_program(pid_t pid);

// Runs program to its end with input on its standard input.
ProgramRun run_program(const Program& program, const std::string& input = "");
