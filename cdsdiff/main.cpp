// SPDX-License-Identifier: MIT
// cdsdiff: what loading a document would change in the store, or between
// two documents.
#include "cdsdiff/compare.h"
#include "common/report.h"
#include "common/standard_streams.h"
#include "driver/resources.h"
#include "driver/run_options.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace
{

// The command line, checked whole before anything is opened.
struct DiffOptions {
    bool exact = false;
    bool only_existing = false;
    bool has_excludes = false;
    std::vector<std::string> files;
};

void print_usage()
{
    std::fputs("Usage:\n"
               "cdsdiff [-c] [-r] [-s] [-e] [-x <path>]... <file>\n"
               "cdsdiff [-c] [-s] <old file> <new file>\n",
               stderr);
}

// False for a word it does not know, a missing argument, or options that
// only a comparison with the store takes given with two documents.
bool parse_command_line(int argc, char** argv, DiffOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (std::strcmp(word, "-c") == 0) {
            run_options.load_persistent_only = true;
        } else if (std::strcmp(word, "-r") == 0) {
            options.only_existing = true;
        } else if (std::strcmp(word, "-s") == 0) {
            run_options.include_sensitive = true;
        } else if (std::strcmp(word, "-e") == 0) {
            options.exact = true;
        } else if (std::strcmp(word, "-x") == 0) {
            if (++i == argc || argv[i][0] == '\0')
                return false;
            run_options.excludes.insert(argv[i]);
            run_options.persistent_excludes.insert(argv[i]);
            options.has_excludes = true;
        } else if (word[0] == '-' && word[1] != '\0') {
            return false;
        } else {
            options.files.push_back(word);
        }
    }
    if (options.files.size() == 2)
        return !options.exact && !options.only_existing && !options.has_excludes;
    return options.files.size() == 1 && (options.exact || !options.has_excludes);
}

FILE* open_document(const std::string& path)
{
    FILE* in = std::fopen(path.c_str(), "r");
    if (!in)
        report_error("can't open file at '%s'", path.c_str());
    return in;
}

int compare_two(const DiffOptions& options)
{
    FilePtr old_in(open_document(options.files[0]));
    FilePtr new_in(old_in ? open_document(options.files[1]) : nullptr);
    if (!new_in)
        return 2;
    return compare_documents(old_in.get(), new_in.get(), options.files[0], options.files[1]);
}

int compare_one(const DiffOptions& options)
{
    run_options.only_existing = options.only_existing;
    run_options.file_path = options.files[0];
    run_options.connection.handle = pcd_init();
    if (!run_options.connection.handle) {
        report_error("can't connect to CDS");
        return 2;
    }
    int result = 2;
    if (FilePtr in{open_document(options.files[0])})
        result = compare_with_store(in.get(), options.exact);
    pcd_close(run_options.connection.handle);
    run_options.connection.handle = nullptr;
    return result;
}

int run_cdsdiff(int argc, char** argv)
{
    DiffOptions options;
    if (!parse_command_line(argc, argv, options)) {
        print_usage();
        return 2;
    }
    return options.files.size() == 2 ? compare_two(options) : compare_one(options);
}

} // namespace

int main(int argc, char** argv)
{
    if (!keep_standard_streams_taken())
        return 2;
    try {
        return run_cdsdiff(argc, argv);
    } catch (const std::bad_alloc&) {
        report_error("out of memory");
        return 2;
    }
}
