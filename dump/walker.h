#pragma once

#include <cstdio>
#include <string>

// Writes the subtree at path (the root being "") to out. Returns 0 when it
// was walked or lies beyond max_depth (0 or less: no limit), 1 when the CDS
// has no such node, -1 when a CDS call failed.
int dump_node(FILE* out, const std::string& path, const std::string& name, int depth, int max_depth,
              bool persistent_only);
