// SPDX-License-Identifier: MIT
// cdsctl: the store's own command, for people, tests, the demo and
// benchmarks. Its commands, their table and main; the import and export
// lines are in lines.cpp, what both use in cdsctl.cpp.
#include "cdsctl/cdsctl.h"
#include "common/escape.h"
#include "common/replace_file.h"
#include "common/standard_streams.h"
#include "common/typed_element.h"
#include "libcds/admin.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

using cds_store::Result;

namespace
{

using Handler = int (*)(toolkit::CCds& cds, const CommandArgs& args);
// Reports arguments that cannot be run: EXIT_OK or a usage error.
using Checker = int (*)(const CommandArgs& args);

struct Command {
    const char* name;
    const char* synopsis;
    const char* summary;
    std::size_t min_operands;
    std::size_t max_operands;
    bool takes_property;
    // Writing commands make a missing store; reading ones must find one.
    cds_store::Opening opening;
    Handler run;
    Checker check;
};

int check_type(const CommandArgs& args)
{
    if (pcd_str_to_enum(args.operands[1].c_str()) == DATA_TYPE_NONE)
        return report_failure(EXIT_USAGE, "set: unknown type '%s'", args.operands[1].c_str());
    return EXIT_OK;
}

int finish_write(pcd_handle_t handle, const std::string& path, Result outcome)
{
    if (outcome == Result::ok && cds_store::commit_batch(handle) == Result::ok)
        return EXIT_OK;
    cds_store::rollback_batch(handle);
    return report_store_failure(handle, path,
                                outcome == Result::ok ? Result::store_failed : outcome);
}

int run_set(toolkit::CCds& cds, const CommandArgs& args)
{
    const std::string& path = args.operands[0];
    const std::string& type_name = args.operands[1];
    toolkit::CElement value;
    if (typed_element(type_name, args.operands[2], value) != TextConversion::ok)
        return report_failure(EXIT_FAILURE_OTHER, "%s: '%s' is not a valid %s value", path.c_str(),
                              args.operands[2].c_str(), type_name.c_str());
    if (cds_store::begin_batch(cds.handle) != Result::ok)
        return report_store_failure(cds.handle, path, Result::store_failed);
    return finish_write(
        cds.handle, path,
        cds_store::put_leaf(cds.handle, path, value, args.property, "cdsctl", cds_store::now()));
}

int run_mknode(toolkit::CCds& cds, const CommandArgs& args)
{
    const std::string& path = args.operands[0];
    if (cds_store::begin_batch(cds.handle) != Result::ok)
        return report_store_failure(cds.handle, path, Result::store_failed);
    int property = args.property == cds_store::keep_property ? 0 : args.property;
    return finish_write(cds.handle, path, cds_store::put_node(cds.handle, path, property));
}

// Runs visit on the data point at path; fails for a node or nothing.
int with_data_point(toolkit::CCds& cds, const std::string& path,
                    void (*visit)(const cds_store::Entry& entry))
{
    bool is_node = false;
    Result result = cds_store::find(cds.handle, path, [&](const cds_store::Entry& entry) {
        is_node = entry.kind == ELEMENT_TYPE_NODE;
        if (!is_node)
            visit(entry);
        return true;
    });
    if (result == Result::missing)
        return report_failure(EXIT_FAILURE_OTHER, "%s: no such data point", path.c_str());
    if (result != Result::ok)
        return report_store_failure(cds.handle, path, Result::store_failed);
    if (is_node)
        return report_failure(EXIT_FAILURE_OTHER, "%s: is a node, not a data point", path.c_str());
    return EXIT_OK;
}

void print_value(const cds_store::Entry& entry)
{
    std::printf("%s\n", entry_value_text(entry).c_str());
}

// The source is any text a writer gave; escaped, it stays one field of one line.
void print_stat(const cds_store::Entry& entry)
{
    std::string source;
    append_escaped(source, entry.source);
    std::printf("%s\t%d\t%u.%06u\t%s\n", type_name_or_invalid(entry.type), entry.property,
                entry.time.seconds, entry.time.microseconds, source.c_str());
}

int run_get(toolkit::CCds& cds, const CommandArgs& args)
{
    return with_data_point(cds, args.operands[0], print_value);
}

int run_stat(toolkit::CCds& cds, const CommandArgs& args)
{
    return with_data_point(cds, args.operands[0], print_stat);
}

int run_ls(toolkit::CCds& cds, const CommandArgs& args)
{
    std::string path = args.operands.empty() ? "/" : args.operands[0];
    api_status_t status = API_STATUS_ABSENT;
    std::vector<ChildEntry> children;
    if (cds.list_node(path, status, children) != 0)
        return report_store_failure(cds.handle, path, Result::store_failed);
    if (status != API_STATUS_EXISTS)
        return report_failure(EXIT_FAILURE_OTHER, "%s: no such node", path.c_str());
    std::string prefix = path.back() == '/' ? path : path + "/";
    std::vector<std::string> leaf_paths;
    for (const ChildEntry& child : children)
        if (child.type == ELEMENT_TYPE_LEAF)
            leaf_paths.push_back(prefix + child.name);
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> elements;
    std::vector<element_property_t> properties;
    if (!leaf_paths.empty() && cds.get_leaves(leaf_paths, statuses, elements, properties) != 0)
        return report_store_failure(cds.handle, path, Result::store_failed);
    std::size_t leaf = 0;
    for (const ChildEntry& child : children) {
        const char* type_name = "-";
        if (child.type == ELEMENT_TYPE_LEAF)
            type_name = type_name_or_invalid(elements[leaf++].type());
        std::printf("%s\t%d\t%s\t%s\n", child.type == ELEMENT_TYPE_NODE ? "node" : "leaf",
                    child.property, type_name, child.name.c_str());
    }
    return EXIT_OK;
}

// The operands, with "-" standing for the lines of standard input, one
// path each, escaped as cdsdiff writes them; empty lines are skipped, so
// that an empty list removes nothing.
int collect_paths(const CommandArgs& args, std::vector<std::string>& paths)
{
    for (const std::string& operand : args.operands) {
        if (operand != "-") {
            paths.push_back(operand);
            continue;
        }
        int status = for_each_line(stdin, [&](std::string_view line) -> int {
            if (line.empty())
                return EXIT_OK;
            if (!unescape_value(line, paths.emplace_back()))
                return report_failure(EXIT_FAILURE_OTHER, "stdin: %s: an unknown escape",
                                      std::string(line).c_str());
            return EXIT_OK;
        });
        if (status != EXIT_OK)
            return status;
        if (std::ferror(stdin))
            return report_failure(EXIT_FAILURE_OTHER, "stdin: %s", std::strerror(errno));
    }
    return EXIT_OK;
}

int run_rm(toolkit::CCds& cds, const CommandArgs& args)
{
    std::vector<std::string> paths;
    int status = collect_paths(args, paths);
    if (status != EXIT_OK)
        return status;
    std::size_t failed = 0;
    Result outcome = cds_store::remove_entries(cds.handle, paths, failed);
    if (outcome == Result::ok)
        return EXIT_OK;
    return report_store_failure(cds.handle, failed < paths.size() ? paths[failed] : "stdin",
                                outcome);
}

int run_backup(toolkit::CCds& cds, const CommandArgs& args)
{
    std::string error;
    if (cds_store::backup(cds.handle, args.operands[0], error) != Result::ok)
        return report_failure(EXIT_FAILURE_OTHER, "%s: backup failed: %s", args.operands[0].c_str(),
                              error.c_str());
    return EXIT_OK;
}

int run_restore(toolkit::CCds& cds, const CommandArgs& args)
{
    std::string error;
    if (cds_store::restore(cds.handle, args.operands[0], error) != Result::ok)
        return report_failure(EXIT_FAILURE_OTHER, "%s: restore failed: %s",
                              args.operands[0].c_str(), error.c_str());
    return EXIT_OK;
}

// Opening the store with Opening::create_new has done the work.
int run_init(toolkit::CCds&, const CommandArgs&)
{
    return EXIT_OK;
}

using cds_store::Opening;
const Opening reads = Opening::existing;
const Opening writes = Opening::create_missing;

const Command commands[] = {
    {"init", "", "create a new, empty store", 0, 0, false, Opening::create_new, run_init, nullptr},
    {"set", "PATH TYPE VALUE [--property N]", "create or replace a data point", 3, 3, true, writes,
     run_set, check_type},
    {"mknode", "PATH [--property N]", "create a node", 1, 1, true, writes, run_mknode, nullptr},
    {"get", "PATH", "print a data point's value", 1, 1, false, reads, run_get, nullptr},
    {"stat", "PATH", "print a data point's type, property, time and source", 1, 1, false, reads,
     run_stat, nullptr},
    {"ls", "[PATH]", "list a node's children", 0, 1, false, reads, run_ls, nullptr},
    {"rm", "PATH... | -", "remove data points, and nodes with everything under them", 1, SIZE_MAX,
     false, reads, run_rm, nullptr},
    {"import", "[FILE | -]", "add the lines of FILE or standard input, all or none", 0, 1, false,
     writes, run_import, nullptr},
    {"export", "[PATH]", "write PATH and everything under it as lines", 0, 1, false, reads,
     run_export, nullptr},
    {"backup", "FILE", "copy the store to FILE", 1, 1, false, reads, run_backup, nullptr},
    {"restore", "FILE", "replace the store's contents with FILE's", 1, 1, false, writes,
     run_restore, nullptr},
};

void print_usage(FILE* out)
{
    std::fprintf(out, "usage: cdsctl COMMAND [ARGUMENTS]\n\n");
    for (const Command& command : commands) {
        std::string head = std::string(command.name) + " " + command.synopsis;
        std::fprintf(out, "  %-38s %s\n", head.c_str(), command.summary);
    }
    std::fprintf(out, "  %-38s %s\n", "version", "print the version");
    std::fprintf(out, "  %-38s %s\n\n", "help", "show this text");
    std::fprintf(out,
                 "A line is PATH<TAB>TYPE<TAB>PROPERTY<TAB>VALUE, TYPE \"node\" with no VALUE\n"
                 "for a node; VALUE escapes \\\\, \\t, \\n, \\r and \\xHH.\n");
    std::fprintf(out, "TYPE is bool, int32, uint32, int64, uint64, string, double, ipv4, ipv6,\n"
                      "mac or binary; N is a property in 0..255 (by default 0, or what a data\n"
                      "point has). The store is the file named by CDS_STORE (default\n"
                      "/var/lib/cds/store.db).\n"
                      "Exit status: 0 done, 1 usage error, 2 any other failure.\n");
}

const Command* find_command(const char* name)
{
    for (const Command& command : commands)
        if (std::strcmp(command.name, name) == 0)
            return &command;
    return nullptr;
}

// The index-th word of the synopsis, the operand that is missing.
std::string synopsis_word(const char* synopsis, std::size_t index)
{
    std::string word;
    for (const char* at = synopsis; *at; ++at) {
        if (*at != ' ') {
            word += *at;
        } else if (index-- == 0) {
            break;
        } else {
            word.clear();
        }
    }
    return word;
}

// Names what is missing, or the first word too many, then the usage.
int operand_count_failure(const Command& command, const CommandArgs& args)
{
    std::string fault = args.operands.size() < command.min_operands
                            ? "missing " + synopsis_word(command.synopsis, args.operands.size())
                            : "unexpected '" + args.operands[command.max_operands] + "'";
    return report_failure(EXIT_USAGE, "%s: %s; usage: cdsctl %s%s%s", command.name, fault.c_str(),
                          command.name, *command.synopsis ? " " : "", command.synopsis);
}

// --property N or --property=N; i moves past what it takes.
int read_property_option(const Command& command, int argc, char** argv, int& i, CommandArgs& args)
{
    const char* value = std::strchr(argv[i], '=');
    if (value)
        ++value;
    else if (i + 1 < argc)
        value = argv[++i];
    else
        return report_failure(EXIT_USAGE, "%s: --property wants a number in 0..255", command.name);
    if (!read_property_number(value, args.property))
        return report_failure(EXIT_USAGE, "%s: --property wants a number in 0..255, not '%s'",
                              command.name, value);
    return EXIT_OK;
}

bool is_property_option(const char* arg)
{
    return std::strcmp(arg, "--property") == 0 || std::strncmp(arg, "--property=", 11) == 0;
}

// Reads the command line into command and args; EXIT_OK or a usage error.
int parse_command_line(int argc, char** argv, const Command*& command, CommandArgs& args)
{
    if (argc < 2)
        return report_failure(EXIT_USAGE, "no command (see 'cdsctl help')");
    command = find_command(argv[1]);
    if (!command)
        return report_failure(EXIT_USAGE, "unknown command '%s' (see 'cdsctl help')", argv[1]);
    bool options_done = false;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (options_done || std::strncmp(arg, "--", 2) != 0) {
            args.operands.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (!is_property_option(arg) || !command->takes_property) {
            return report_failure(EXIT_USAGE, "%s: unknown option '%s'", command->name, arg);
        } else if (int status = read_property_option(*command, argc, argv, i, args)) {
            return status;
        }
    }
    if (args.operands.size() < command->min_operands ||
        args.operands.size() > command->max_operands)
        return operand_count_failure(*command, args);
    return command->check ? command->check(args) : EXIT_OK;
}

// Output that never reached its file must not pass for success. A write
// that failed before this flush has left no reason in errno.
int finish_output(int status)
{
    bool failed_earlier = std::ferror(stdout) != 0;
    int error = std::fflush(stdout) == 0 ? 0 : errno;
    if (status != EXIT_OK || (!failed_earlier && error == 0))
        return status;
    return report_output_failure(error);
}

int open_the_store(toolkit::CCds& cds, const Command& command)
{
    std::string file = cds_store::store_file();
    bool created = false;
    std::string why;
    cds.handle = cds_store::open_store(file, command.opening, created, why);
    if (!cds.handle)
        return report_failure(EXIT_FAILURE_OTHER, "%s: cannot %s the store: %s", file.c_str(),
                              command.opening == Opening::create_new ? "create" : "open",
                              why.c_str());
    // Said, so that a mistyped CDS_STORE does not pass unseen.
    if (created && command.opening != Opening::create_new)
        report_failure(EXIT_OK, "created a new store at '%s'", file.c_str());
    return EXIT_OK;
}

bool is_help(const char* arg)
{
    return std::strcmp(arg, "help") == 0 || std::strcmp(arg, "-h") == 0 ||
           std::strcmp(arg, "--help") == 0;
}

bool is_version(const char* arg)
{
    return std::strcmp(arg, "version") == 0 || std::strcmp(arg, "--version") == 0;
}

int run(int argc, char** argv)
{
    if (!keep_standard_streams_taken())
        return EXIT_FAILURE_OTHER;
    if (argc >= 2 && (is_help(argv[1]) || is_version(argv[1]))) {
        if (argc > 2)
            return report_failure(EXIT_USAGE, "%s: unexpected '%s'", argv[1], argv[2]);
        if (is_help(argv[1]))
            print_usage(stdout);
        else
            std::printf("cdsctl: version %s\n", CDSXML_VERSION);
        return finish_output(EXIT_OK);
    }
    const Command* command = nullptr;
    CommandArgs args;
    int status = parse_command_line(argc, argv, command, args);
    if (status != EXIT_OK)
        return status;

    toolkit::CCds cds;
    status = open_the_store(cds, *command);
    if (status != EXIT_OK)
        return status;
    status = command->run(cds, args);
    pcd_close(cds.handle);
    cds.handle = nullptr;
    return finish_output(status);
}

} // namespace

// Allocation fails like anything else: with a message, status 2, and a
// backup's destination as it was.
int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        abandon_replacement();
        std::fputs("Error: out of memory\n", stderr);
        return EXIT_FAILURE_OTHER;
    }
}
