// SPDX-License-Identifier: MIT
// The client calls of cds.h on the SQLite store. A dump lists each node and
// then asks for its data points, which the read transaction's listing holds,
// or, for a node too wide to hold, are read in one more pass over it.
#include "libcds/admin.h"
#include "libcds/db.h"
#include "libcds/path.h"
#include "libcds/rows.h"
#include "libcds/write.h"

using cds_store::Result;
using toolkit::CElement;

namespace
{

int failed_read(pcd_connection& connection)
{
    abandon_read(connection);
    return -1;
}

// A data point's value as an element takes it: bytes for a binary one,
// text for the others.
void read_value(sqlite3_stmt* row, data_type_t type, std::string& text,
                std::vector<std::uint8_t>& bytes)
{
    std::string_view value = column_blob(row, COLUMN_VALUE);
    if (type == DATA_TYPE_BINARY)
        bytes.assign(value.begin(), value.end());
    else
        text.assign(value);
}

// Holds the data point on the row while the listing stays within its
// bound, and lets go of all of them once it does not.
void list_node_hold(std::optional<std::vector<ListedLeaf>>& leaves, std::size_t& held,
                    sqlite3_stmt* row, const ChildEntry& child)
{
    held += sizeof(ListedLeaf) + child.name.size() +
            static_cast<std::size_t>(sqlite3_column_bytes(row, COLUMN_VALUE));
    if (held > listed_leaves_bytes) {
        leaves.reset();
        return;
    }
    auto type = static_cast<data_type_t>(sqlite3_column_int(row, COLUMN_TYPE));
    ListedLeaf& leaf = leaves->emplace_back();
    leaf.name = child.name;
    leaf.property = child.property;
    leaf.type = type;
    leaf.time = column_time(row);
    read_value(row, type, leaf.text, leaf.bytes);
}

// Fills children with those of the node at a canonical path, if there is
// one, and leaves with its data points unless it is too wide.
bool list_node_children(pcd_connection& connection, const std::string& path,
                        std::vector<ChildEntry>& children,
                        std::optional<std::vector<ListedLeaf>>& leaves)
{
    StatementUse query = use_statement(connection, Sql::list_children);
    if (!query || bind_text(query.get(), 1, path) != SQLITE_OK)
        return false;
    sqlite3_stmt* row = query.get();
    std::size_t depth = cds_store::path_depth(path);
    std::size_t held = 0;
    leaves.emplace();
    int step;
    while ((step = sqlite3_step(row)) == SQLITE_ROW) {
        // As bytes: text would first be copied to add a terminator.
        std::string_view name = column_blob(row, COLUMN_NAME);
        int kind = sqlite3_column_int(row, COLUMN_KIND);
        if (!is_sound_child(connection, path, depth, name, row))
            return false;
        children.push_back(
            {std::string(name), static_cast<element_type_t>(kind),
             static_cast<element_property_t>(sqlite3_column_int(row, COLUMN_PROPERTY))});
        if (leaves && kind == ELEMENT_TYPE_LEAF)
            list_node_hold(leaves, held, row, children.back());
    }
    return step == SQLITE_DONE;
}

// The answer for a canonical path that has no node. Within one snapshot, a
// node that its parent lists has a node row of its own; without one, the
// store's tables disagree.
int list_node_absent(pcd_connection& connection, const std::string& path)
{
    element_type_t kind = ELEMENT_TYPE_NONE;
    Result found = find_kind(connection, path, kind);
    if (found == Result::store_failed)
        return failed_read(connection);
    if (found == Result::ok && kind == ELEMENT_TYPE_NODE) {
        note_damage(connection, "no node at '" + path + "'");
        return failed_read(connection);
    }
    return 0;
}

// One pass over the children of the node listed last, in listing order,
// when the listing holds none of them. Once it has gone past the end, the
// rest are looked up one by one.
struct LeafPass {
    StatementUse query;
    bool ended = false;
};

void get_leaves_append(std::vector<CElement>& elements, sqlite3_stmt* row)
{
    auto type = static_cast<data_type_t>(sqlite3_column_int(row, COLUMN_TYPE));
    std::string text;
    std::vector<std::uint8_t> bytes;
    read_value(row, type, text, bytes);
    elements.emplace_back(type, column_time(row), std::move(text), std::move(bytes));
}

// The answer from the row of an entry: an element for a data point, an
// empty one for a node.
void get_leaves_answer(sqlite3_stmt* row, api_status_t& status, std::vector<CElement>& elements,
                       element_property_t& property)
{
    if (sqlite3_column_int(row, COLUMN_KIND) != ELEMENT_TYPE_LEAF) {
        elements.emplace_back();
        return;
    }
    status = API_STATUS_EXISTS;
    property = static_cast<element_property_t>(sqlite3_column_int(row, COLUMN_PROPERTY));
    get_leaves_append(elements, row);
}

// The entry at a canonical path other than the root, looked up alone.
int get_leaves_lookup(pcd_connection& connection, std::string_view path, api_status_t& status,
                      std::vector<CElement>& elements, element_property_t& property)
{
    StatementUse query;
    Result found = find_entry(connection, path, query);
    std::string_view parent = cds_store::parent_of(path);
    if (found == Result::store_failed ||
        (found == Result::ok && !is_sound_child(connection, parent, cds_store::path_depth(parent),
                                                cds_store::name_of(path), query.get())))
        return failed_read(connection);
    if (found == Result::ok)
        get_leaves_answer(query.get(), status, elements, property);
    else
        elements.emplace_back();
    return 0;
}

// Steps the pass to the child name, if it lies ahead: 1 found, 0 not, -1
// failed.
int get_leaves_step_to(pcd_connection& connection, LeafPass& pass, std::string_view name)
{
    if (pass.ended)
        return 0;
    if (!pass.query) {
        pass.query = use_statement(connection, Sql::list_children);
        if (!pass.query ||
            bind_text(pass.query.get(), 1, connection.read->listed_path) != SQLITE_OK)
            return -1;
    }
    int step;
    while ((step = sqlite3_step(pass.query.get())) == SQLITE_ROW)
        if (column_blob(pass.query.get(), COLUMN_NAME) == name)
            return 1;
    pass.ended = true;
    return step == SQLITE_DONE ? 0 : -1;
}

// The held data point name, if it lies ahead of those handed over, or null.
ListedLeaf* get_leaves_held(ReadTransaction& read, std::string_view name)
{
    std::vector<ListedLeaf>& leaves = *read.listed_leaves;
    for (std::size_t i = read.next_leaf; i < leaves.size(); ++i) {
        if (leaves[i].name == name) {
            read.next_leaf = i + 1;
            return &leaves[i];
        }
    }
    return nullptr;
}

void get_leaves_hand_over(ListedLeaf& leaf, api_status_t& status, std::vector<CElement>& elements,
                          element_property_t& property)
{
    status = API_STATUS_EXISTS;
    property = leaf.property;
    elements.emplace_back(leaf.type, leaf.time, std::move(leaf.text), std::move(leaf.bytes));
}

// The name of the child of the node listed last that path names when it is
// spelled exactly as a walk builds it, or empty when path has to be
// canonicalized first. The listing found every child within the store's
// limits, so a path past them names nothing the pass could find.
std::string_view get_leaves_spelled_child(const ReadTransaction& read, std::string_view path)
{
    if (read.listed_path.empty())
        return {};
    std::string_view parent = read.listed_path == "/" ? std::string_view() : read.listed_path;
    if (path.size() <= parent.size() + 1 || path.compare(0, parent.size(), parent) != 0 ||
        path[parent.size()] != '/')
        return {};
    std::string_view name = path.substr(parent.size() + 1);
    if (name == "." || name == ".." || name.find('/') != std::string_view::npos)
        return {};
    return name;
}

// The answer for one path: from the pass over the node listed last when the
// path names one of its children, else looked up alone.
int get_leaves_one(pcd_connection& connection, LeafPass& pass, const std::string& path,
                   api_status_t& status, std::vector<CElement>& elements,
                   element_property_t& property)
{
    std::string_view name = get_leaves_spelled_child(*connection.read, path);
    std::string canonical;
    if (name.empty()) {
        canonical = path;
        if (!cds_store::canonical_store_path(canonical) || canonical == "/") {
            elements.emplace_back();
            return 0;
        }
        if (cds_store::parent_of(canonical) == connection.read->listed_path)
            name = cds_store::name_of(canonical);
    }
    std::string_view entry = canonical.empty() ? std::string_view(path) : canonical;
    if (name.empty())
        return get_leaves_lookup(connection, entry, status, elements, property);
    if (connection.read->listed_leaves) {
        ListedLeaf* leaf = get_leaves_held(*connection.read, name);
        if (!leaf)
            return get_leaves_lookup(connection, entry, status, elements, property);
        get_leaves_hand_over(*leaf, status, elements, property);
        return 0;
    }
    int found = get_leaves_step_to(connection, pass, name);
    if (found < 0)
        return failed_read(connection);
    if (found == 0)
        return get_leaves_lookup(connection, entry, status, elements, property);
    get_leaves_answer(pass.query.get(), status, elements, property);
    return 0;
}

int set_leaves_property(pcd_tribool_t persist)
{
    switch (persist) {
    case PCD_FALSE:
        return ELEMENT_PROPERTY_ORDINARY;
    case PCD_TRUE:
        return ELEMENT_PROPERTY_PERSISTENT;
    case PCD_UNSPECIFIED:
        return cds_store::keep_property;
    }
    return -2;
}

} // namespace

namespace toolkit
{

CCds::~CCds()
{
    if (handle)
        pcd_close(handle);
}

int CCds::list_node(const std::string& path, api_status_t& status,
                    std::vector<ChildEntry>& children)
{
    status = API_STATUS_ABSENT;
    children.clear();
    if (!handle)
        return -1;
    pcd_connection& connection = *handle;
    std::string canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return 0;
    if (!begin_read_transaction(connection))
        return -1;
    std::optional<std::vector<ListedLeaf>> leaves;
    if (!list_node_children(connection, canonical, children, leaves)) {
        children.clear();
        return failed_read(connection);
    }
    // Only a node can be listed; without children, its path alone tells.
    sqlite3_int64 id = 0;
    Result found = children.empty() ? find_node_id(connection, canonical, id) : Result::ok;
    if (found == Result::store_failed)
        return failed_read(connection);
    if (found == Result::missing)
        return list_node_absent(connection, canonical);
    *connection.read = {std::move(canonical), std::move(leaves), 0};
    status = API_STATUS_EXISTS;
    return 0;
}

int CCds::get_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     std::vector<CElement>& elements, std::vector<element_property_t>& properties)
{
    statuses.assign(paths.size(), API_STATUS_ABSENT);
    properties.assign(paths.size(), ELEMENT_PROPERTY_ORDINARY);
    elements.clear();
    elements.reserve(paths.size());
    if (!handle)
        return -1;
    pcd_connection& connection = *handle;
    if (!begin_read_transaction(connection))
        return -1;
    LeafPass pass;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (get_leaves_one(connection, pass, paths[i], statuses[i], elements, properties[i]) != 0)
            return -1;
    return 0;
}

int CCds::set_leaves(const std::vector<std::string>& paths, const std::vector<CElement>& elements,
                     const std::vector<pcd_tribool_t>& persist, std::vector<api_status_t>& statuses,
                     const std::string& source)
{
    statuses.assign(paths.size(), API_STATUS_ABSENT);
    if (!handle)
        return -1;
    pcd_connection& connection = *handle;
    pcd_timestamp_t time = cds_store::now();
    sqlite3_int64 source_id = 0;
    if (!begin_write_transaction(connection))
        return -1;
    if (!find_or_add_source(connection, source, source_id)) {
        rollback_write_transaction(connection);
        return -1;
    }
    for (std::size_t i = 0; i < paths.size() && i < elements.size() && i < persist.size(); ++i) {
        Result result = write_leaf(connection, paths[i], elements[i],
                                   set_leaves_property(persist[i]), source_id, time);
        if (result == Result::store_failed) {
            rollback_write_transaction(connection);
            statuses.assign(paths.size(), API_STATUS_ABSENT);
            return -1;
        }
        if (result == Result::ok)
            statuses[i] = API_STATUS_EXISTS;
    }
    if (!commit_write_transaction(connection)) {
        statuses.assign(paths.size(), API_STATUS_ABSENT);
        return -1;
    }
    return 0;
}

} // namespace toolkit
