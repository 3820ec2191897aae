// What a store should hold after a whole-store dump of another store was
// loaded into it, worked out from the original's `cdsctl export` and the
// rules of what a dump leaves out, without asking the tool.
#pragma once

#include <string>

// The export of an empty store after it loaded a dump (with or without -s) of
// the store whose export is given. A load creates each node when the first
// data point under it arrives, with property 0, and a document holds a
// node's data points before its nested nodes; so nodes come out with
// property 0, only where a dumped data point lies below, and with their data
// points listed first.
std::string expected_export_after_load(const std::string& original_export, bool include_sensitive);

// The lines of an export that are data points, in their order.
std::string data_point_lines(const std::string& export_text);
