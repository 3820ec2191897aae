// The inside of a connection to the SQLite store, shared by the files of the
// library (not by its users).
#pragma once

#include "cds/cds.h"

#include <sqlite3.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct CloseDatabase {
    void operator()(sqlite3* db) const
    {
        sqlite3_close(db);
    }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const
    {
        sqlite3_finalize(statement);
    }
};
using DatabasePtr = std::unique_ptr<sqlite3, CloseDatabase>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Every statement the library runs, each prepared once per connection.
enum class Sql {
    begin_read,
    begin_write,
    commit,
    rollback,
    find_node,
    list_children,
    find_entry,
    next_seq,
    insert_node_path,
    insert_node,
    set_node_property,
    insert_leaf,
    update_leaf,
    remove_subtree_entries,
    remove_subtree_nodes,
    remove_entry,
    count,
};

// The columns of an entry as the children and find statements return them.
enum EntryColumn {
    COLUMN_NAME,
    COLUMN_KIND,
    COLUMN_PROPERTY,
    COLUMN_TYPE,
    COLUMN_VALUE,
    COLUMN_SECONDS,
    COLUMN_MICROSECONDS,
    COLUMN_SOURCE,
};

// A child of the node listed last, kept so that the get_leaves that follows
// a list_node needs no query of its own.
struct ListedChild {
    std::string name;
    element_type_t kind;
    element_property_t property;
    data_type_t type;
    std::string value;
    pcd_timestamp_t time;
};

struct pcd_connection {
    DatabasePtr db;
    StatementPtr statements[static_cast<int>(Sql::count)];
    // One statement per depth, so that a walk can step all of them at once.
    std::vector<StatementPtr> walk_statements;
    bool reading = false;
    bool page_cache_limited = false;
    // The text of the first failure since the transaction began: the
    // rollback or end of the read that follows replaces SQLite's own.
    std::string failure;

    // Valid only within the read transaction that filled it.
    bool listing_valid = false;
    std::string listed_path;
    std::size_t listed_depth = 0;    // names in listed_path
    std::vector<ListedChild> listed; // reused: only the first listed_count are current
    std::size_t listed_count = 0;
    std::size_t listed_cursor = 0;

    // The node a write resolved last, valid within its write transaction,
    // and the seq its next child gets (0 until known).
    bool last_node_valid = false;
    std::string last_node_path;
    sqlite3_int64 last_node_id = 0;
    sqlite3_int64 last_node_next_seq = 0;

    std::string path_scratch;
    std::string value_scratch;
};

// Resets a statement (keeping its bindings' storage alive until then) when
// its use ends. The reset's result repeats that of the last step, which the
// user of the statement has checked.
struct ResetStatement {
    void operator()(sqlite3_stmt* statement) const
    {
        sqlite3_reset(statement);
    }
};
using StatementUse = std::unique_ptr<sqlite3_stmt, ResetStatement>;

// The database carries the store's marks, of this layout.
bool is_store_database(sqlite3* db);
// The statements that make an empty database a store.
const char* store_schema();

// The id of the root node, which always exists.
constexpr sqlite3_int64 root_node_id = 1;

enum class Lookup { found, missing, failed };

// The prepared statement, or null when it cannot be prepared.
StatementUse use_statement(pcd_connection& connection, Sql sql);
// The children statement for one depth of a walk.
StatementUse use_walk_statement(pcd_connection& connection, std::size_t depth);
// Runs a statement that returns no rows; true when it succeeded.
bool run_statement(pcd_connection& connection, Sql sql);

// The id of the node at a canonical path.
Lookup find_node_id(pcd_connection& connection, std::string_view path, sqlite3_int64& id);
// The entry at a canonical path other than the root; when found, query
// stands on its row, with the columns of EntryColumn.
Lookup find_entry(pcd_connection& connection, std::string_view path, StatementUse& query);

// A read transaction opens at the first read and stays open until the next
// write or pcd_close, so that reads in between see one snapshot.
bool begin_read(pcd_connection& connection);
void end_read(pcd_connection& connection);
bool begin_write(pcd_connection& connection);
bool commit_write(pcd_connection& connection);
// Rolls back what a failure left, remembering SQLite's account of it first.
void rollback_write(pcd_connection& connection);

// Remember, unless a failure of the transaction is remembered already,
// SQLite's account of the last one, or what is wrong with a store whose
// tables disagree.
void note_failure(pcd_connection& connection);
void note_damage(pcd_connection& connection, const std::string& what);

// The binds return SQLite's result: SQLITE_TOOBIG for a value longer than
// the store's length limit.
inline int bind_text(sqlite3_stmt* statement, int index, std::string_view text)
{
    return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_STATIC,
                               SQLITE_UTF8);
}

inline int bind_blob(sqlite3_stmt* statement, int index, std::string_view bytes)
{
    // A null pointer would store NULL rather than an empty value.
    return sqlite3_bind_blob64(statement, index, bytes.data() ? bytes.data() : "", bytes.size(),
                               SQLITE_STATIC);
}

// SQLITE_OK when every bind succeeded, or the result of the first that failed.
inline int first_failure(std::initializer_list<int> results)
{
    for (int result : results)
        if (result != SQLITE_OK)
            return result;
    return SQLITE_OK;
}

inline std::string_view column_text(sqlite3_stmt* statement, int column)
{
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return {text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

inline std::string_view column_blob(sqlite3_stmt* statement, int column)
{
    const char* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return {bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

// The parent of a canonical path other than the root, and its last name.
inline std::string_view parent_of(std::string_view path)
{
    std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string_view("/") : path.substr(0, slash);
}
inline std::string_view name_of(std::string_view path)
{
    return path.substr(path.rfind('/') + 1);
}
