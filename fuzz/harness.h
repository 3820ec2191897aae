// What both fuzz targets need around a run of the tool's code.
#pragma once

// Once, before the first run.
void harness_init();

// The tool's own output, its warnings and usage texts and dumps, goes to
// /dev/null between these two calls; sanitizer reports do not.
void silence_start();
void silence_end();
