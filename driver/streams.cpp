#include "driver/streams.h"
#include "driver/report.h"
#include "driver/run_options.h"

#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

// The signals that end a dump early; a dump to a file removes it first.
const int interrupting_signals[] = {SIGINT, SIGTERM, SIGHUP};
const std::size_t interrupting_signal_count = std::size(interrupting_signals);

// The regular file this run created or truncated as the dump's destination;
// path is null when there is none, so that nothing else is ever removed.
// The signal handler reads it: it is filled before the handler is armed.
struct OutputFile {
    const char* path = nullptr;
    dev_t device = 0;
    ino_t inode = 0;
    struct sigaction previous_actions[interrupting_signal_count];
};
OutputFile output_file;

// Only while the path still leads, through no link of its own, to the file
// that was opened: never a link, its target, a device, or a file put in its
// place since. Async-signal-safe.
void remove_output_file()
{
    struct stat info;
    if (output_file.path && lstat(output_file.path, &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_dev == output_file.device && info.st_ino == output_file.inode)
        unlink(output_file.path);
}

// The caller sees the dump die of the signal it sent, once the unterminated
// document is gone.
void remove_output_and_die(int signal_number)
{
    remove_output_file();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void arm_signal_handlers()
{
    struct sigaction action = {};
    action.sa_handler = remove_output_and_die;
    sigemptyset(&action.sa_mask);
    for (int signal_number : interrupting_signals)
        sigaddset(&action.sa_mask, signal_number);
    for (std::size_t i = 0; i < interrupting_signal_count; ++i) {
        struct sigaction& previous = output_file.previous_actions[i];
        sigaction(interrupting_signals[i], nullptr, &previous);
        // A signal ignored by whoever started the dump (nohup) stays ignored.
        if (previous.sa_handler != SIG_IGN)
            sigaction(interrupting_signals[i], &action, nullptr);
    }
}

void disarm_signal_handlers()
{
    for (std::size_t i = 0; i < interrupting_signal_count; ++i)
        sigaction(interrupting_signals[i], &output_file.previous_actions[i], nullptr);
}

// A regular destination file is removed after a failure, or on a signal.
void watch_output_file(const std::string& path, int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return;
    output_file.device = info.st_dev;
    output_file.inode = info.st_ino;
    output_file.path = path.c_str();
    arm_signal_handlers();
}

// A dump made with -s holds passwords: a file it creates is for its owner only.
FILE* open_for_writing(const std::string& path)
{
    // Truncating the store or one of its companion files destroys it.
    if (pcd_is_store_file(run_options.connection.handle, path.c_str()))
        return nullptr;
    mode_t mode = run_options.include_sensitive ? 0600 : 0666;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return nullptr;
    FILE* out = fdopen(fd, "w");
    if (!out) {
        close(fd);
        return nullptr;
    }
    watch_output_file(path, fd);
    return out;
}

} // namespace

FILE* open_stream(bool for_writing)
{
    const std::string& path = run_options.file_path;
    if (path.empty())
        return for_writing ? stdout : stdin;
    FILE* stream = for_writing ? open_for_writing(path) : std::fopen(path.c_str(), "r");
    if (!stream)
        report_error("can't open file at '%s'", path.c_str());
    return stream;
}

int close_output(FILE* out)
{
    bool failed = std::ferror(out) != 0;
    // Standard output stays open for the process to close at exit.
    failed |= (out == stdout ? std::fflush(out) : std::fclose(out)) != 0;
    if (!failed)
        return 0;
    if (out == stdout)
        report_error("can't write to standard output");
    else
        report_error("can't write file at '%s'", run_options.file_path.c_str());
    return -1;
}

void finish_output(bool remove)
{
    if (!output_file.path)
        return;
    if (remove)
        remove_output_file();
    disarm_signal_handlers();
    output_file = OutputFile();
}

void canonicalize_in_place(std::string& path)
{
    std::size_t old_length = path.size();
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    std::size_t length = pcd_canonicalize_path(buffer.data(), old_length);
    // The library promises no growth; should it report more, keep only what
    // the buffer holds and pad, rather than read past it.
    path.assign(buffer.data(), std::min(length, old_length));
    path.resize(length, '\0');
}
