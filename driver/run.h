#pragma once

// The whole run of cdsxml: parse, connect, dump or load, release. Returns
// the exit status.
int run_cdsxml(int argc, char** argv);
