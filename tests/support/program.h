// SPDX-License-Identifier: MIT
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
    // Files for standard output and error. Empty: run_program captures the
    // stream; start_program sends it to /dev/null.
    std::string out = "";
    std::string err = "";
};

struct ProgramRun {
    int status = -1; // exit status; -1 when it did not start or died of a signal
    int signal = 0;  // the signal it died of
    std::string out; // what run_program captured
    std::string err;
};

// The process started with nothing on its standard input, or -1.
pid_t start_program(const Program& program);

ProgramRun finish_program(pid_t pid);

// Runs program to its end with input on its standard input.
ProgramRun run_program(const Program& program, const std::string& input = "");
