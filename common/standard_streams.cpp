// SPDX-License-Identifier: MIT
#include "common/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool keep_standard_streams_taken()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Open the wrong way round: standard input write-only and the
        // outputs read-only, so every use fails with EBADF as before.
        int taken = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (taken != fd) {
            if (taken >= 0)
                close(taken);
            return false;
        }
    }
    return true;
}
