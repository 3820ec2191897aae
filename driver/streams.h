#pragma once

#include <cstdio>
#include <string>

// The file named by the file path, or the standard stream when it is empty.
// Null, after a message, when the file can't be opened. Until finish_output,
// SIGINT, SIGTERM or SIGHUP remove a regular destination file this run
// created or truncated before they end the process.
FILE* open_stream(bool for_writing);

// Closes (or for standard output, flushes) the output. Returns -1,
// after a message, when anything written to it may be lost.
int close_output(FILE* out);

// Ends the dump's output after close_output; when remove, deletes the
// destination file if it is a regular file this run created or truncated.
void finish_output(bool remove);

// Replaces path by its canonical form as the CDS library gives it; a path
// with no canonical form becomes empty.
void canonicalize_in_place(std::string& path);
