#include "program.h"

#include "driver/resources.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

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

// The program's streams that run_program holds: unnamed files, or null
// where the program names a file of its own.
struct Streams {
    FilePtr in;
    FilePtr out;
    FilePtr err;
};

// An unnamed file that the program inherits only as one of its streams.
FilePtr unnamed_file()
{
    FilePtr file(std::tmpfile());
    if (file)
        fcntl(fileno(file.get()), F_SETFD, FD_CLOEXEC);
    return file;
}

void set_stream(SpawnActions& spawn, int fd, FILE* held, const std::string& file, int flags)
{
    if (held)
        posix_spawn_file_actions_adddup2(&spawn.actions, fileno(held), fd);
    else
        posix_spawn_file_actions_addopen(&spawn.actions, fd,
                                         file.empty() ? "/dev/null" : file.c_str(), flags, 0600);
}

// The test's environment with CDS_STORE replaced; the strings live in
// entries, which the caller keeps alive while the program starts.
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

pid_t spawn(const Program& program, const Streams& held)
{
    if (program.args.empty())
        return -1;
    SpawnActions spawn;
    const int writing = O_WRONLY | O_CREAT | O_TRUNC;
    set_stream(spawn, STDIN_FILENO, held.in.get(), program.in, O_RDONLY);
    set_stream(spawn, STDOUT_FILENO, held.out.get(), program.out, writing);
    set_stream(spawn, STDERR_FILENO, held.err.get(), program.err, writing);
    if (!program.dir.empty())
        posix_spawn_file_actions_addchdir_np(&spawn.actions, program.dir.c_str());

    std::vector<char*> argv;
    for (const std::string& arg : program.args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> entries;
    std::vector<char*> envp;
    if (!program.store.empty())
        envp = environment_with_store(entries, program.store);

    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &spawn.actions, nullptr, argv.data(),
                    envp.empty() ? environ : envp.data()) != 0)
        return -1;
    return pid;
}

std::string read_whole(FILE* file)
{
    std::string text;
    if (!file)
        return text;
    std::rewind(file);
    char piece[65536];
    std::size_t length;
    while ((length = std::fread(piece, 1, sizeof piece, file)) > 0)
        text.append(piece, length);
    return text;
}

} // namespace

pid_t start_program(const Program& program)
{
    return spawn(program, Streams());
}

ProgramRun finish_program(pid_t pid)
{
    ProgramRun run;
    int status = 0;
    rusage usage{};
    if (pid == 0 || pid < -1)
        return run;
    run.pid = wait4(pid, &status, 0, &usage);
    if (run.pid <= 0)
        return run;
    run.max_rss_kb = usage.ru_maxrss;
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

ProgramRun run_program(const Program& program, const std::string& input)
{
    Streams held;
    if (program.in.empty()) {
        held.in = unnamed_file();
        if (held.in) {
            std::fwrite(input.data(), 1, input.size(), held.in.get());
            std::fflush(held.in.get());
            std::rewind(held.in.get());
        }
    }
    if (program.out.empty())
        held.out = unnamed_file();
    if (program.err.empty())
        held.err = unnamed_file();

    pid_t pid = spawn(program, held);
    if (pid < 0) {
        ProgramRun run;
        run.err = "cannot start " + (program.args.empty() ? "nothing" : program.args[0]);
        return run;
    }
    ProgramRun run = finish_program(pid);
    run.out = read_whole(held.out.get());
    run.err = read_whole(held.err.get());
    return run;
}
