// What both fuzz targets need around a run of the tool's code.
#pragma once

// Once, before the first run.
void harness_init();

// A small store, the same for every run: data points of several types and
// properties, odd names, and paths the leaf filter keeps out of a dump. With
// store_faults, the second set_leaves call and any get_leaves under /Network
// fail.
void plant_tree(bool store_faults);

// The tool's own output, its warnings and usage texts and dumps, goes to
// /dev/null between these two calls; sanitizer reports do not.
void silence_start();
void silence_end();
