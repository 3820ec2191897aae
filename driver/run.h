// SPDX-License-Identifier: MIT
#pragma once

#include "load/batch.h"

#include <cstdio>

// The whole run of cdsxml: parse, connect, dump or load, release. Returns
// the exit status.
int run_cdsxml(int argc, char** argv);

// A dump of what run_options select, written whole to out, which stays
// open. Returns 0, 1 when the last selected path is missing, or -1.
int dump_to(FILE* out);

// A load of the document read from in, which stays open, ending each batch
// with end. A regular file is read whole once before, acting on nothing,
// and must not change in between. Returns 0, or -1 when it could not be
// read or parsed, changed, or a batch's end failed.
int load_from(FILE* in, const LoadEnd& end = writing_end);

// One reading of the document from in, which stays open, ending each batch
// with end as it comes: a document cut short has had the batches before the
// fault ended. For a reading that changes nothing; a load goes through
// load_from. Returns 0, or -1 when it could not be read or parsed or a
// batch's end failed.
int read_document(FILE* in, const LoadEnd& end);
