#include "stress_support.h"

#include <expat.h>
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>

extern char** environ;

pid_t start(const Command& command)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, command.in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, command.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, command.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    for (const std::string& arg : command.args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

Finished finish(pid_t pid)
{
    Finished how;
    int status = 0;
    rusage usage{};
    if (pid == 0 || pid < -1)
        return how;
    how.pid = wait4(pid, &status, 0, &usage);
    if (how.pid <= 0)
        return how;
    how.max_rss_kb = usage.ru_maxrss;
    if (WIFEXITED(status))
        how.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        how.signal = WTERMSIG(status);
    return how;
}

Ran run(const std::string& dir, const std::vector<std::string>& args, const std::string& input)
{
    Command command{args, dir + "/run.in", dir + "/run.out", dir + "/run.err"};
    write_file(command.in, input);
    Ran ran;
    ran.how = finish(start(command));
    ran.out = read_file(command.out);
    ran.err = read_file(command.err);
    return ran;
}

namespace
{

struct CloseDatabase {
    void operator()(sqlite3* db) const
    {
        sqlite3_close(db);
    }
};

struct FreeParser {
    void operator()(XML_ParserStruct* parser) const
    {
        XML_ParserFree(parser);
    }
};

struct CloseFile {
    void operator()(FILE* file) const
    {
        std::fclose(file);
    }
};

int add_row(void* result, int columns, char** values, char**)
{
    for (int i = 0; i < columns; ++i)
        *static_cast<std::string*>(result) += values[i] ? values[i] : "NULL";
    return 0;
}

// The node paths open in the document, innermost last.
struct DumpReader {
    std::vector<std::string> open;
    DumpCount count;
};

const char* attribute(const XML_Char** attributes, const char* name)
{
    for (int i = 0; attributes[i]; i += 2)
        if (std::strcmp(attributes[i], name) == 0)
            return attributes[i + 1];
    return nullptr;
}

void XMLCALL on_start(void* data, const XML_Char* element, const XML_Char** attributes)
{
    auto& reader = *static_cast<DumpReader*>(data);
    std::string here = reader.open.empty() ? "" : reader.open.back();
    if (std::strcmp(element, "node") == 0) {
        const char* root = attribute(attributes, "root");
        const char* name = attribute(attributes, "name");
        if (root)
            here = std::strcmp(root, "/") == 0 ? "" : root;
        else if (name)
            here += std::string("/") + name;
    } else if (std::strcmp(element, "attr") == 0) {
        ++reader.count.data_points[here.empty() ? "/" : here];
    }
    reader.open.push_back(here);
}

void XMLCALL on_end(void* data, const XML_Char*)
{
    static_cast<DumpReader*>(data)->open.pop_back();
}

} // namespace

std::string integrity_check(const std::string& store_file)
{
    sqlite3* raw = nullptr;
    int opened = sqlite3_open_v2(store_file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, CloseDatabase> db(raw);
    if (opened != SQLITE_OK)
        return "cannot open " + store_file;
    sqlite3_busy_timeout(db.get(), 5000);
    std::string result;
    if (sqlite3_exec(db.get(), "PRAGMA integrity_check", add_row, &result, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db.get());
    return result;
}

DumpCount count_data_points(const std::string& file)
{
    DumpReader reader;
    std::unique_ptr<XML_ParserStruct, FreeParser> parser(XML_ParserCreate(nullptr));
    std::unique_ptr<FILE, CloseFile> in(std::fopen(file.c_str(), "rb"));
    if (!parser || !in) {
        reader.count.error = "cannot read " + file;
        return reader.count;
    }
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(parser.get(), on_start, on_end);
    char piece[65536];
    std::size_t length = 0;
    do {
        length = std::fread(piece, 1, sizeof piece, in.get());
        if (XML_Parse(parser.get(), piece, static_cast<int>(length), length == 0) !=
            XML_STATUS_OK) {
            reader.count.error = std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) +
                                 " at line " +
                                 std::to_string(XML_GetCurrentLineNumber(parser.get()));
            break;
        }
    } while (length > 0);
    return reader.count;
}

unsigned test_seed()
{
    const char* given = std::getenv("STRESS_SEED");
    unsigned seed =
        given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device()();
    std::cout << "seed " << seed << " (repeat with STRESS_SEED=" << seed << ")\n";
    return seed;
}
