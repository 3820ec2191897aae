// SPDX-License-Identifier: MIT
// The connection to the SQLite store as the files of the library share it
// (not its users): its statements, its transactions and its lookups by path.
#pragma once

#include "cds/cds.h"
#include "libcds/result.h"

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
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

// Every statement the library runs, each prepared once per connection. Its
// text is in db.cpp, in a table whose rows name their ids.
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
    negate_child_seqs,
    renumber_children,
    find_source,
    add_source,
    drop_unused_sources,
    add_large_value,
    remove_large_value,
    count,
};

// The columns of an entry as the statements that read entries select them.
// db.cpp checks each such statement against the column names it keeps
// beside its table.
//
// An entry's value as every reader selects it: a number there is the id of
// a value kept in large_value (a number sorts before any text or bytes, and
// is cheaper to tell so than by its type's name), and an id that names none
// reads as NULL.
#define ENTRY_VALUE_SQL                                                                            \
    "CASE WHEN entry.value < '' THEN (SELECT value FROM large_value WHERE id = entry.value)"       \
    " ELSE entry.value END"
enum EntryColumn {
    COLUMN_NAME,
    COLUMN_KIND,
    COLUMN_PROPERTY,
    COLUMN_TYPE,
    COLUMN_VALUE,
    COLUMN_SECONDS,
    COLUMN_MICROSECONDS,
    COLUMN_SOURCE,
    COLUMN_COUNT,
};

// A data point of the node listed last, with its value in the form an
// element takes it, so that get_leaves hands the value over, never copies it.
struct ListedLeaf {
    std::string name;
    element_property_t property;
    data_type_t type;
    pcd_timestamp_t time;
    std::string text;
    std::vector<std::uint8_t> bytes;
};

// The listing holds a node's data points while they take at most this many
// bytes, about a thousand of them: a wider node's are read again by
// get_leaves, so that they are not held in the listing beside what it
// returns.
constexpr std::size_t listed_leaves_bytes = 256 * 1024;

// What a read transaction may reuse while it runs: the node it listed last
// (an empty path before its first listing), and that node's data points
// when it is not too wide to hold them. get_leaves hands them over in
// listing order; those before next_leaf are handed over or passed by.
struct ReadTransaction {
    std::string listed_path;
    std::optional<std::vector<ListedLeaf>> listed_leaves;
    std::size_t next_leaf = 0;
};

// A node that a write transaction found or made, and the seq its next child
// gets.
struct ResolvedNode {
    std::string path; // canonical
    sqlite3_int64 id = 0;
    sqlite3_int64 next_seq = 0;
};
// What a write transaction may reuse while it runs: the node it resolved
// last at each depth. Writes come in runs under one node, depth first, so
// these are mostly the node written to and the nodes above it, each looked
// up and its children counted once.
struct WriteTransaction {
    std::vector<ResolvedNode> by_depth;
    // The source resolved last: an import writes every data point with the
    // same one. No source is the empty text, id 0.
    std::string source_text;
    sqlite3_int64 source_id = 0;
};

struct pcd_connection {
    DatabasePtr db;
    // The store's name as given, and the file it named when opened: writes
    // to a file removed or replaced since would be lost.
    std::string file;
    dev_t device = 0;
    ino_t inode = 0;
    StatementPtr statements[static_cast<int>(Sql::count)];
    // One statement per depth, so that a walk can step all of them at once.
    std::vector<StatementPtr> walk_statements;
    bool page_cache_limited = false;
    // The text of the first failure since the transaction began: the
    // rollback or end of the read that follows replaces SQLite's own.
    std::string failure;
    // The transaction that runs, if any, with what it may reuse: made when
    // it begins, gone when it ends, so nothing outlives the snapshot or the
    // writes it was read in.
    std::optional<ReadTransaction> read;
    std::optional<WriteTransaction> write;
};

// The id of the root node, which always exists.
constexpr sqlite3_int64 root_node_id = 1;
// Writes keep seqs and node ids within these, as restore's checks do.
constexpr sqlite3_int64 max_seq = (sqlite3_int64(1) << 32) - 1;
constexpr sqlite3_int64 max_node_id = (sqlite3_int64(1) << 31) - 1;
// A longer value is kept in a row of its own: an entry's row keeps about
// 1000 bytes on its page and spills the rest over a page of its own, so
// this leaves room for a long name. A shorter one is read faster in place.
constexpr std::size_t large_value_bytes = 600;

// A statement for a one-off query, or null when it cannot be prepared.
StatementPtr prepare_query(sqlite3* db, const char* sql);
// The integer the query returns, or -1 when it fails.
sqlite3_int64 query_integer(sqlite3* db, const char* sql);

// The prepared statement, or null when it cannot be prepared.
StatementUse use_statement(pcd_connection& connection, Sql sql);
// The children statement for one depth of a walk, with the columns of
// EntryColumn.
StatementUse use_walk_statement(pcd_connection& connection, std::size_t depth);
// Runs a statement that returns no rows; true when it succeeded.
bool run_statement(pcd_connection& connection, Sql sql);

// Each lookup by path gives ok, missing or store_failed.

// The id of the node at a canonical path.
cds_store::Result find_node_id(pcd_connection& connection, std::string_view path,
                               sqlite3_int64& id);
// The entry at a canonical path other than the root; when found, query
// stands on its row, with the columns of EntryColumn.
cds_store::Result find_entry(pcd_connection& connection, std::string_view path,
                             StatementUse& query);
// The kind of the entry at a canonical path, the root included.
cds_store::Result find_kind(pcd_connection& connection, std::string_view path,
                            element_type_t& kind);

// A read transaction opens at the first read and stays open until the next
// write or pcd_close, so that reads in between see one snapshot.
bool begin_read_transaction(pcd_connection& connection);
void end_read_transaction(pcd_connection& connection);
// Ends a read that failed, remembering SQLite's account of the failure.
void abandon_read(pcd_connection& connection);
// Ends the read transaction, if any, first.
bool begin_write_transaction(pcd_connection& connection);
// Rolls back what it cannot commit.
bool commit_write_transaction(pcd_connection& connection);
// Rolls back what a failure left, remembering SQLite's account of it first.
void rollback_write_transaction(pcd_connection& connection);

// Remember, unless a failure of the transaction is remembered already,
// SQLite's account of the last one, or what is wrong with a store whose
// tables disagree.
void note_failure(pcd_connection& connection);
void note_damage(pcd_connection& connection, const std::string& what);
// Whether a child that the node at parent_path, of parent_depth names,
// lists on row (with the columns of EntryColumn) could have been written
// there; notes the damage when not. A name such as ".." or "a/b" would make
// the child's path name another entry, one past the limits none, an entry
// of no known kind is no entry at all, and a data point has a value.
bool is_sound_child(pcd_connection& connection, std::string_view parent_path,
                    std::size_t parent_depth, std::string_view name, sqlite3_stmt* row);
// The first failure remembered since the transaction began, or else
// SQLite's account of the last one.
std::string failure_text(const pcd_connection& connection);

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
inline int bind_result(std::initializer_list<int> results)
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

inline pcd_timestamp_t column_time(sqlite3_stmt* statement)
{
    return {static_cast<std::uint32_t>(sqlite3_column_int64(statement, COLUMN_SECONDS)),
            static_cast<std::uint32_t>(sqlite3_column_int64(statement, COLUMN_MICROSECONDS))};
}
