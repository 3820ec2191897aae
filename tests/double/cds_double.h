// An in-memory CDS for the tool's tests: a tree to build, faults to script,
// and a record of every call the tool made.
#pragma once

#include "cds/cds.h"

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

void add_node(const std::string& path, element_property_t property = ELEMENT_PROPERTY_ORDINARY);
// Creates missing nodes above path. text is the value's text form.
void add_leaf(const std::string& path, data_type_t type, const std::string& text,
              element_property_t property = ELEMENT_PROPERTY_ORDINARY);
void remove(const std::string& path);

bool has_leaf(const std::string& path);
// The leaf's value; an element of no type when there is none.
toolkit::CElement leaf_value(const std::string& path);
element_property_t leaf_property(const std::string& path);
// Every data point as "path<TAB>type<TAB>property<TAB>value" lines, depth first.
std::string export_tree();

// Faults. Paths are matched as the tool passed them.
void fail_init();
void fail_list_node(const std::string& path);
void absent_on_list_node(const std::string& path);
// get_leaves fails when one of its paths is under (or is) path.
void fail_get_leaves(const std::string& path);
// The n-th set_leaves call (counted from 1) fails; 0 for every call.
void fail_set_leaves(int n);
void refuse_set_leaf(const std::string& path);
void fail_canonicalize(const std::string& path);
// pcd_is_store_file answers yes for path, as the tool passes it.
void add_store_file(const std::string& path);

const std::vector<Call>& calls();
int count_calls(const std::string& operation);
// Number of pcd_canonicalize_path calls.
int canonicalize_calls();
bool connection_open();

} // namespace cds_double
