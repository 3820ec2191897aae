// SPDX-License-Identifier: MIT
#include "common/replace_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Signals that end a run early, and crashes: either way the temporary file
// goes first, and the process then ends as the signal would have ended it.
const int fatal_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGSEGV,
                             SIGBUS, SIGABRT, SIGFPE, SIGILL};
const std::size_t fatal_signal_count = std::size(fatal_signals);

// As the kernel counts them when it follows links itself.
const int max_link_hops = 40;

// The signal handler reads the two names: each is complete before the
// handler can see it, and empty when there is nothing to remove.
struct Replacement {
    char temporary[PATH_MAX] = "";
    char companion[PATH_MAX] = "";
    std::string destination;
    mode_t mode = 0;
    struct sigaction previous_actions[fatal_signal_count];
};
Replacement replacement;

// Async-signal-safe.
void remove_temporary()
{
    if (replacement.temporary[0])
        unlink(replacement.temporary);
    if (replacement.companion[0])
        unlink(replacement.companion);
}

void remove_temporary_and_die(int signal_number)
{
    remove_temporary();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void arm_signal_handlers()
{
    struct sigaction action = {};
    action.sa_handler = remove_temporary_and_die;
    sigfillset(&action.sa_mask);
    for (std::size_t i = 0; i < fatal_signal_count; ++i) {
        struct sigaction& previous = replacement.previous_actions[i];
        sigaction(fatal_signals[i], nullptr, &previous);
        // A signal ignored by whoever started the run (nohup) stays ignored.
        if (previous.sa_handler != SIG_IGN)
            sigaction(fatal_signals[i], &action, nullptr);
    }
}

void disarm_signal_handlers()
{
    for (std::size_t i = 0; i < fatal_signal_count; ++i)
        sigaction(fatal_signals[i], &replacement.previous_actions[i], nullptr);
}

// Holds the interrupting signals off while the names and the files they
// name change together.
struct SignalsHeld {
    sigset_t previous;
    SignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ})
            sigaddset(&held, signal_number);
        sigprocmask(SIG_BLOCK, &held, &previous);
    }
    ~SignalsHeld()
    {
        sigprocmask(SIG_SETMASK, &previous, nullptr);
    }
};

std::string directory_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A link in a sticky directory that anyone may write is followed only when
// it is the caller's or the directory owner's: anyone else may have planted
// it to send the file where it would otherwise never go.
bool may_follow(const std::string& link, const struct stat& link_info)
{
    struct stat directory;
    if (stat(directory_of(link).c_str(), &directory) != 0)
        return false;
    bool shared = (directory.st_mode & S_ISVTX) && (directory.st_mode & S_IWOTH);
    return !shared || link_info.st_uid == geteuid() || link_info.st_uid == directory.st_uid;
}

// The file that path names once its links are followed, existing or not,
// so that the file replaced is the link's target and the link stays.
// Empty, with errno set, when a link may not or cannot be followed.
std::string follow_links(std::string path)
{
    for (int hop = 0; hop < max_link_hops; ++hop) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        if (!may_follow(path, info)) {
            errno = EACCES;
            return "";
        }
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || length == static_cast<ssize_t>(sizeof target)) {
            errno = length < 0 ? errno : ENAMETOOLONG;
            return "";
        }
        std::string next(target, length);
        path = next[0] == '/' ? next : directory_of(path) + "/" + next;
    }
    errno = ELOOP;
    return "";
}

mode_t current_umask()
{
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

int open_in_place(const std::string& path, bool private_file)
{
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, private_file ? 0600 : 0666);
}

// Whether path names the regular file found by following its links, or
// nothing yet. A descriptor's link under /proc (/dev/stdout) names a pipe,
// a terminal or an open file by no path that a link's text gives.
bool is_regular_file_named(const std::string& path, const struct stat* found)
{
    struct stat named;
    if (stat(path.c_str(), &named) != 0)
        return !found;
    return found && S_ISREG(named.st_mode) && named.st_dev == found->st_dev &&
           named.st_ino == found->st_ino;
}

bool fits(const std::string& name)
{
    return name.size() < sizeof replacement.temporary;
}

// mkostemp makes the file exclusively, with mode 0600.
int create_temporary(const char* companion_ending)
{
    std::string name = replacement.destination + ".XXXXXX";
    std::string companion = name + (companion_ending ? companion_ending : "");
    if (!fits(name) || !fits(companion)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    SignalsHeld held;
    std::memcpy(replacement.temporary, name.c_str(), name.size() + 1);
    int fd = mkostemp(replacement.temporary, O_CLOEXEC);
    if (fd < 0) {
        replacement.temporary[0] = '\0';
        return -1;
    }
    if (companion_ending) {
        companion = std::string(replacement.temporary) + companion_ending;
        std::memcpy(replacement.companion, companion.c_str(), companion.size() + 1);
    }
    arm_signal_handlers();
    return fd;
}

// The directory is synced too, or a crash could bring back the old file.
void sync_directory()
{
    int fd =
        open(directory_of(replacement.destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // The file is in place already; a directory that can't be synced
    // (some file systems refuse) is no reason to call the run failed.
    fsync(fd);
    close(fd);
}

int install(int fd)
{
    if (fchmod(fd, replacement.mode) != 0 || fsync(fd) != 0)
        return -1;
    {
        SignalsHeld held;
        if (rename(replacement.temporary, replacement.destination.c_str()) != 0)
            return -1;
        replacement.temporary[0] = '\0';
    }
    sync_directory();
    return 0;
}

void forget_replacement()
{
    SignalsHeld held;
    remove_temporary();
    disarm_signal_handlers();
    replacement.temporary[0] = '\0';
    replacement.companion[0] = '\0';
    replacement.destination.clear();
}

} // namespace

int open_replacement(const std::string& path, bool private_file, const char* companion_ending)
{
    replacement.destination = follow_links(path);
    if (replacement.destination.empty())
        return -1;
    struct stat info;
    bool exists = stat(replacement.destination.c_str(), &info) == 0;
    if (!is_regular_file_named(path, exists ? &info : nullptr))
        return open_in_place(path, private_file);
    replacement.mode = exists ? info.st_mode & 0777 : 0666 & ~current_umask();
    if (private_file)
        replacement.mode &= 0700;
    return create_temporary(companion_ending);
}

const char* replacement_file()
{
    return replacement.temporary[0] ? replacement.temporary : replacement.destination.c_str();
}

int finish_replacement(int fd, bool keep)
{
    if (!replacement.temporary[0])
        return 0;
    int result = keep ? install(fd) : 0;
    int error = errno;
    forget_replacement();
    errno = error;
    return result;
}

void abandon_replacement()
{
    if (replacement.temporary[0])
        forget_replacement();
}
