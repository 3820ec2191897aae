// SPDX-License-Identifier: MIT
#include "libcds/walk.h"
#include "common/path.h"
#include "libcds/path.h"

using cds_store::Entry;
using cds_store::Result;
using cds_store::Visitor;

namespace
{

Entry entry_at(sqlite3_stmt* statement, std::string_view path)
{
    Entry entry;
    entry.path = path;
    entry.kind = static_cast<element_type_t>(sqlite3_column_int(statement, COLUMN_KIND));
    entry.property = sqlite3_column_int(statement, COLUMN_PROPERTY);
    entry.type = static_cast<data_type_t>(sqlite3_column_int(statement, COLUMN_TYPE));
    entry.value = column_blob(statement, COLUMN_VALUE);
    entry.time = column_time(statement);
    entry.source = column_text(statement, COLUMN_SOURCE);
    return entry;
}

Entry root_entry()
{
    Entry entry{};
    entry.path = "/";
    entry.kind = ELEMENT_TYPE_NODE;
    return entry;
}

Result failed_walk(pcd_connection& connection)
{
    abandon_read(connection);
    return Result::store_failed;
}

Result walk_node(pcd_connection& connection, const std::string& path, std::size_t depth,
                 const Visitor& visit);

// Each depth steps its own statement while the ones above it are paused
// mid-listing, so nothing of the tree is held in memory.
Result walk_children(pcd_connection& connection, sqlite3_int64 parent,
                     const std::string& parent_path, std::size_t depth, const Visitor& visit)
{
    StatementUse query = use_walk_statement(connection, depth);
    if (!query || sqlite3_bind_int64(query.get(), 1, parent) != SQLITE_OK)
        return failed_walk(connection);
    std::size_t parent_depth = cds_store::path_depth(parent_path);
    std::string path;
    int step;
    while ((step = sqlite3_step(query.get())) == SQLITE_ROW) {
        std::string_view name = column_text(query.get(), COLUMN_NAME);
        if (!is_sound_child(connection, parent_path, parent_depth, name, query.get()))
            return failed_walk(connection);
        path.assign(parent_path);
        append_child_path(path, name);
        Entry entry = entry_at(query.get(), path);
        if (!visit(entry))
            return Result::stopped;
        if (entry.kind != ELEMENT_TYPE_NODE)
            continue;
        Result result = walk_node(connection, path, depth + 1, visit);
        if (result != Result::ok)
            return result;
    }
    return step == SQLITE_DONE ? Result::ok : failed_walk(connection);
}

Result walk_node(pcd_connection& connection, const std::string& path, std::size_t depth,
                 const Visitor& visit)
{
    sqlite3_int64 id = 0;
    Result found = find_node_id(connection, path, id);
    if (found == Result::missing)
        note_damage(connection, "no node at '" + path + "'");
    if (found != Result::ok)
        return failed_walk(connection);
    return walk_children(connection, id, path, depth, visit);
}

Result visit_from(pcd_connection& connection, const std::string& path, const Visitor& visit,
                  bool recursive)
{
    std::string canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return Result::missing;
    if (!begin_read_transaction(connection))
        return Result::store_failed;
    element_type_t kind = ELEMENT_TYPE_NODE;
    if (canonical == "/") {
        if (!visit(root_entry()))
            return Result::stopped;
    } else {
        StatementUse query;
        Result found = find_entry(connection, canonical, query);
        if (found == Result::missing)
            return Result::missing;
        if (found == Result::store_failed)
            return failed_walk(connection);
        Entry entry = entry_at(query.get(), canonical);
        std::string_view parent = cds_store::parent_of(canonical);
        if (!is_sound_child(connection, parent, cds_store::path_depth(parent),
                            cds_store::name_of(canonical), query.get()))
            return failed_walk(connection);
        kind = entry.kind;
        if (!visit(entry))
            return Result::stopped;
    }
    if (!recursive || kind != ELEMENT_TYPE_NODE)
        return Result::ok;
    return walk_node(connection, canonical, 0, visit);
}

} // namespace

Result walk_entries(pcd_connection& connection, const std::string& path, const Visitor& visit)
{
    return visit_from(connection, path, visit, true);
}

Result visit_entry(pcd_connection& connection, const std::string& path, const Visitor& visit)
{
    return visit_from(connection, path, visit, false);
}
