// Pieces shared by the files of cdsctl.
#pragma once

#include "cds/cds.h"
#include "libcds/store.h"

#include <string>
#include <string_view>
#include <vector>

enum CdsctlExit {
    EXIT_OK = 0,
    EXIT_USAGE = 1,
    EXIT_FAILURE_OTHER = 2,
};

struct CommandArgs {
    std::vector<std::string> operands;
    int property = 0;
};

// Writes "cdsctl: " and the formatted message as one line on standard error
// and returns status.
int fail(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The message for standard output that could not be written; error is the
// errno of the failed write, or 0 when it is no longer known.
int fail_output(int error);

// The message for a failed store operation on path.
int fail_outcome(pcd_handle_t handle, const std::string& where, cds_store::Outcome outcome);

// Value texts in the import and export format: "\\", "\t", "\n", "\r" and
// "\xHH" stand for the bytes that would break a line into fields.
void append_escaped(std::string& line, std::string_view value);
bool unescape(std::string_view text, std::string& value);
// Lower-case hex, two digits a byte: the text form of a binary value.
void append_hex(std::string& text, std::string_view bytes);
// A property: a decimal number in 0..255, without sign or leading zeros.
bool read_property(std::string_view text, int& property);

int run_import(toolkit::CCds& cds, const CommandArgs& args);
int run_export(toolkit::CCds& cds, const CommandArgs& args);
