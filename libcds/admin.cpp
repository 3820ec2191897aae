#include "libcds/connection.h"
#include "libcds/store.h"

using cds_store::Entry;
using cds_store::Visitor;
using cds_store::WalkResult;

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
    entry.time = {static_cast<std::uint32_t>(sqlite3_column_int64(statement, COLUMN_SECONDS)),
                  static_cast<std::uint32_t>(sqlite3_column_int64(statement, COLUMN_MICROSECONDS))};
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

WalkResult failed_walk(pcd_connection& connection)
{
    note_failure(connection);
    end_read(connection);
    return WalkResult::store_failed;
}

WalkResult walk_node(pcd_connection& connection, const std::string& path, std::size_t depth,
                     const Visitor& visit);

// Each depth steps its own statement while the ones above it are paused
// mid-listing, so nothing of the tree is held in memory.
WalkResult walk_children(pcd_connection& connection, sqlite3_int64 parent,
                         const std::string& parent_path, std::size_t depth, const Visitor& visit)
{
    StatementUse query = use_walk_statement(connection, depth);
    if (!query)
        return failed_walk(connection);
    sqlite3_bind_int64(query.get(), 1, parent);
    std::string path;
    int step;
    while ((step = sqlite3_step(query.get())) == SQLITE_ROW) {
        path.assign(parent_path == "/" ? "" : parent_path);
        path += '/';
        path.append(column_text(query.get(), COLUMN_NAME));
        Entry entry = entry_at(query.get(), path);
        if (!visit(entry))
            return WalkResult::stopped;
        if (entry.kind != ELEMENT_TYPE_NODE)
            continue;
        WalkResult result = walk_node(connection, path, depth + 1, visit);
        if (result != WalkResult::done)
            return result;
    }
    return step == SQLITE_DONE ? WalkResult::done : failed_walk(connection);
}

WalkResult walk_node(pcd_connection& connection, const std::string& path, std::size_t depth,
                     const Visitor& visit)
{
    sqlite3_int64 id = 0;
    Lookup found = find_node_id(connection, path, id);
    if (found == Lookup::missing)
        note_damage(connection, "no node at '" + path + "'");
    if (found != Lookup::found)
        return failed_walk(connection);
    return walk_children(connection, id, path, depth, visit);
}

WalkResult visit_entry(pcd_handle_t handle, const std::string& path, const Visitor& visit,
                       bool recursive)
{
    if (!handle)
        return WalkResult::store_failed;
    pcd_connection& connection = *handle;
    std::string canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return WalkResult::missing;
    if (!begin_read(connection))
        return WalkResult::store_failed;
    element_type_t kind = ELEMENT_TYPE_NODE;
    if (canonical == "/") {
        if (!visit(root_entry()))
            return WalkResult::stopped;
    } else {
        StatementUse query;
        Lookup found = find_entry(connection, canonical, query);
        if (found == Lookup::missing)
            return WalkResult::missing;
        if (found == Lookup::failed)
            return failed_walk(connection);
        Entry entry = entry_at(query.get(), canonical);
        kind = entry.kind;
        if (!visit(entry))
            return WalkResult::stopped;
    }
    if (!recursive || kind != ELEMENT_TYPE_NODE)
        return WalkResult::done;
    return walk_node(connection, canonical, 0, visit);
}

// Copies every page of from into to, waiting a while for other processes'
// locks like every other call does.
int copy_database(sqlite3* to, sqlite3* from, std::string& error)
{
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) {
        error = sqlite3_errmsg(to);
        return -1;
    }
    int step;
    int waits = 0;
    while (((step = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || step == SQLITE_LOCKED) &&
           waits++ < 50)
        sqlite3_sleep(100);
    int finish = sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE || finish != SQLITE_OK) {
        error = sqlite3_errstr(step != SQLITE_DONE ? step : finish);
        return -1;
    }
    return 0;
}

DatabasePtr open_database(const std::string& file, int flags, std::string& error)
{
    sqlite3* raw = nullptr;
    int result = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    DatabasePtr db(raw);
    if (result != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(result);
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), 5000);
    return db;
}

} // namespace

namespace cds_store
{

WalkResult walk(pcd_handle_t handle, const std::string& path, const Visitor& visit)
{
    return visit_entry(handle, path, visit, true);
}

WalkResult find(pcd_handle_t handle, const std::string& path, const Visitor& visit)
{
    return visit_entry(handle, path, visit, false);
}

int backup(pcd_handle_t handle, const std::string& file, std::string& error)
{
    if (!handle)
        return -1;
    DatabasePtr copy = open_database(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
    if (!copy)
        return -1;
    // The copy is of the store as it is now, not of an older snapshot.
    end_read(*handle);
    return copy_database(copy.get(), handle->db.get(), error);
}

int restore(pcd_handle_t handle, const std::string& file, std::string& error)
{
    if (!handle)
        return -1;
    DatabasePtr saved = open_database(file, SQLITE_OPEN_READONLY, error);
    if (!saved)
        return -1;
    if (!is_store_database(saved.get())) {
        error = "not a store";
        return -1;
    }
    end_read(*handle);
    return copy_database(handle->db.get(), saved.get(), error);
}

} // namespace cds_store
