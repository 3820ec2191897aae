// SPDX-License-Identifier: MIT
#include "libcds/db.h"
#include "libcds/path.h"

#include <sys/stat.h>

#include <iterator>

using cds_store::Result;

namespace
{

struct ColumnName {
    EntryColumn id;
    std::string_view name;
};
// The statements that read entries select these columns first, in this
// order.
constexpr ColumnName entry_columns[] = {
    {COLUMN_NAME, "name"},
    {COLUMN_KIND, "kind"},
    {COLUMN_PROPERTY, "property"},
    {COLUMN_TYPE, "type"},
    {COLUMN_VALUE, ENTRY_VALUE_SQL},
    {COLUMN_SECONDS, "seconds"},
    {COLUMN_MICROSECONDS, "microseconds"},
    {COLUMN_SOURCE, "source.text"},
};

struct StatementText {
    Sql id;
    // How many of entry_columns the statement selects (0 for one that reads
    // no entries).
    int entry_columns;
    const char* sql;
};

// A node's children are its entries in seq order. A dump lists each node
// with its data points' values, then asks for them; a node too wide to hold
// them is read once more. Neither needs a source; both find the node by its
// path themselves.
constexpr StatementText statement_table[] = {
    {Sql::begin_read, 0, "BEGIN"},
    {Sql::begin_write, 0, "BEGIN IMMEDIATE"},
    {Sql::commit, 0, "COMMIT"},
    {Sql::rollback, 0, "ROLLBACK"},
    {Sql::find_node, 0, "SELECT id FROM node WHERE path = ?1"},
    {Sql::list_children, COLUMN_MICROSECONDS + 1,
     "SELECT name, kind, property, type, " ENTRY_VALUE_SQL ", seconds, microseconds FROM entry"
     " WHERE parent = (SELECT id FROM node WHERE path = ?1) ORDER BY seq"},
    {Sql::find_entry, COLUMN_COUNT,
     "SELECT name, kind, property, type, " ENTRY_VALUE_SQL ", seconds, microseconds, source.text"
     " FROM entry LEFT JOIN source ON source.id = entry.source WHERE parent = ?1 AND name = ?2"},
    {Sql::next_seq, 0, "SELECT coalesce(max(seq), 0) + 1 FROM entry WHERE parent = ?1"},
    // OR IGNORE: an insert that cannot fail halfway needs no statement
    // journal, whose upkeep would dominate the cost of a large import.
    {Sql::insert_node_path, 0, "INSERT OR IGNORE INTO node (path) VALUES (?1)"},
    {Sql::insert_node, 0,
     "INSERT OR IGNORE INTO entry (parent, seq, name, kind, property) VALUES (?1, ?2, ?3, 2, ?4)"},
    {Sql::set_node_property, 0,
     "UPDATE entry SET property = ?4 WHERE parent = ?1 AND name = ?3 AND kind = 2"},
    {Sql::insert_leaf, 0,
     "INSERT OR IGNORE INTO entry (parent, seq, name, kind, property, type, value, seconds,"
     " microseconds, source) VALUES (?1, ?2, ?3, 1, ?4, ?5, ?6, ?7, ?8, ?9)"},
    {Sql::update_leaf, 0,
     "UPDATE entry SET property = CASE WHEN ?10 THEN property ELSE ?4 END, type = ?5, value = ?6,"
     " seconds = ?7, microseconds = ?8, source = ?9 WHERE parent = ?1 AND name = ?3 AND kind = 1"},
    // The nodes at and below the path ?1: those below start with ?2 (?1 "/",
    // or "/" for the root) and sort before ?3 (?1 "0").
    {Sql::remove_subtree_entries, 0,
     "DELETE FROM entry WHERE parent IN"
     " (SELECT id FROM node WHERE path = ?1 OR (path > ?2 AND path < ?3))"},
    // The root's own row stays.
    {Sql::remove_subtree_nodes, 0,
     "DELETE FROM node WHERE id != 1 AND (path = ?1 OR (path > ?2 AND path < ?3))"},
    {Sql::remove_entry, 0, "DELETE FROM entry WHERE parent = ?1 AND name = ?2"},
    {Sql::negate_child_seqs, 0, "UPDATE entry SET seq = -seq WHERE parent = ?1"},
    {Sql::renumber_children, 0,
     "UPDATE entry SET seq = renumbered.seq FROM (SELECT seq AS old,"
     " row_number() OVER (ORDER BY seq DESC) AS seq FROM entry WHERE parent = ?1 AND seq < 0)"
     " AS renumbered WHERE parent = ?1 AND entry.seq = renumbered.old"},
    {Sql::find_source, 0, "SELECT id FROM source WHERE hash = ?1 AND text = ?2"},
    {Sql::add_source, 0, "INSERT INTO source (hash, text) VALUES (?1, ?2)"},
    {Sql::drop_unused_sources, 0,
     "DELETE FROM source WHERE id NOT IN (SELECT source FROM entry WHERE source IS NOT NULL)"},
    {Sql::add_large_value, 0, "INSERT INTO large_value (value) VALUES (?1)"},
    {Sql::remove_large_value, 0, "DELETE FROM large_value WHERE id = ?1"},
};

constexpr const char* walk_children_sql =
    "SELECT name, kind, property, type, " ENTRY_VALUE_SQL ", seconds, microseconds, source.text"
    " FROM entry LEFT JOIN source ON source.id = entry.source WHERE parent = ?1 ORDER BY seq";

// Whether row i of the table holds id i, so that an id finds its own row.
template <typename Row, std::size_t count> constexpr bool rows_in_id_order(const Row (&rows)[count])
{
    for (std::size_t i = 0; i < count; ++i)
        if (static_cast<std::size_t>(rows[i].id) != i)
            return false;
    return true;
}

// Whether sql selects the first count entry columns, by name and in order,
// before anything else.
constexpr bool selects_entry_columns(std::string_view sql, int count)
{
    std::string_view select = "SELECT ";
    if (sql.substr(0, select.size()) != select)
        return false;
    sql.remove_prefix(select.size());
    for (int i = 0; i < count; ++i) {
        std::string_view name = entry_columns[i].name;
        std::string_view after = i + 1 < count ? ", " : " FROM ";
        if (sql.substr(0, name.size()) != name || sql.substr(name.size(), after.size()) != after)
            return false;
        sql.remove_prefix(name.size() + after.size());
    }
    return true;
}

constexpr bool statements_select_entry_columns()
{
    for (const StatementText& row : statement_table)
        if (row.entry_columns > 0 && !selects_entry_columns(row.sql, row.entry_columns))
            return false;
    return selects_entry_columns(walk_children_sql, COLUMN_COUNT);
}

static_assert(std::size(entry_columns) == COLUMN_COUNT && rows_in_id_order(entry_columns));
static_assert(std::size(statement_table) == static_cast<std::size_t>(Sql::count) &&
              rows_in_id_order(statement_table));
static_assert(statements_select_entry_columns());

// Kept for the life of the connection.
StatementPtr prepare_persistent(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    return StatementPtr(statement);
}

// A walk reads the store a subtree at a time and writes come in small
// batches, so a small page cache misses hardly more often than a large one,
// and keeps memory flat however large the store grows. Set at the first
// transaction, not at pcd_init: a read of the schema then could keep another
// process from turning a new file to WAL mode. Only a hint: the store works
// as well without it.
void limit_page_cache(pcd_connection& connection)
{
    if (connection.page_cache_limited)
        return;
    connection.page_cache_limited = true;
    sqlite3_exec(connection.db.get(), "PRAGMA cache_size = -512", nullptr, nullptr, nullptr);
}

bool is_file_still_named(const pcd_connection& connection)
{
    struct stat info;
    return stat(connection.file.c_str(), &info) == 0 && info.st_dev == connection.device &&
           info.st_ino == connection.inode;
}

Result step_lookup(sqlite3_stmt* query)
{
    int step = sqlite3_step(query);
    if (step == SQLITE_ROW)
        return Result::ok;
    return step == SQLITE_DONE ? Result::missing : Result::store_failed;
}

} // namespace

StatementPtr prepare_query(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return StatementPtr(statement);
}

sqlite3_int64 query_integer(sqlite3* db, const char* sql)
{
    StatementPtr query = prepare_query(db, sql);
    if (!query || sqlite3_step(query.get()) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int64(query.get(), 0);
}

StatementUse use_statement(pcd_connection& connection, Sql sql)
{
    StatementPtr& statement = connection.statements[static_cast<int>(sql)];
    if (!statement)
        statement =
            prepare_persistent(connection.db.get(), statement_table[static_cast<int>(sql)].sql);
    return StatementUse(statement.get());
}

StatementUse use_walk_statement(pcd_connection& connection, std::size_t depth)
{
    if (connection.walk_statements.size() <= depth)
        connection.walk_statements.resize(depth + 1);
    StatementPtr& statement = connection.walk_statements[depth];
    if (!statement)
        statement = prepare_persistent(connection.db.get(), walk_children_sql);
    return StatementUse(statement.get());
}

bool run_statement(pcd_connection& connection, Sql sql)
{
    StatementUse statement = use_statement(connection, sql);
    return statement && sqlite3_step(statement.get()) == SQLITE_DONE;
}

Result find_node_id(pcd_connection& connection, std::string_view path, sqlite3_int64& id)
{
    if (path == "/") {
        id = root_node_id;
        return Result::ok;
    }
    StatementUse query = use_statement(connection, Sql::find_node);
    if (!query || bind_text(query.get(), 1, path) != SQLITE_OK)
        return Result::store_failed;
    Result found = step_lookup(query.get());
    if (found == Result::ok)
        id = sqlite3_column_int64(query.get(), 0);
    return found;
}

Result find_entry(pcd_connection& connection, std::string_view path, StatementUse& query)
{
    sqlite3_int64 parent = 0;
    Result found = find_node_id(connection, cds_store::parent_of(path), parent);
    if (found != Result::ok)
        return found;
    query = use_statement(connection, Sql::find_entry);
    if (!query || bind_result({sqlite3_bind_int64(query.get(), 1, parent),
                               bind_text(query.get(), 2, cds_store::name_of(path))}) != SQLITE_OK)
        return Result::store_failed;
    return step_lookup(query.get());
}

Result find_kind(pcd_connection& connection, std::string_view path, element_type_t& kind)
{
    if (path == "/") {
        kind = ELEMENT_TYPE_NODE;
        return Result::ok;
    }
    StatementUse query;
    Result found = find_entry(connection, path, query);
    if (found == Result::ok)
        kind = static_cast<element_type_t>(sqlite3_column_int(query.get(), COLUMN_KIND));
    return found;
}

bool begin_read_transaction(pcd_connection& connection)
{
    if (connection.read)
        return true;
    limit_page_cache(connection);
    connection.failure.clear();
    if (!run_statement(connection, Sql::begin_read)) {
        note_failure(connection);
        return false;
    }
    connection.read.emplace();
    return true;
}

void end_read_transaction(pcd_connection& connection)
{
    if (!connection.read)
        return;
    connection.read.reset();
    if (!run_statement(connection, Sql::commit))
        run_statement(connection, Sql::rollback);
}

void abandon_read(pcd_connection& connection)
{
    note_failure(connection);
    end_read_transaction(connection);
}

bool begin_write_transaction(pcd_connection& connection)
{
    end_read_transaction(connection);
    limit_page_cache(connection);
    connection.failure.clear();
    if (!is_file_still_named(connection)) {
        connection.failure = "the store's file was removed or replaced since it was opened";
        return false;
    }
    if (!run_statement(connection, Sql::begin_write)) {
        note_failure(connection);
        return false;
    }
    connection.write.emplace();
    return true;
}

bool commit_write_transaction(pcd_connection& connection)
{
    connection.write.reset();
    if (run_statement(connection, Sql::commit))
        return true;
    rollback_write_transaction(connection);
    return false;
}

void rollback_write_transaction(pcd_connection& connection)
{
    note_failure(connection);
    connection.write.reset();
    if (sqlite3_get_autocommit(connection.db.get()) == 0)
        run_statement(connection, Sql::rollback);
}

void note_failure(pcd_connection& connection)
{
    if (connection.failure.empty())
        connection.failure = sqlite3_errmsg(connection.db.get());
}

void note_damage(pcd_connection& connection, const std::string& what)
{
    if (connection.failure.empty())
        connection.failure = "the store is damaged: " + what;
}

bool is_sound_child(pcd_connection& connection, std::string_view parent_path,
                    std::size_t parent_depth, std::string_view name, sqlite3_stmt* row)
{
    int kind = sqlite3_column_int(row, COLUMN_KIND);
    if (!cds_store::valid_entry_name(name)) {
        note_damage(connection, "a name under '" + std::string(parent_path) + "' is not valid");
        return false;
    }
    std::size_t prefix = parent_path == "/" ? 1 : parent_path.size() + 1;
    if (parent_depth >= cds_store::max_path_depth ||
        prefix + name.size() > cds_store::max_path_bytes) {
        note_damage(connection, "an entry under '" + std::string(parent_path) +
                                    "' lies past the store's limits");
        return false;
    }
    if (kind != ELEMENT_TYPE_LEAF && kind != ELEMENT_TYPE_NODE) {
        note_damage(connection,
                    "an entry under '" + std::string(parent_path) + "' is of no known kind");
        return false;
    }
    if (kind == ELEMENT_TYPE_LEAF && sqlite3_column_type(row, COLUMN_VALUE) == SQLITE_NULL) {
        note_damage(connection, "a value under '" + std::string(parent_path) + "' is missing");
        return false;
    }
    return true;
}

std::string failure_text(const pcd_connection& connection)
{
    return connection.failure.empty() ? sqlite3_errmsg(connection.db.get()) : connection.failure;
}
