// SPDX-License-Identifier: MIT
// The status line of a long load on a terminal: how much of the file is
// read, how many data points are written and how long the rest may take.
#pragma once

#include <cstddef>
#include <cstdio>

// Shows the line from now on, for the load of in, when standard error is a
// terminal and in is a regular file; otherwise nothing ever shows.
void start_progress(FILE* in);

// Counts written data points, and redraws the line when it is due.
void note_written(std::size_t points);

// Erases the line, so that what follows starts a line of its own. The next
// note_written draws it again.
void erase_progress();

// Erases the line for good.
void stop_progress();
