#include "fuzz/harness.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

// The load pauses 1000 microseconds per data point, which would hold a
// fuzzer to a few hundred runs a second. This definition, being the
// executable's own, takes precedence over the C library's.
extern "C" int usleep(useconds_t)
{
    return 0;
}

namespace
{

int null_fd = -1;
int real_stdout = -1;
int real_stderr = -1;

int keep_fd(int fd)
{
    int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) {
        std::perror("fuzz harness");
        std::abort();
    }
    return copy;
}

} // namespace

void harness_init()
{
    null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0) {
        std::perror("fuzz harness: /dev/null");
        std::abort();
    }
    real_stdout = keep_fd(STDOUT_FILENO);
    real_stderr = keep_fd(STDERR_FILENO);
    // A crash happens while standard error is silenced: its report must
    // still be seen.
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(real_stderr)));
}

// Silenced per run rather than once for the process, so that libFuzzer's
// own progress lines, written between runs, stay visible.
void silence_start()
{
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
}

void silence_end()
{
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(real_stdout, STDOUT_FILENO);
    dup2(real_stderr, STDERR_FILENO);
}
