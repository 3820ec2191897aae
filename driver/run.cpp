#include "driver/run.h"
#include "driver/run_options.h"

RunOptions run_options;

int run_cdsxml(int, char**)
{
    return 1;
}
