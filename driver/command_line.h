// SPDX-License-Identifier: MIT
#pragma once

enum class ParseOutcome { run, version_shown, usage_shown };

// Fills run_options from the command line, or prints the version or the
// usage text when the command line asks for it or is wrong.
ParseOutcome parse_command_line(int argc, char** argv);
