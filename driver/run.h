#pragma once

#include <cstdio>

// The whole run of cdsxml: parse, connect, dump or load, release. Returns
// the exit status.
int run_cdsxml(int argc, char** argv);

// A dump of what run_options select, written whole to out, which stays
// open. Returns 0, 1 when the last selected path is missing, or -1.
int dump_to(FILE* out);

// A load of the document read from in, which stays open. Returns 0, or -1
// when it could not be read or parsed or a write to the CDS failed.
int load_from(FILE* in);
