// SPDX-License-Identifier: MIT
#include "driver/command_line.h"
#include "driver/run_options.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

RunOptions run_options;

namespace
{

void reset_run_options()
{
    RunOptions& o = run_options;
    o.mode = RunMode::none;
    o.file_path.clear();
    o.include_sensitive = false;
    o.recursive_paths.clear();
    o.non_recursive_paths.clear();
    o.persistent_recursive_paths.clear();
    o.persistent_non_recursive_paths.clear();
    o.excludes.clear();
    o.persistent_excludes.clear();
    o.load_persistent_only = false;
    o.only_existing = false;
    o.source.clear();
}

const char* const version = CDSXML_VERSION;

void print_version(const char* program)
{
    std::printf("%s: version %s\n", program, version);
    std::printf("Build date: %s %s\n", CDSXML_BUILD_DATE, CDSXML_BUILD_TIME);
    std::printf("%s\n", "$Revision: 45901 $\n");
}

void print_usage(const char* program)
{
    std::fprintf(stderr, "Usage:\n");
    std::fprintf(stderr,
                 "%s [-f <destination file>] [-s] [-p <path> [-p <path> ...]] [-n <path> [-n "
                 "<path> ...]] [-x <path> [-x <path> ...]] [-c ...]\n",
                 program);
    std::fprintf(stderr, "%s -l <source file> [-r] [-c] [-i <source>]\n", program);
    std::fprintf(stderr, "%s -v\n\n", program);
    std::fprintf(
        stderr,
        "The first usage case dumps the output of the CDS to XML - either to a file\n(if '-f' "
        "is specified), or to stdout. \"Sensitive\" paths (those containing\npasswords, etc.) "
        "will be omitted unless '-s' is specified. If '-p' is\ngiven, only data under <path> is "
        "dumped (there can be multiple such paths).\n'-n' is the same, except that it is "
        "non-recursive - only attributes up to 0-1\nlevels under the given node are dumped.  If "
        "specific directories need to be\nexcluded from the dump, '-x' can be used to listthem.  "
        "If '-c' is specified,\nonly persistent data points are dumped for all paths which "
        "follow it; any\nnumber of '-p', '-n', and '-x' options may precede or follow '-c',\n"
        "allowing for flexible mixing of general data with persistent-only data.\n\n");
    std::fprintf(
        stderr,
        "The second usage case loads values from the given XML file into the CDS.\nIf '-r' is "
        "specified, only data points which already exist will be altered.\nIf '-i' is "
        "specified, <source> will be used as the 'source' field for the\ncall to set_leaves().  "
        "If '-c' is specified, only persistent data points will\nbe loaded into the CDS "
        "(non-persistent ones will be ignored).\n\n");
    std::fprintf(stderr, "-v: print version info. to stdout and exit\n\n");
}

// What the parser keeps between options.
struct ParseState {
    // Whether a -c has been seen: later -p, -n and -x select persistent data only.
    bool persistent_seen = false;
    bool version_asked = false;
};

bool never(RunMode)
{
    return false;
}

bool dumping(RunMode mode)
{
    return mode == RunMode::dump;
}

bool loading(RunMode mode)
{
    return mode == RunMode::load;
}

bool not_loading(RunMode mode)
{
    return mode != RunMode::load;
}

void ask_version(ParseState& state, const std::string&)
{
    state.version_asked = true;
}

void include_sensitive(ParseState&, const std::string&)
{
    run_options.include_sensitive = true;
    run_options.mode = RunMode::dump;
}

void set_destination(ParseState&, const std::string& path)
{
    run_options.file_path = path;
    run_options.mode = RunMode::dump;
}

void add_dump_path(const ParseState& state, std::vector<std::string>& plain,
                   std::vector<std::string>& persistent, const std::string& path)
{
    (state.persistent_seen ? persistent : plain).push_back(path);
    run_options.mode = RunMode::dump;
}

void add_recursive_path(ParseState& state, const std::string& path)
{
    add_dump_path(state, run_options.recursive_paths, run_options.persistent_recursive_paths, path);
}

void add_non_recursive_path(ParseState& state, const std::string& path)
{
    add_dump_path(state, run_options.non_recursive_paths,
                  run_options.persistent_non_recursive_paths, path);
}

void add_exclude(ParseState& state, const std::string& path)
{
    (state.persistent_seen ? run_options.persistent_excludes : run_options.excludes).insert(path);
    run_options.mode = RunMode::dump;
}

// A load option after -l; before it, the mark that makes later dump paths
// persistent only.
void mark_persistent(ParseState& state, const std::string&)
{
    if (run_options.mode == RunMode::load)
        run_options.load_persistent_only = true;
    else
        state.persistent_seen = true;
}

void set_load_file(ParseState&, const std::string& path)
{
    run_options.file_path = path;
    run_options.mode = RunMode::load;
}

void keep_only_existing(ParseState&, const std::string&)
{
    run_options.only_existing = true;
}

void set_source(ParseState&, const std::string& source)
{
    run_options.source = source;
}

// An option is refused, and the usage shown, in the modes its refused_when
// names, or when the argument it takes is missing or empty.
struct Option {
    const char* name;
    bool takes_argument;
    bool (*refused_when)(RunMode mode);
    void (*effect)(ParseState& state, const std::string& argument);
};

const Option options[] = {
    {"-v", false, never, ask_version},
    {"-s", false, loading, include_sensitive},
    {"-f", true, loading, set_destination},
    {"-p", true, loading, add_recursive_path},
    {"-n", true, loading, add_non_recursive_path},
    {"-x", true, loading, add_exclude},
    {"-c", false, never, mark_persistent},
    {"-l", true, dumping, set_load_file},
    {"-r", false, not_loading, keep_only_existing},
    {"-i", true, dumping, set_source},
};

const Option* find_option(const char* word)
{
    for (const Option& option : options)
        if (std::strcmp(word, option.name) == 0)
            return &option;
    return nullptr;
}

// The word after the option; false when it is missing or empty.
bool take_argument(int argc, char** argv, int& next, std::string& argument)
{
    if (next >= argc || argv[next][0] == '\0')
        return false;
    argument = argv[next++];
    return true;
}

} // namespace

ParseOutcome parse_command_line(int argc, char** argv)
{
    reset_run_options();
    ParseState state;
    int next = 1;
    while (next < argc) {
        const Option* option = find_option(argv[next++]);
        std::string argument;
        if (!option || option->refused_when(run_options.mode) ||
            (option->takes_argument && !take_argument(argc, argv, next, argument))) {
            print_usage(argv[0]);
            return ParseOutcome::usage_shown;
        }
        option->effect(state, argument);
        if (state.version_asked) {
            print_version(argv[0]);
            return ParseOutcome::version_shown;
        }
    }
    return ParseOutcome::run;
}
