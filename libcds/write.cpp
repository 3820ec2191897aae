// SPDX-License-Identifier: MIT
#include "libcds/write.h"
#include "libcds/path.h"
#include "libcds/rows.h"
#include "libcds/utf8.h"

using cds_store::name_of;
using cds_store::parent_of;
using cds_store::Result;
using toolkit::CElement;

// The node a write resolved last, and the seq its next child gets (0 until
// known), valid within the transaction that resolved it. With it, the
// buffers of the write in hand, whose capacity lasts from write to write
// so that a load does not allocate for every data point.
struct WriteCursor {
    bool valid = false;
    std::uint64_t transaction_serial = 0;
    std::string node_path;
    sqlite3_int64 node_id = 0;
    sqlite3_int64 next_seq = 0;
    std::string path;  // canonical
    std::string value; // as stored
};

namespace
{

WriteCursor& cursor_of(pcd_connection& connection)
{
    if (!connection.cursor)
        connection.cursor = make_cache<WriteCursor>();
    return *connection.cursor;
}

// Whether path is that of the node the cursor holds.
bool is_remembered(pcd_connection& connection, std::string_view path)
{
    const WriteCursor& cursor = cursor_of(connection);
    return cursor.valid && cursor.transaction_serial == connection.transaction_serial &&
           path == cursor.node_path;
}

void remember_node(pcd_connection& connection, std::string_view path, sqlite3_int64 id,
                   sqlite3_int64 next_seq)
{
    WriteCursor& cursor = cursor_of(connection);
    cursor.valid = true;
    cursor.transaction_serial = connection.transaction_serial;
    cursor.node_path.assign(path);
    cursor.node_id = id;
    cursor.next_seq = next_seq;
}

// The seq of the next child of the node the cursor holds.
bool next_child_seq(pcd_connection& connection, sqlite3_int64& seq)
{
    WriteCursor& cursor = cursor_of(connection);
    if (cursor.next_seq == 0 && !query_next_seq(connection, cursor.node_id, cursor.next_seq))
        return false;
    seq = cursor.next_seq;
    return true;
}

Result place_for_child(pcd_connection& connection, std::string_view path, sqlite3_int64& parent,
                       sqlite3_int64& seq);

// Makes sure a node is at a canonical path, creating it (created) and any
// missing nodes above it.
Result find_or_make_node(pcd_connection& connection, std::string_view path, sqlite3_int64& id,
                         bool& created)
{
    created = false;
    Result found = find_node_id(connection, path, id);
    if (found != Result::missing)
        return found;
    sqlite3_int64 parent = 0;
    sqlite3_int64 seq = 0;
    Result placed = place_for_child(connection, parent_of(path), parent, seq);
    if (placed != Result::ok)
        return placed;
    bool inserted = false;
    if (!insert_node_row(connection, parent, name_of(path), seq, ELEMENT_PROPERTY_ORDINARY,
                         inserted))
        return Result::store_failed;
    // No node is there, so what is there is a data point.
    if (!inserted)
        return Result::under_data_point;
    if (!add_node_id(connection, path, id))
        return Result::store_failed;
    created = true;
    return Result::ok;
}

// The id of the node at a canonical path, made if missing, and the seq its
// next child gets. A load makes a node just after filling its parent, so
// the parent is usually the node remembered.
Result place_for_child(pcd_connection& connection, std::string_view path, sqlite3_int64& parent,
                       sqlite3_int64& seq)
{
    if (is_remembered(connection, path)) {
        WriteCursor& cursor = cursor_of(connection);
        parent = cursor.node_id;
        if (!next_child_seq(connection, seq))
            return Result::store_failed;
        cursor.next_seq = seq + 1;
        return Result::ok;
    }
    bool created = false;
    Result found = find_or_make_node(connection, path, parent, created);
    if (found != Result::ok)
        return found;
    seq = 1;
    return created || query_next_seq(connection, parent, seq) ? Result::ok : Result::store_failed;
}

// Makes sure a node is at a canonical path, giving its id. The node is
// remembered so that the writes that follow under it neither look it up
// again nor ask for its last child's seq.
Result resolve_node(pcd_connection& connection, std::string_view path, sqlite3_int64& id)
{
    if (is_remembered(connection, path)) {
        id = cursor_of(connection).node_id;
        return Result::ok;
    }
    bool created = false;
    Result found = find_or_make_node(connection, path, id, created);
    if (found == Result::ok)
        remember_node(connection, path, id, created ? 1 : 0);
    return found;
}

// Whether every name of a canonical path is valid. Those of the node the
// cursor holds were checked when it was resolved.
bool valid_names(pcd_connection& connection, std::string_view path)
{
    if (is_remembered(connection, parent_of(path)))
        return cds_store::valid_entry_name(name_of(path));
    return cds_store::valid_path_names(path);
}

// The canonical path of a new or replaced entry other than the root, in
// the cursor's path.
Result writable_path(pcd_connection& connection, const std::string& path)
{
    std::string& canonical = cursor_of(connection).path;
    canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return Result::no_canonical_path;
    if (canonical == "/")
        return Result::is_root;
    return valid_names(connection, canonical) ? Result::ok : Result::bad_name;
}

// Checked before any node is made for the value, so that a refused value
// leaves nothing behind; the binds check it again.
bool fits_the_store(const pcd_connection& connection, std::string_view stored)
{
    int limit = sqlite3_limit(connection.db.get(), SQLITE_LIMIT_LENGTH, -1);
    return stored.size() <= static_cast<std::size_t>(limit);
}

// What an insert and an update that both changed nothing found at path:
// expected, the other kind of entry; anything else means the store is not
// what the writes assumed.
Result kind_conflict(pcd_connection& connection, std::string_view path, element_type_t expected)
{
    element_type_t kind = ELEMENT_TYPE_NONE;
    Result found = find_kind(connection, path, kind);
    if (found == Result::ok && kind == expected)
        return expected == ELEMENT_TYPE_NODE ? Result::is_node : Result::is_data_point;
    if (found == Result::ok)
        note_damage(connection, "the entry at '" + std::string(path) + "' is of no known kind");
    return Result::store_failed;
}

// The entry at a canonical path other than the root, and everything under
// it, if still there, within the caller's write transaction.
Result remove_entry_there(pcd_connection& connection, const std::string& path)
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
    Result result = writable_path(connection, path);
    if (result != Result::ok)
        return result;
    if (property != cds_store::keep_property && (property < 0 || property > 255))
        return Result::bad_property;
    WriteCursor& cursor = cursor_of(connection);
    std::string_view stored;
    result = stored_value(value, cursor.value, stored);
    if (result != Result::ok)
        return result;
    if (!fits_the_store(connection, stored))
        return Result::too_large;
    const std::string& canonical = cursor.path;
    sqlite3_int64 parent = 0;
    result = resolve_node(connection, parent_of(canonical), parent);
    if (result != Result::ok)
        return result;

    LeafRow row{parent, name_of(canonical), 0, property, value.type(), stored, source, time};
    bool inserted = false;
    bool updated = false;
    if (!next_child_seq(connection, row.seq))
        return Result::store_failed;
    result = insert_leaf_row(connection, row, inserted);
    if (result != Result::ok)
        return result;
    if (inserted) {
        cursor.next_seq = row.seq + 1;
        return Result::ok;
    }
    result = update_leaf_row(connection, row, updated);
    if (result != Result::ok)
        return result;
    return updated ? Result::ok : kind_conflict(connection, canonical, ELEMENT_TYPE_NODE);
}

Result write_node(pcd_connection& connection, const std::string& path, int property)
{
    if (property < 0 || property > 255)
        return Result::bad_property;
    Result result = writable_path(connection, path);
    // The root always exists, with property 0.
    if (result == Result::is_root && property == 0)
        return Result::ok;
    if (result != Result::ok)
        return result;
    const std::string& canonical = cursor_of(connection).path;
    sqlite3_int64 parent = 0;
    result = resolve_node(connection, parent_of(canonical), parent);
    if (result != Result::ok)
        return result;

    std::string_view name = name_of(canonical);
    sqlite3_int64 seq = 0;
    sqlite3_int64 id = 0;
    bool inserted = false;
    bool updated = false;
    if (!next_child_seq(connection, seq) ||
        !insert_node_row(connection, parent, name, seq, property, inserted))
        return Result::store_failed;
    if (inserted) {
        if (!add_node_id(connection, canonical, id))
            return Result::store_failed;
        remember_node(connection, canonical, id, 1);
        return Result::ok;
    }
    if (!set_node_property(connection, parent, name, property, updated))
        return Result::store_failed;
    return updated ? Result::ok : kind_conflict(connection, canonical, ELEMENT_TYPE_LEAF);
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
           (result = remove_entry_there(connection, canonical[failed])) == Result::ok)
        ++failed;
    if (result != Result::ok) {
        rollback_write_transaction(connection);
        return result;
    }
    return commit_write_transaction(connection) ? Result::ok : Result::store_failed;
}
