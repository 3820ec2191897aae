// SPDX-License-Identifier: MIT
#pragma once

// Every message of the tool goes through these, one line each on standard
// error, so that none loses its prefix or its newline.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The load's warning that predates the prefix.
void report_unprefixed_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Called before each message, so that a status line on the terminal can
// make way for it; null when there is none.
extern void (*before_report)();

// While muted, warnings are not printed: a reading that only checks the
// document leaves them to the reading that acts on it.
void mute_warnings(bool muted);
