// SPDX-License-Identifier: MIT
#include "common/report.h"
#include "common/escape.h"

#include <cstdarg>
#include <cstdio>

static bool warnings_muted = false;
void (*before_report)() = nullptr;

static void vreport(const char* prefix, const char* format, va_list args)
{
    std::string line = prefix;
    append_escaped_message(line, format, args);
    line += '\n';
    if (before_report)
        before_report();
    std::fputs(line.c_str(), stderr);
}

void report(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vreport("", format, args);
    va_end(args);
}

void report_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vreport("Error: ", format, args);
    va_end(args);
}

void report_warning(const char* format, ...)
{
    if (warnings_muted)
        return;
    va_list args;
    va_start(args, format);
    vreport("Warning: ", format, args);
    va_end(args);
}

void report_unprefixed_warning(const char* format, ...)
{
    if (warnings_muted)
        return;
    va_list args;
    va_start(args, format);
    vreport("", format, args);
    va_end(args);
}

void mute_warnings(bool muted)
{
    warnings_muted = muted;
}
