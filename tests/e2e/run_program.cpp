#include "run_program.h"

#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

// The parent's environment with CDS_STORE replaced; the strings live in
// entries, which the caller keeps alive while the child starts.
std::vector<char*> environment_with_store(std::vector<std::string>& entries,
                                          const std::string& store)
{
    for (char** variable = environ; *variable; ++variable)
        if (std::string(*variable).rfind("CDS_STORE=", 0) != 0)
            entries.emplace_back(*variable);
    entries.push_back("CDS_STORE=" + store);
    std::vector<char*> pointers;
    for (std::string& entry : entries)
        pointers.push_back(entry.data());
    pointers.push_back(nullptr);
    return pointers;
}

class SpawnActions
{
  public:
    SpawnActions()
    {
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnActions()
    {
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    posix_spawn_file_actions_t actions;
};

} // namespace

ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& dir, const std::string& store, const std::string& input)
{
    const std::string in = dir + "/.stdin";
    const std::string out = dir + "/.stdout";
    const std::string err = dir + "/.stderr";
    write_file(in, input);

    SpawnActions spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&spawn.actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&spawn.actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addchdir_np(&spawn.actions, dir.c_str());

    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> entries;
    std::vector<char*> envp = environment_with_store(entries, store);

    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, program.c_str(), &spawn.actions, nullptr, argv.data(), envp.data()) !=
            0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return {-1, read_file(out), read_file(err)};
    return {WEXITSTATUS(status), read_file(out), read_file(err)};
}

bool file_exists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::string schema_errors(const std::vector<std::string>& documents, const std::string& dir)
{
    std::vector<std::string> args = {"--noout", "--relaxng", DUMP_RNG};
    args.insert(args.end(), documents.begin(), documents.end());
    ProgramRun run = run_program(XMLLINT, args, dir, dir + "/.unused-store");
    return run.status == 0 ? "" : "xmllint exit " + std::to_string(run.status) + ": " + run.err;
}

std::string first_difference(const std::string& expected, const std::string& actual)
{
    std::istringstream want(expected);
    std::istringstream got(actual);
    std::string want_line;
    std::string got_line;
    for (int line = 1;; ++line) {
        bool more_wanted = static_cast<bool>(std::getline(want, want_line));
        bool more_got = static_cast<bool>(std::getline(got, got_line));
        if (!more_wanted && !more_got)
            return expected == actual ? "" : "texts differ only in their last newline";
        if (more_wanted != more_got || want_line != got_line)
            return "line " + std::to_string(line) + ": expected \"" +
                   (more_wanted ? want_line : "<end>") + "\", got \"" +
                   (more_got ? got_line : "<end>") + "\"";
    }
}
