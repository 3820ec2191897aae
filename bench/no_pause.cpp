// SPDX-License-Identifier: MIT
// Preloaded into a load, takes its pauses out, so that the load's own CPU
// can be set against a bulk import of the same data points.
#include <unistd.h>

extern "C" int usleep(useconds_t)
{
    return 0;
}
