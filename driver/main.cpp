// SPDX-License-Identifier: MIT
#include "common/standard_streams.h"
#include "driver/run.h"

int main(int argc, char** argv)
{
    if (!keep_standard_streams_taken())
        return 255;
    return run_cdsxml(argc, argv);
}
