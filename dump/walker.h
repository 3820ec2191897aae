// SPDX-License-Identifier: MIT
#pragma once

#include "cds/cds.h"

#include <cstdio>
#include <string>
#include <string_view>

// What the walk does with each data point a dump may write; the dump writes
// its line. A walk that writes no document passes a null out and sets its own.
using LeafStep = void (*)(FILE* out, int depth, const std::string& path, std::string_view name,
                          const toolkit::CElement& element, element_property_t property);
extern LeafStep leaf_step;

// Writes the subtree at path (the root being "") to out. Returns 0 when it
// was walked or lies beyond max_depth (0 or less: no limit), 1 when the CDS
// has no such node, -1 when a CDS call failed.
int dump_node(FILE* out, const std::string& path, const std::string& name, int depth, int max_depth,
              bool persistent_only);
