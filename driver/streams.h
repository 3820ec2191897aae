// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <string>

// The file named by the file path, or the standard stream when it is empty.
// Null, after a message, when the file can't be opened. A regular file is
// written through a temporary file that close_output puts in its place.
FILE* open_stream(bool for_writing);

// Closes (or for standard output, flushes) the output; a file's content
// replaces the destination only with keep, and then only whole. Returns -1,
// after a message, when anything written to it may be lost.
int close_output(FILE* out, bool keep);

// Replaces path by its canonical form as the CDS library gives it; a path
// with no canonical form becomes empty.
void canonicalize_in_place(std::string& path);

// Both exclude sets in the form the walker's child paths take.
void canonicalize_excludes();
