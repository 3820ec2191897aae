// SPDX-License-Identifier: MIT
#include "libcds/write.h"
#include "libcds/admin.h"
#include "libcds/path.h"
#include "libcds/rows.h"
#include "libcds/utf8.h"

using cds_store::name_of;
using cds_store::parent_of;
using cds_store::Result;
using toolkit::CElement;

namespace
{

Result write_resolve_node(pcd_connection& connection, std::string_view path, ResolvedNode*& node);

// Keeps node as the one resolved at its depth. The pointer returned, like
// those write_resolve_node gives, lasts until the next node is kept.
ResolvedNode* write_keep_node(pcd_connection& connection, ResolvedNode node)
{
    std::vector<ResolvedNode>& by_depth = connection.write->by_depth;
    std::size_t depth = cds_store::path_depth(node.path);
    if (by_depth.size() <= depth)
        by_depth.resize(depth + 1);
    by_depth[depth] = std::move(node);
    return &by_depth[depth];
}

// Whether node has a seq for its next child within max_seq: a node whose
// seqs ran out has its children numbered anew first.
bool write_has_next_seq(pcd_connection& connection, ResolvedNode& node)
{
    return node.next_seq <= max_seq || query_next_seq(connection, node.id, node.next_seq);
}

// Inserts the node at a canonical path, and any missing above it. node is
// the new one, or null when something was there already.
Result write_insert_node(pcd_connection& connection, std::string_view path, int property,
                         ResolvedNode*& node)
{
    node = nullptr;
    ResolvedNode* parent = nullptr;
    Result result = write_resolve_node(connection, parent_of(path), parent);
    if (result != Result::ok)
        return result;
    bool inserted = false;
    if (!write_has_next_seq(connection, *parent) ||
        !insert_node_row(connection, parent->id, name_of(path), parent->next_seq, property,
                         inserted))
        return Result::store_failed;
    if (!inserted)
        return Result::ok;
    ++parent->next_seq;
    ResolvedNode made{std::string(path), 0, 1};
    if (!add_node_id(connection, path, made.id))
        return Result::store_failed;
    node = write_keep_node(connection, std::move(made));
    return Result::ok;
}

// The node at a canonical path, made if missing: the one this write
// transaction resolved last at its depth, or else looked up, with the seq
// its next child gets.
Result write_resolve_node(pcd_connection& connection, std::string_view path, ResolvedNode*& node)
{
    std::vector<ResolvedNode>& by_depth = connection.write->by_depth;
    std::size_t depth = cds_store::path_depth(path);
    if (depth < by_depth.size() && by_depth[depth].path == path) {
        node = &by_depth[depth];
        return Result::ok;
    }
    ResolvedNode found{std::string(path), 0, 0};
    Result result = find_node_id(connection, path, found.id);
    if (result == Result::missing) {
        result = write_insert_node(connection, path, ELEMENT_PROPERTY_ORDINARY, node);
        // No node is there, so what is there is a data point.
        return result == Result::ok && !node ? Result::under_data_point : result;
    }
    if (result != Result::ok)
        return result;
    if (!query_next_seq(connection, found.id, found.next_seq))
        return Result::store_failed;
    node = write_keep_node(connection, std::move(found));
    return Result::ok;
}

// The canonical path of a new or replaced entry other than the root.
Result write_canonical_path(const std::string& path, std::string& canonical)
{
    canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return Result::no_canonical_path;
    if (canonical == "/")
        return Result::is_root;
    return cds_store::valid_path_names(canonical) ? Result::ok : Result::bad_name;
}

// Checked before any node is made for the value, so that a refused value
// leaves nothing behind; the binds check it again.
bool write_fits_the_store(const pcd_connection& connection, std::string_view stored)
{
    int limit = sqlite3_limit(connection.db.get(), SQLITE_LIMIT_LENGTH, -1);
    return stored.size() <= static_cast<std::size_t>(limit);
}

// What an insert and an update that both changed nothing found at path:
// expected, the other kind of entry; anything else means the store is not
// what the writes assumed.
Result write_kind_conflict(pcd_connection& connection, std::string_view path,
                           element_type_t expected)
{
    element_type_t kind = ELEMENT_TYPE_NONE;
    Result found = find_kind(connection, path, kind);
    if (found == Result::ok && kind == expected)
        return expected == ELEMENT_TYPE_NODE ? Result::is_node : Result::is_data_point;
    if (found == Result::ok)
        note_damage(connection, "the entry at '" + std::string(path) + "' is of no known kind");
    return Result::store_failed;
}

// Inserts the data point's row under parent, or updates the one there.
Result write_leaf_entry(pcd_connection& connection, std::string_view path, ResolvedNode& parent,
                        const LeafRow& row)
{
    bool inserted = false;
    bool updated = false;
    Result result = insert_leaf_row(connection, row, inserted);
    if (result != Result::ok)
        return result;
    if (inserted) {
        ++parent.next_seq;
        return Result::ok;
    }
    result = update_leaf_row(connection, row, updated);
    if (result != Result::ok)
        return result;
    return updated ? Result::ok : write_kind_conflict(connection, path, ELEMENT_TYPE_NODE);
}

// The entry at a canonical path other than the root, and everything under
// it, if still there, within the caller's write transaction.
Result remove_paths_entry(pcd_connection& connection, const std::string& path)
{
    element_type_t kind = ELEMENT_TYPE_NONE;
    Result found = find_kind(connection, path, kind);
    if (found == Result::missing)
        return Result::ok;
    if (found != Result::ok)
        return found;
    bool removed = (kind != ELEMENT_TYPE_NODE || remove_subtree(connection, path)) &&
                   remove_row(connection, path);
    return removed ? Result::ok : Result::store_failed;
}

} // namespace

Result stored_value(const CElement& value, std::string& buffer, std::string_view& stored)
{
    data_type_t type = value.type();
    if (!pcd_enum_to_str(type))
        return Result::bad_type;
    if (type == DATA_TYPE_BINARY) {
        stored = std::string_view(reinterpret_cast<const char*>(value.bytes().data()),
                                  value.bytes().size());
        return Result::ok;
    }
    if (type == DATA_TYPE_STRING) {
        stored = value.text();
        return cds_store::valid_string_value(stored) ? Result::ok : Result::bad_value;
    }
    CElement probe(DATA_TYPE_STRING, value.time(), value.text());
    if (probe.convert_type(type) != 0)
        return Result::bad_value;
    buffer = probe.text();
    stored = buffer;
    return Result::ok;
}

Result write_leaf(pcd_connection& connection, const std::string& path, const CElement& value,
                  int property, sqlite3_int64 source, pcd_timestamp_t time)
{
    if (!connection.write)
        return Result::store_failed;
    std::string canonical;
    Result result = write_canonical_path(path, canonical);
    if (result != Result::ok)
        return result;
    if (property != cds_store::keep_property && (property < 0 || property > 255))
        return Result::bad_property;
    std::string buffer;
    std::string_view stored;
    result = stored_value(value, buffer, stored);
    if (result != Result::ok)
        return result;
    if (!write_fits_the_store(connection, stored))
        return Result::too_large;
    ResolvedNode* parent = nullptr;
    result = write_resolve_node(connection, parent_of(canonical), parent);
    if (result != Result::ok)
        return result;
    if (!write_has_next_seq(connection, *parent))
        return Result::store_failed;

    LeafRow row{
        parent->id, name_of(canonical), parent->next_seq, property, value.type(), stored, 0, source,
        time};
    if (stored.size() > large_value_bytes) {
        result = add_large_value(connection, stored, row.large_value);
        if (result != Result::ok)
            return result;
    }
    result = write_leaf_entry(connection, canonical, *parent, row);
    // The value kept apart for a row that was not written would be no one's.
    if (row.large_value && result != Result::ok && result != Result::store_failed &&
        !remove_large_value(connection, row.large_value))
        return Result::store_failed;
    return result;
}

Result write_node(pcd_connection& connection, const std::string& path, int property)
{
    if (!connection.write)
        return Result::store_failed;
    if (property < 0 || property > 255)
        return Result::bad_property;
    std::string canonical;
    Result result = write_canonical_path(path, canonical);
    // The root always exists, with property 0.
    if (result == Result::is_root && property == 0)
        return Result::ok;
    if (result != Result::ok)
        return result;
    ResolvedNode* made = nullptr;
    result = write_insert_node(connection, canonical, property, made);
    if (result != Result::ok || made)
        return result;
    bool updated = false;
    ResolvedNode* parent = nullptr;
    if (write_resolve_node(connection, parent_of(canonical), parent) != Result::ok ||
        !set_node_property(connection, parent->id, name_of(canonical), property, updated))
        return Result::store_failed;
    return updated ? Result::ok : write_kind_conflict(connection, canonical, ELEMENT_TYPE_LEAF);
}

Result remove_paths(pcd_connection& connection, const std::vector<std::string>& paths,
                    std::size_t& failed)
{
    std::vector<std::string> canonical(paths);
    for (failed = 0; failed < canonical.size(); ++failed) {
        if (!cds_store::canonical_store_path(canonical[failed]))
            return Result::no_canonical_path;
        // Emptying the whole store is what a mistyped path should never do.
        if (canonical[failed] == "/")
            return Result::is_root;
    }
    failed = 0;
    if (!begin_write_transaction(connection))
        return Result::store_failed;
    // Every path must name an entry when the call begins, so that a
    // mistyped one removes nothing; one under a path removed before it has
    // gone with it.
    Result result = Result::ok;
    element_type_t kind = ELEMENT_TYPE_NONE;
    while (failed < canonical.size() &&
           (result = find_kind(connection, canonical[failed], kind)) == Result::ok)
        ++failed;
    if (result == Result::ok)
        failed = 0;
    while (result == Result::ok && failed < canonical.size() &&
           (result = remove_paths_entry(connection, canonical[failed])) == Result::ok)
        ++failed;
    if (result != Result::ok) {
        rollback_write_transaction(connection);
        return result;
    }
    return commit_write_transaction(connection) ? Result::ok : Result::store_failed;
}
