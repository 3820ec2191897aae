#include "driver/command_line.h"
#include "driver/run_options.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

const char* const version = "2.0.0";

void print_version(const char* program)
{
    std::printf("%s: version %s\n", program, version);
    std::printf("Build date: %s %s\n", __DATE__, __TIME__);
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

// The words of the command line, one at a time.
struct Words {
    int argc;
    char** argv;
    int next;
    // Whether a -c has been seen: later -p, -n and -x select persistent data only.
    bool persistent_seen;
};

// The argument of the option just read; false when it is missing or empty.
bool take_argument(Words& words, std::string& argument)
{
    if (words.next >= words.argc || words.argv[words.next][0] == '\0')
        return false;
    argument = words.argv[words.next++];
    return true;
}

bool take_dump_path(Words& words, std::vector<std::string>& plain,
                    std::vector<std::string>& persistent)
{
    std::string path;
    if (run_options.mode == RunMode::load || !take_argument(words, path))
        return false;
    (words.persistent_seen ? persistent : plain).push_back(path);
    run_options.mode = RunMode::dump;
    return true;
}

bool take_option(Words& words, const char* option)
{
    RunOptions& o = run_options;
    if (std::strcmp(option, "-s") == 0) {
        if (o.mode == RunMode::load)
            return false;
        o.include_sensitive = true;
        o.mode = RunMode::dump;
        return true;
    }
    if (std::strcmp(option, "-f") == 0) {
        if (o.mode == RunMode::load || !take_argument(words, o.file_path))
            return false;
        o.mode = RunMode::dump;
        return true;
    }
    if (std::strcmp(option, "-p") == 0)
        return take_dump_path(words, o.recursive_paths, o.persistent_recursive_paths);
    if (std::strcmp(option, "-n") == 0)
        return take_dump_path(words, o.non_recursive_paths, o.persistent_non_recursive_paths);
    if (std::strcmp(option, "-x") == 0)
        return take_dump_path(words, o.excludes, o.persistent_excludes);
    if (std::strcmp(option, "-c") == 0) {
        if (o.mode == RunMode::load)
            o.load_persistent_only = true;
        else
            words.persistent_seen = true;
        return true;
    }
    if (std::strcmp(option, "-l") == 0) {
        if (o.mode == RunMode::dump || !take_argument(words, o.file_path))
            return false;
        o.mode = RunMode::load;
        return true;
    }
    if (std::strcmp(option, "-r") == 0) {
        if (o.mode != RunMode::load)
            return false;
        o.only_existing = true;
        return true;
    }
    if (std::strcmp(option, "-i") == 0)
        return o.mode != RunMode::dump && take_argument(words, o.source);
    return false;
}

} // namespace

ParseOutcome parse_command_line(int argc, char** argv)
{
    reset_run_options();
    Words words = {argc, argv, 1, false};
    while (words.next < argc) {
        const char* option = argv[words.next++];
        if (std::strcmp(option, "-v") == 0) {
            print_version(argv[0]);
            return ParseOutcome::version_shown;
        }
        if (!take_option(words, option)) {
            print_usage(argv[0]);
            return ParseOutcome::usage_shown;
        }
    }
    return ParseOutcome::run;
}
