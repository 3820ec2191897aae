#include "program.h"

#include "driver/resources.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const int writing = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;

// The streams a program gets, as descriptors of the test's own.
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

int named_or_null(const std::string& file)
{
    return open(file.empty() ? "/dev/null" : file.c_str(), writing, 0600);
}

// The stream's descriptor: the named file, or an unnamed one to read back.
int named_or_held(const std::string& file, FilePtr& held)
{
    if (!file.empty())
        return open(file.c_str(), writing, 0600);
    held.reset(std::tmpfile());
    return held ? fileno(held.get()) : -1;
}

std::string read_back(FILE* file)
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
    Streams streams{open("/dev/null", O_RDONLY | O_CLOEXEC), named_or_null(program.out),
                    named_or_null(program.err)};
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
    FilePtr in(std::tmpfile()), out, err;
    if (in) {
        std::fwrite(input.data(), 1, input.size(), in.get());
        std::fflush(in.get());
        std::rewind(in.get());
    }
    Streams streams{in ? fileno(in.get()) : -1, named_or_held(program.out, out),
                    named_or_held(program.err, err)};
    ProgramRun run = finish_program(spawn(program, streams));
    if (!out)
        close(streams.out);
    if (!err)
        close(streams.err);
    run.out = read_back(out.get());
    run.err = read_back(err.get());
    return run;
}
