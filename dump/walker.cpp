// SPDX-License-Identifier: MIT
#include "dump/walker.h"

#include "cds/cds.h"
#include "common/path.h"
#include "common/report.h"
#include "driver/run_options.h"
#include "dump/document.h"
#include "dump/filter.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace
{

// The escaped value and the line of the data point being written.
struct LineBuffers {
    std::string value;
    std::string line;
};

// A dump builds a path and a line for every data point: these strings last
// for the whole run, so that it allocates only for a node wider or a line
// longer than any before.
std::vector<std::string> leaf_paths;
LineBuffers line_buffers;

// Escaped names of the nested nodes entered whose start lines are still
// unwritten, outermost first. A nested node's start line waits for its first
// written data point, so that nodes with nothing written leave no trace.
std::vector<std::string> pending_open_tags;

// The one escaping of names, paths and values. Text that needs none, most
// of it, comes back in the same string, so a buffer passed in is kept.
std::string escaped(std::string text)
{
    toolkit::CElement::xml_escape(text);
    return text;
}

bool is_selected_leaf(const ChildEntry& child, bool persistent_only)
{
    if (child.type != ELEMENT_TYPE_LEAF)
        return false;
    if (persistent_only)
        return child.property == ELEMENT_PROPERTY_PERSISTENT;
    return child.property == ELEMENT_PROPERTY_ORDINARY ||
           child.property == ELEMENT_PROPERTY_PERSISTENT;
}

bool is_excluded(const std::string& path, bool persistent_only)
{
    const auto& excludes = persistent_only ? run_options.persistent_excludes : run_options.excludes;
    return excludes.count(path) > 0;
}

// 0 with the children of an existing node, 1 for a missing node, -1 on failure.
int list_children(const std::string& display_path, std::vector<ChildEntry>& children)
{
    api_status_t status = API_STATUS_ABSENT;
    if (run_options.connection.list_node(display_path, status, children) != 0) {
        report_error("list_node() returned error on '%s'", display_path.c_str());
        return -1;
    }
    return status == API_STATUS_EXISTS ? 0 : 1;
}

// The ancestors' start lines first, each at its own depth, then this node's.
void write_pending_open_tags(FILE* out, int depth)
{
    int count = static_cast<int>(pending_open_tags.size());
    for (int j = 0; j < count; ++j)
        write_node_start(out, depth + 1 - count + j, pending_open_tags[j]);
    pending_open_tags.clear();
}

void write_leaf(FILE* out, int depth, const std::string&, std::string_view name,
                const toolkit::CElement& element, element_property_t property)
{
    LineBuffers& buffers = line_buffers;
    write_pending_open_tags(out, depth);
    const char* type_name = pcd_enum_to_str(element.type());
    element.to_string(buffers.value);
    buffers.value = escaped(std::move(buffers.value));
    write_data_point(out, buffers.line, depth + 1, escaped(std::string(name)),
                     type_name ? type_name : toolkit::CElement::_invalid,
                     property == ELEMENT_PROPERTY_PERSISTENT, buffers.value);
}

// Leaves only the child nodes in children, and frees the room the rest
// took, so that a wide node's data points are not held listed beside their
// values.
void keep_child_nodes(std::vector<ChildEntry>& children)
{
    auto is_leaf = [](const ChildEntry& child) { return child.type != ELEMENT_TYPE_NODE; };
    children.erase(std::remove_if(children.begin(), children.end(), is_leaf), children.end());
    children.shrink_to_fit();
}

// All selected data points of the node in one get_leaves call; none when
// nothing is selected. A data point gone since the listing is left out.
int dump_leaves(FILE* out, const std::string& path, std::vector<ChildEntry>& children, int depth,
                bool persistent_only)
{
    std::vector<std::string>& paths = leaf_paths;
    paths.reserve(children.size());
    std::size_t selected = 0;
    for (const ChildEntry& child : children) {
        if (!is_selected_leaf(child, persistent_only))
            continue;
        if (selected == paths.size())
            paths.emplace_back();
        std::string& leaf_path = paths[selected++];
        leaf_path.assign(path);
        append_child_path(leaf_path, child.name);
    }
    keep_child_nodes(children);
    if (selected == 0)
        return 0;
    paths.resize(selected);
    // Each name is what its path has past the parent's.
    const std::size_t name_start = child_path(path, "").size();

    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> elements;
    std::vector<element_property_t> properties;
    int rc = run_options.connection.get_leaves(paths, statuses, elements, properties);
    if (rc != 0) {
        report_error("get_leaf('%s') failed: %d", path.c_str(), rc);
        return -1;
    }
    std::size_t count =
        std::min({elements.size(), statuses.size(), properties.size(), paths.size()});
    for (std::size_t i = 0; i < count; ++i) {
        if (statuses[i] == API_STATUS_EXISTS && is_walked_leaf_dumpable(paths[i]))
            leaf_step(out, depth, paths[i], std::string_view(paths[i]).substr(name_start),
                      elements[i], properties[i]);
    }
    return 0;
}

// A child node that vanished since the listing is skipped; a failure, in the
// child or in writing, stops the walk of the rest.
int dump_child_nodes(FILE* out, const std::string& path, const std::vector<ChildEntry>& children,
                     int depth, int max_depth, bool persistent_only)
{
    for (const ChildEntry& child : children) {
        if (out && std::ferror(out))
            return -1;
        if (child.type != ELEMENT_TYPE_NODE)
            continue;
        std::string sub_path = child_path(path, child.name);
        if (is_excluded(sub_path, persistent_only))
            continue;
        int result = dump_node(out, sub_path, child.name, depth + 1, max_depth, persistent_only);
        if (result < 0)
            return result;
    }
    return 0;
}

// A node whose start line is still pending was never opened, so it is not
// closed either.
void finish_node(FILE* out, int depth)
{
    if (!pending_open_tags.empty())
        pending_open_tags.pop_back();
    else if (out)
        write_node_end(out, depth);
}

} // namespace

LeafStep leaf_step = write_leaf;

int dump_node(FILE* out, const std::string& path, const std::string& name, int depth, int max_depth,
              bool persistent_only)
{
    if (max_depth > 0 && depth > max_depth)
        return 0;
    const std::string display_path = path.empty() ? "/" : path;
    const bool is_root = depth == 1;
    if (!is_root)
        pending_open_tags.push_back(escaped(name));

    std::vector<ChildEntry> children;
    int result = list_children(display_path, children);
    if (result == 0) {
        if (is_root && out)
            write_root_node_start(out, escaped(display_path));
        result = dump_leaves(out, path, children, depth, persistent_only);
    }
    if (result != 0) {
        // Nothing of a nested node is written yet. A root start line stays
        // unclosed: the run fails anyway.
        if (!is_root)
            pending_open_tags.pop_back();
        return result;
    }
    result = dump_child_nodes(out, path, children, depth, max_depth, persistent_only);
    finish_node(out, depth);
    if (result == 0 && out && std::ferror(out))
        result = -1;
    return result;
}
