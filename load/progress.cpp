// SPDX-License-Identifier: MIT
#include "load/progress.h"
#include "common/report.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

// At most four redraws a second: enough to see it move, too few to cost.
const auto redraw_interval = std::chrono::milliseconds(250);

struct Progress {
    FILE* in = nullptr; // null: no line
    double size = 0;
    std::size_t written = 0;
    Clock::time_point start;
    Clock::time_point drawn;
    std::size_t shown = 0; // characters on the line now
};
Progress progress;

std::string time_left(double seconds)
{
    long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

void draw(Clock::time_point now)
{
    long position = std::ftell(progress.in);
    double share = position > 0 ? std::min(1.0, position / progress.size) : 0;
    std::string line = "\r" + std::to_string(static_cast<int>(share * 100)) + "% read, " +
                       std::to_string(progress.written) + " data points written";
    // Read so far at the pace so far; the first moments say too little.
    double elapsed = std::chrono::duration<double>(now - progress.start).count();
    if (share > 0 && elapsed >= 1)
        line += ", about " + time_left(elapsed * (1 - share) / share) + " left";
    std::size_t length = line.size() - 1;
    if (length < progress.shown)
        line.append(progress.shown - length, ' ');
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    progress.shown = length;
    progress.drawn = now;
}

} // namespace

void start_progress(FILE* in)
{
    struct stat info;
    progress = Progress();
    if (isatty(STDERR_FILENO) && fstat(fileno(in), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size > 0) {
        progress.in = in;
        progress.size = static_cast<double>(info.st_size);
        progress.start = Clock::now();
        progress.drawn = progress.start - redraw_interval;
        // A message never shares its line with the status line.
        before_report = erase_progress;
    }
}

void note_written(std::size_t points)
{
    if (!progress.in)
        return;
    progress.written += points;
    Clock::time_point now = Clock::now();
    if (now - progress.drawn >= redraw_interval)
        draw(now);
}

void erase_progress()
{
    if (progress.shown == 0)
        return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(progress.shown), "");
    progress.shown = 0;
}

void stop_progress()
{
    erase_progress();
    progress.in = nullptr;
    before_report = nullptr;
}
