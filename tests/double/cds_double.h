// SPDX-License-Identifier: MIT
// An in-memory CDS for the tool's tests: a tree to build, faults to script,
// and a record of every call the tool made.
#pragma once

#include "cds/cds.h"

#include <set>
#include <string>
#include <vector>

namespace cds_double
{

struct Call {
    std::string operation; // "list_node", "get_leaves" or "set_leaves"
    std::vector<std::string> paths;
    std::vector<pcd_tribool_t> persist;
    std::string source;
};

// An empty tree holding only the root, no faults, no calls recorded.
void reset();

void add_node(const std::string& path);
// Creates missing nodes above path. text is the value's text form.
void add_leaf(const std::string& path, data_type_t type, const std::string& text,
              element_property_t property = ELEMENT_PROPERTY_ORDINARY);

bool has_leaf(const std::string& path);
// The leaf's value; an element of no type when there is none.
toolkit::CElement leaf_value(const std::string& path);

// Faults to script; paths are matched as the tool passes them.
struct Faults {
    bool init = false;
    std::set<std::string> list_node;  // list_node fails
    std::set<std::string> absent;     // list_node finds no node
    std::set<std::string> get_leaves; // get_leaves fails when asked for one of these
    std::set<std::string> gone;       // listed, yet get_leaves finds no data point
    int set_leaves_call = -1;         // the n-th set_leaves (from 1) fails; 0 for every call
    std::set<std::string> refused;    // set_leaves refuses the item
    std::string signal_at;            // list_node raises signal_number when listing it
    int signal_number = 0;
    std::string out_of_memory_at; // list_node throws std::bad_alloc when listing it
};
extern Faults faults;

const std::vector<Call>& calls();
int count_calls(const std::string& operation);
bool connection_open();

} // namespace cds_double
