// SPDX-License-Identifier: MIT
#include "driver/run.h"
#include "common/replace_file.h"
#include "common/report.h"
#include "driver/command_line.h"
#include "driver/resources.h"
#include "driver/run_options.h"
#include "driver/streams.h"
#include "dump/document.h"
#include "dump/walker.h"
#include "load/batch.h"
#include "load/progress.h"
#include "load/xml_events.h"

#include <new>
#include <sys/stat.h>

namespace
{

const int load_piece_size = 8192;

void close_connection()
{
    pcd_close(run_options.connection.handle);
    run_options.connection.handle = nullptr;
}

// Dump paths are canonicalized too, so that child paths built from them can
// equal an exclude and meet the leaf filter's rules; a path with no
// canonical form is walked as given, to be reported missing. The root is
// walked as the empty path.
std::string walked_path(const std::string& given)
{
    std::string path = given;
    canonicalize_in_place(path);
    if (path.empty())
        path = given;
    if (path == "/")
        path.clear();
    return path;
}

struct Selection {
    std::vector<std::string>* paths;
    int max_depth;
    bool persistent_only;
};

// The result of the last path walked, or the first failure.
int dump_selections(FILE* out)
{
    RunOptions& o = run_options;
    const Selection selections[] = {
        {&o.recursive_paths, 0, false},
        {&o.non_recursive_paths, 2, false},
        {&o.persistent_recursive_paths, 0, true},
        {&o.persistent_non_recursive_paths, 2, true},
    };
    int result = 0;
    for (const Selection& selection : selections) {
        for (const std::string& given : *selection.paths) {
            std::string path = walked_path(given);
            result = dump_node(out, path, path, 1, selection.max_depth, selection.persistent_only);
            // The status alone stays 0 when a later path exists, and scripts
            // that dump optional subtrees rely on that; a typo must still show.
            if (result == 1)
                report_warning("no node at '%s'", given.c_str());
            if (result < 0)
                return result;
        }
    }
    return result;
}

bool no_dump_paths()
{
    const RunOptions& o = run_options;
    return o.recursive_paths.empty() && o.non_recursive_paths.empty() &&
           o.persistent_recursive_paths.empty() && o.persistent_non_recursive_paths.empty();
}

int run_dump()
{
    int result = -1;
    if (FILE* out = open_stream(true)) {
        result = dump_to(out);
        if (close_output(out, result == 0) != 0)
            result = -1;
    }
    close_connection();
    return result;
}

// Feeds the whole input to the parser; 0 when it was read and parsed to its end.
int parse_input(XML_Parser parser, FILE* in)
{
    for (;;) {
        void* buffer = XML_GetBuffer(parser, load_piece_size);
        if (!buffer) {
            report("XML_GetBuffer() failed");
            return -1;
        }
        std::size_t length = std::fread(buffer, 1, load_piece_size, in);
        // A read error must not pass for the end of the document.
        if (length == 0 && std::ferror(in)) {
            report_error("can't read file at '%s'", run_options.file_path.c_str());
            return -1;
        }
        if (XML_ParseBuffer(parser, static_cast<int>(length), length == 0) == XML_STATUS_ERROR) {
            report("XML_ParseBuffer() failed");
            report_error("%s at line %lu, column %lu", XML_ErrorString(XML_GetErrorCode(parser)),
                         XML_GetCurrentLineNumber(parser), XML_GetCurrentColumnNumber(parser));
            return -1;
        }
        if (length == 0)
            return 0;
    }
}

// Only a regular file can be read twice; a pipe, FIFO or terminal is read once.
bool is_regular_source(FILE* in, struct stat& info)
{
    int fd = fileno(in);
    return fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool same_file_state(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The open file is as it was, the path still names it, and it reads again
// from its start.
bool is_unchanged_source(FILE* in, const struct stat& before)
{
    struct stat now, named;
    if (fstat(fileno(in), &now) != 0 || !same_file_state(before, now))
        return false;
    const std::string& path = run_options.file_path;
    if (!path.empty() && (stat(path.c_str(), &named) != 0 || !same_file_state(before, named)))
        return false;
    return std::fseek(in, 0, SEEK_SET) == 0;
}

int run_load()
{
    int result = -1;
    if (FilePtr in{open_stream(false)}) {
        start_progress(in.get());
        result = load_from(in.get());
        stop_progress();
    }
    close_connection();
    return result;
}

} // namespace

int dump_to(FILE* out)
{
    RunOptions& o = run_options;
    canonicalize_excludes();

    write_declaration(out);
    write_document_start(out);
    if (no_dump_paths())
        o.recursive_paths.push_back("");
    int result = dump_selections(out);
    write_document_end(out);
    return result;
}

int read_document(FILE* in, const LoadEnd& end)
{
    load_end = end;
    XmlParserPtr parser(XML_ParserCreate(nullptr));
    if (!parser) {
        report_error("can't create XML parser");
        return -1;
    }
    start_load(parser.get());
    int parsed = parse_input(parser.get(), in);
    forget_parser();
    if (parsed != 0)
        return -1;
    flush_leaves(true);
    return batch_result();
}

int load_from(FILE* in, const LoadEnd& end)
{
    struct stat before;
    if (!is_regular_source(in, before))
        return read_document(in, end);
    // A document that does not read to its end is refused before anything
    // of it is acted on.
    mute_warnings(true);
    int checked = read_document(in, checking_end);
    mute_warnings(false);
    if (checked != 0)
        return -1;
    if (!is_unchanged_source(in, before)) {
        report_error("file at '%s' changed while it was read", run_options.file_path.c_str());
        return -1;
    }
    return read_document(in, end);
}

namespace
{

int run_checked(int argc, char** argv)
{
    switch (parse_command_line(argc, argv)) {
    case ParseOutcome::version_shown:
        return close_output(stdout, true);
    case ParseOutcome::usage_shown:
        return 1;
    case ParseOutcome::run:
        break;
    }
    if (!run_options.connection.handle)
        run_options.connection.handle = pcd_init();
    if (!run_options.connection.handle) {
        report_error("can't connect to CDS");
        return 1;
    }
    return run_options.mode == RunMode::load ? run_load() : run_dump();
}

} // namespace

// Allocation fails like anything else: with a message, and the destination
// as it was.
int run_cdsxml(int argc, char** argv)
{
    try {
        return run_checked(argc, argv);
    } catch (const std::bad_alloc&) {
        abandon_replacement();
        close_connection();
        report_error("out of memory");
        return -1;
    }
}
