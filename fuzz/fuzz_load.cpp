// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes loaded into the in-memory CDS, read as
// the driver reads a file.
//
// Input: two header bytes, then the document.
//   byte 0: bit 1 load persistent only (-c), 2 only existing (-r), 4 a
//           source (-i), 64 the store fails some calls (see plant_tree).
//           The digits '0'..'9' stand for 0..9 and '@'..'O' for 64..79, so
//           seeds can be written by hand.
//   byte 1: unused.
#include "driver/resources.h"
#include "driver/run.h"
#include "driver/run_options.h"
#include "fuzz/harness.h"

#include <cstdint>

const std::size_t header_size = 2;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < header_size)
        return 0;
    plant_tree((data[0] & 64) != 0);
    RunOptions& o = run_options;
    o.mode = RunMode::load;
    o.file_path = "fuzz-input";
    o.load_persistent_only = (data[0] & 1) != 0;
    o.only_existing = (data[0] & 2) != 0;
    o.source = (data[0] & 4) ? "fuzz" : "";
    void* body = const_cast<std::uint8_t*>(data + header_size);
    if (FilePtr in{fmemopen(body, size - header_size, "r")})
        load_from(in.get());
    return 0;
}
