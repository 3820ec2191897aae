// SPDX-License-Identifier: MIT
#include "program.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// The program's standard streams, as descriptors of the test's own.
struct Streams {
    int in;
    int out;
    int err;
};

pid_t spawn(const Program& program, Streams streams)
{
    if (program.args.empty())
        return -1;
    std::vector<char*> argv;
    for (const std::string& arg : program.args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    dup2(streams.in, STDIN_FILENO);
    dup2(streams.out, STDOUT_FILENO);
    dup2(streams.err, STDERR_FILENO);
    if (!program.store.empty())
        setenv("CDS_STORE", program.store.c_str(), 1);
    if (program.dir.empty() || chdir(program.dir.c_str()) == 0)
        execv(argv[0], argv.data());
    _exit(127);
}

// The named file, or else the fallback; an empty fallback is a file in memory.
int open_stream(const std::string& file, const char* fallback)
{
    const char* name = !file.empty() ? file.c_str() : fallback;
    if (!*name)
        return memfd_create("stream", MFD_CLOEXEC);
    return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

// What a file in memory holds, if wanted; closes it either way.
std::string read_back(int fd, bool wanted)
{
    std::string text;
    char piece[65536];
    ssize_t length;
    lseek(fd, 0, SEEK_SET);
    while (wanted && (length = read(fd, piece, sizeof piece)) > 0)
        text.append(piece, length);
    close(fd);
    return text;
}

} // namespace

pid_t start_program(const Program& program)
{
    Streams streams{open("/dev/null", O_RDONLY | O_CLOEXEC), open_stream(program.out, "/dev/null"),
                    open_stream(program.err, "/dev/null")};
    pid_t pid = spawn(program, streams);
    for (int fd : {streams.in, streams.out, streams.err})
        close(fd);
    return pid;
}

ProgramRun finish_program(pid_t pid)
{
    ProgramRun run;
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return run;
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

ProgramRun run_program(const Program& program, const std::string& input)
{
    Streams streams{open_stream("", ""), open_stream(program.out, ""),
                    open_stream(program.err, "")};
    if (write(streams.in, input.data(), input.size()) == static_cast<ssize_t>(input.size()))
        lseek(streams.in, 0, SEEK_SET);
    ProgramRun run = finish_program(spawn(program, streams));
    close(streams.in);
    run.out = read_back(streams.out, program.out.empty());
    run.err = read_back(streams.err, program.err.empty());
    return run;
}
