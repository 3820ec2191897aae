// SPDX-License-Identifier: MIT
// What both fuzz targets need around a run of the tool's code. fuzz/run
// passes -close_fd_mask=3, so the tool's own output goes nowhere while
// libFuzzer's and the sanitizers' reports are still seen.
#pragma once

// A small store, the same for every run: data points of several types and
// properties, odd names, and paths the leaf filter keeps out of a dump. With
// store_faults, the second set_leaves call and any get_leaves asking for
// /Network/LAN/IP fail.
void plant_tree(bool store_faults);
