// SPDX-License-Identifier: MIT
// What the files of cdsctl share: exit statuses, parsed arguments, messages
// and the text forms of what the store holds.
#pragma once

#include "cds/cds.h"
#include "libcds/admin.h"

#include <cstdio>
#include <functional>
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
    // Unless given: 0 for a new entry, an existing data point's own.
    int property = cds_store::keep_property;
};

// Writes "cdsctl: " and the formatted message as one line on standard error
// and returns status.
int report_failure(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The message for standard output that could not be written; error is the
// errno of the failed write, or 0 when it is no longer known.
int report_output_failure(int error);

// The message for a failed store operation on path.
int report_store_failure(pcd_handle_t handle, const std::string& where, cds_store::Result outcome);

// A property: a decimal number in 0..255, without sign or leading zeros.
bool read_property_number(std::string_view text, int& property);

// The type's name, or the library's name for a type it does not know.
const char* type_name_or_invalid(data_type_t type);
// A data point's value in the library's text form (hex for binary).
std::string entry_value_text(const cds_store::Entry& entry);

// Calls on_line for each line of in, without its LF, until one returns
// non-zero; returns that result. A read error ends the lines; ferror(in)
// tells it from the end of the input.
int for_each_line(FILE* in, const std::function<int(std::string_view)>& on_line);

int run_import(toolkit::CCds& cds, const CommandArgs& args);
int run_export(toolkit::CCds& cds, const CommandArgs& args);
