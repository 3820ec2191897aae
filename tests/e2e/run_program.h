// Running the built programs as their users do: a separate process, its own
// store named by CDS_STORE, standard streams captured through files.
#pragma once

#include "files.h"

#include <string>
#include <vector>

struct ProgramRun {
    int status; // exit status, or -1 when the program did not run or was killed
    std::string out;
    std::string err;
};

// Runs program with args in directory dir (which also holds the captured
// streams), with CDS_STORE set to store and input on standard input.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& dir, const std::string& store,
                       const std::string& input = "");

bool file_exists(const std::string& path);

// Empty when every document validates against the dump schema, otherwise
// xmllint's complaint.
std::string schema_errors(const std::vector<std::string>& documents, const std::string& dir);

// The first line where two texts differ, for readable failure messages.
std::string first_difference(const std::string& expected, const std::string& actual);
