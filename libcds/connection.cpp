#include "libcds/connection.h"
#include "libcds/store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace
{

// Marks a database file as a store ("CDS1").
const int store_application_id = 0x43445331;
// The layout of the tables below.
const int store_version = 2;

// Processes sharing the store wait for each other, but not forever.
const int busy_timeout_ms = 5000;

// Each node has an id, and the root is node 1. Children are stored
// together under their parent's id, in creation order (seq), so listing a
// node reads one contiguous range and any entry is one lookup of (parent,
// name) away; a node is found from its canonical path by one more lookup.
// Integer keys keep the trees small, and a load that creates nodes in
// order appends to them rather than writing all over them.
const char* const schema_sql = R"(
CREATE TABLE node (
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL UNIQUE
);
CREATE TABLE entry (
    parent INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    name TEXT NOT NULL,
    kind INTEGER NOT NULL,
    property INTEGER NOT NULL,
    type INTEGER,
    value BLOB,
    seconds INTEGER,
    microseconds INTEGER,
    source TEXT,
    PRIMARY KEY (parent, seq),
    UNIQUE (parent, name)
) WITHOUT ROWID;
INSERT INTO node (id, path) VALUES (1, '/');
PRAGMA application_id = 1128551217;
PRAGMA user_version = 2;
)";

// Both return the columns of EntryColumn.
const char* const children_sql =
    "SELECT name, kind, property, type, value, seconds, microseconds, source"
    " FROM entry WHERE parent = ?1 ORDER BY seq";
// A listing runs once per node of a dump: it needs no source and finds the
// node by its path itself.
const char* const listing_sql =
    "SELECT name, kind, property, type, value, seconds, microseconds FROM entry"
    " WHERE parent = (SELECT id FROM node WHERE path = ?1) ORDER BY seq";

const char* const statement_sql[] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id FROM node WHERE path = ?1",
    listing_sql,
    "SELECT name, kind, property, type, value, seconds, microseconds, source"
    " FROM entry WHERE parent = ?1 AND name = ?2",
    "SELECT coalesce(max(seq), 0) + 1 FROM entry WHERE parent = ?1",
    // OR IGNORE: an insert that cannot fail halfway needs no statement
    // journal, whose upkeep dominated the cost of large imports.
    "INSERT OR IGNORE INTO node (path) VALUES (?1)",
    "INSERT OR IGNORE INTO entry (parent, seq, name, kind, property) VALUES (?1, ?2, ?3, 2, ?4)",
    "UPDATE entry SET property = ?4 WHERE parent = ?1 AND name = ?3 AND kind = 2",
    "INSERT OR IGNORE INTO entry (parent, seq, name, kind, property, type, value, seconds,"
    " microseconds, source) VALUES (?1, ?2, ?3, 1, ?4, ?5, ?6, ?7, ?8, ?9)",
    "UPDATE entry SET property = CASE WHEN ?10 THEN property ELSE ?4 END, type = ?5, value = ?6,"
    " seconds = ?7, microseconds = ?8, source = ?9 WHERE parent = ?1 AND name = ?3 AND kind = 1",
    // The nodes at and below the path ?1: those below start with ?2 (?1 "/",
    // or "/" for the root) and sort before ?3 (?1 "0").
    "DELETE FROM entry WHERE parent IN"
    " (SELECT id FROM node WHERE path = ?1 OR (path > ?2 AND path < ?3))",
    // The root's own row stays.
    "DELETE FROM node WHERE id != 1 AND (path = ?1 OR (path > ?2 AND path < ?3))",
    "DELETE FROM entry WHERE parent = ?1 AND name = ?2",
};
static_assert(sizeof statement_sql / sizeof statement_sql[0] == static_cast<int>(Sql::count));

StatementPtr prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    return StatementPtr(statement);
}

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The integer the query returns, or -1 when it fails.
sqlite3_int64 query_integer(sqlite3* db, const char* sql)
{
    StatementPtr statement = prepare(db, sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int64(statement.get(), 0);
}

bool is_empty_database(sqlite3* db)
{
    return query_integer(db, "PRAGMA application_id") == 0 &&
           query_integer(db, "SELECT count(*) FROM sqlite_schema") == 0;
}

// Gives an empty database the schema. Two processes may find the same new
// file empty; the second one to get the write lock finds it done.
bool create_schema(sqlite3* db)
{
    if (!exec(db, "BEGIN IMMEDIATE"))
        return false;
    if ((is_empty_database(db) && !exec(db, schema_sql)) || !exec(db, "COMMIT")) {
        exec(db, "ROLLBACK");
        return false;
    }
    return true;
}

// Turning a file to WAL mode takes a lock that SQLite's busy handler does
// not wait for, so a process opening a store that another one is creating
// retries for as long as the busy timeout.
bool use_wal_mode(sqlite3* db)
{
    const int pause_ms = 10;
    for (int waited = 0; waited < busy_timeout_ms; waited += pause_ms) {
        int result = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if (result != SQLITE_BUSY)
            return result == SQLITE_OK;
        sqlite3_sleep(pause_ms);
    }
    return false;
}

bool open_store(sqlite3* db)
{
    if (is_empty_database(db) && (!use_wal_mode(db) || !create_schema(db)))
        return false;
    // Read only now: another process may have given a new file its schema
    // since this one found it empty.
    if (!is_store_database(db))
        return false;
    // A crash of the machine may lose the last transactions but never
    // corrupts the store; writes stay cheap.
    return use_wal_mode(db) && exec(db, "PRAGMA synchronous = NORMAL");
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
    exec(connection.db.get(), "PRAGMA cache_size = -512");
}

// SQLite gives an empty name, ":memory:" and a "file:" URI meanings of
// their own, none of them a store that outlives the process or the one the
// name seems to give; the store is only ever the file at a plain path.
bool is_plain_path(const std::string& file)
{
    return !file.empty() && file != ":memory:" && file.compare(0, 5, "file:") != 0;
}

// The store holds passwords, so a new one is for its owner only. SQLite
// gives the -wal and -shm files the mode of the main file, so making that
// one first covers all three. O_EXCL: an existing file, or one another
// process has just made, keeps its mode. Any other failure is SQLite's to
// report when it opens the file.
void make_private_file(const std::string& file)
{
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        close(fd);
}

} // namespace

pcd_handle_t pcd_init()
{
    std::string file = cds_store::store_file();
    if (!is_plain_path(file))
        return nullptr;
    make_private_file(file);
    sqlite3* raw = nullptr;
    // A connection is used by one thread at a time, so SQLite's own locking
    // of each call is only overhead.
    int result =
        sqlite3_open_v2(file.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    DatabasePtr db(raw);
    if (result != SQLITE_OK)
        return nullptr;
    // Processes sharing the store wait for each other, but not forever.
    sqlite3_busy_timeout(db.get(), busy_timeout_ms);
    if (!open_store(db.get()))
        return nullptr;
    pcd_handle_t handle = new pcd_connection;
    handle->db = std::move(db);
    return handle;
}

void pcd_close(pcd_handle_t handle)
{
    if (!handle)
        return;
    end_read(*handle);
    delete handle;
}

bool is_store_database(sqlite3* db)
{
    return query_integer(db, "PRAGMA application_id") == store_application_id &&
           query_integer(db, "PRAGMA user_version") == store_version;
}

const char* store_schema()
{
    return schema_sql;
}

StatementUse use_statement(pcd_connection& connection, Sql sql)
{
    StatementPtr& statement = connection.statements[static_cast<int>(sql)];
    if (!statement)
        statement = prepare(connection.db.get(), statement_sql[static_cast<int>(sql)]);
    return StatementUse(statement.get());
}

StatementUse use_walk_statement(pcd_connection& connection, std::size_t depth)
{
    if (connection.walk_statements.size() <= depth)
        connection.walk_statements.resize(depth + 1);
    StatementPtr& statement = connection.walk_statements[depth];
    if (!statement)
        statement = prepare(connection.db.get(), children_sql);
    return StatementUse(statement.get());
}

bool run_statement(pcd_connection& connection, Sql sql)
{
    StatementUse statement = use_statement(connection, sql);
    return statement && sqlite3_step(statement.get()) == SQLITE_DONE;
}

Lookup find_node_id(pcd_connection& connection, std::string_view path, sqlite3_int64& id)
{
    if (path == "/") {
        id = root_node_id;
        return Lookup::found;
    }
    StatementUse query = use_statement(connection, Sql::find_node);
    if (!query)
        return Lookup::failed;
    if (bind_text(query.get(), 1, path) != SQLITE_OK)
        return Lookup::failed;
    int step = sqlite3_step(query.get());
    if (step != SQLITE_ROW)
        return step == SQLITE_DONE ? Lookup::missing : Lookup::failed;
    id = sqlite3_column_int64(query.get(), 0);
    return Lookup::found;
}

Lookup find_entry(pcd_connection& connection, std::string_view path, StatementUse& query)
{
    sqlite3_int64 parent = 0;
    Lookup found = find_node_id(connection, parent_of(path), parent);
    if (found != Lookup::found)
        return found;
    query = use_statement(connection, Sql::find_entry);
    if (!query)
        return Lookup::failed;
    if (first_failure({sqlite3_bind_int64(query.get(), 1, parent),
                       bind_text(query.get(), 2, name_of(path))}) != SQLITE_OK)
        return Lookup::failed;
    int step = sqlite3_step(query.get());
    if (step != SQLITE_ROW)
        return step == SQLITE_DONE ? Lookup::missing : Lookup::failed;
    return Lookup::found;
}

bool begin_read(pcd_connection& connection)
{
    if (connection.reading)
        return true;
    limit_page_cache(connection);
    connection.listing_valid = false;
    connection.failure.clear();
    connection.reading = run_statement(connection, Sql::begin_read);
    if (!connection.reading)
        note_failure(connection);
    return connection.reading;
}

void end_read(pcd_connection& connection)
{
    connection.listing_valid = false;
    if (!connection.reading)
        return;
    connection.reading = false;
    if (!run_statement(connection, Sql::commit))
        run_statement(connection, Sql::rollback);
}

bool begin_write(pcd_connection& connection)
{
    end_read(connection);
    limit_page_cache(connection);
    connection.last_node_valid = false;
    connection.failure.clear();
    if (run_statement(connection, Sql::begin_write))
        return true;
    note_failure(connection);
    return false;
}

bool commit_write(pcd_connection& connection)
{
    connection.last_node_valid = false;
    if (run_statement(connection, Sql::commit))
        return true;
    rollback_write(connection);
    return false;
}

void rollback_write(pcd_connection& connection)
{
    note_failure(connection);
    connection.last_node_valid = false;
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

namespace cds_store
{

std::string store_file()
{
    const char* file = std::getenv("CDS_STORE");
    return file ? file : "/var/lib/cds/store.db";
}

Result begin_batch(pcd_handle_t handle)
{
    return handle && begin_write(*handle) ? Result::ok : Result::store_failed;
}

Result commit_batch(pcd_handle_t handle)
{
    return handle && commit_write(*handle) ? Result::ok : Result::store_failed;
}

void rollback_batch(pcd_handle_t handle)
{
    if (handle)
        rollback_write(*handle);
}

} // namespace cds_store
