// SPDX-License-Identifier: MIT
#include "driver/streams.h"
#include "common/replace_file.h"
#include "common/report.h"
#include "driver/run_options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>
#include <vector>

namespace
{

// Passwords in a file that others can read are passwords given away.
void warn_if_others_can_read_stdout()
{
    struct stat info;
    if (fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 044))
        report_warning("standard output can be read by others and will hold passwords");
}

// A dump made with -s holds passwords: the file it leaves is for its owner only.
FILE* open_for_writing(const std::string& path)
{
    // Writing over the store or one of its companion files destroys it.
    if (pcd_is_store_file(run_options.connection.handle, path.c_str()))
        return nullptr;
    int fd = open_replacement(path, run_options.include_sensitive);
    if (fd < 0)
        return nullptr;
    FILE* out = fdopen(fd, "w");
    if (!out) {
        finish_replacement(fd, false);
        close(fd);
    }
    return out;
}

} // namespace

FILE* open_stream(bool for_writing)
{
    const std::string& path = run_options.file_path;
    if (path.empty() && for_writing && run_options.include_sensitive)
        warn_if_others_can_read_stdout();
    if (path.empty())
        return for_writing ? stdout : stdin;
    FILE* stream = for_writing ? open_for_writing(path) : std::fopen(path.c_str(), "r");
    if (!stream)
        report_error("can't open file at '%s'", path.c_str());
    return stream;
}

int close_output(FILE* out, bool keep)
{
    bool failed = std::ferror(out) != 0;
    if (out == stdout) {
        // Standard output stays open for the process to close at exit.
        if (std::fflush(out) != 0 || failed) {
            report_error("can't write to standard output");
            return -1;
        }
        return 0;
    }
    failed |= std::fflush(out) != 0;
    failed |= finish_replacement(fileno(out), keep && !failed) != 0;
    failed |= std::fclose(out) != 0;
    if (!failed)
        return 0;
    report_error("can't write file at '%s'", run_options.file_path.c_str());
    return -1;
}

void canonicalize_in_place(std::string& path)
{
    std::size_t old_length = path.size();
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    std::size_t length = pcd_canonicalize_path(buffer.data(), old_length);
    // The library promises no growth; should it report more, keep only what
    // the buffer holds and pad, rather than read past it.
    path.assign(buffer.data(), std::min(length, old_length));
    path.resize(length, '\0');
}

void canonicalize_excludes()
{
    for (auto* excludes : {&run_options.excludes, &run_options.persistent_excludes}) {
        std::unordered_set<std::string> canonical;
        for (std::string path : *excludes) {
            canonicalize_in_place(path);
            canonical.insert(std::move(path));
        }
        excludes->swap(canonical);
    }
}
