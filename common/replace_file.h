// SPDX-License-Identifier: MIT
// A destination file written whole or not at all, so that a failure, a
// signal or a full disk never costs the file it was meant to replace. One
// file at a time per process.
#pragma once

#include <string>

// Opens path for writing. A regular file, a link to one, or a name with no
// file yet is written through a new temporary file, its owner's alone, in
// the destination's directory; anything else (a device, a FIFO, a terminal)
// is written in place. With private_file the new file is never readable by
// group or others. companion_ending names a file that the writer may make
// beside the one it writes (its name + ending), to go with it; or null.
// Returns the descriptor to write, or -1 with errno set. Until
// finish_replacement, an interrupting signal or a crash removes the
// temporary file before it ends the process.
int open_replacement(const std::string& path, bool private_file,
                     const char* companion_ending = nullptr);

// The file that the descriptor open_replacement returned writes: the
// temporary file, or the destination itself when written in place.
const char* replacement_file();

// With keep, puts what was written to fd, synced and with its mode, in the
// destination's place. Without keep, or when that fails, removes it and
// leaves the destination as it was. fd stays open. 0, or -1 with errno set.
int finish_replacement(int fd, bool keep);

// Removes a temporary file still pending, as on a fatal error.
void abandon_replacement();
