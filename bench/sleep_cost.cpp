// SPDX-License-Identifier: MIT
// Takes the pause a load takes per data point, N times, so that the
// benchmark can set a load's time against the cost of its pauses alone.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    long count = argc == 2 ? std::atol(argv[1]) : 0;
    if (count <= 0) {
        std::fputs("usage: bench_sleep_cost N\n", stderr);
        return 1;
    }
    for (long i = 0; i < count; ++i)
        usleep(1000);
    return 0;
}
