// SPDX-License-Identifier: MIT
#include "libcds/open.h"
#include "libcds/admin.h"
#include "libcds/rows.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace
{

// Marks a database file as a store ("CDS1").
const int store_application_id = 0x43445331;
// The layout of the tables below; forms from oldest_store_version on are
// brought to it.
const int store_version = 4;
const int oldest_store_version = 2;

const int busy_timeout_ms = 5000;

// Each node has an id, and the root is node 1; a node is found from its
// canonical path by one lookup. An entry is kept under its parent's id and
// its seq, its place among its parent's children in creation order, so
// listing a node reads one contiguous range, and any entry is one lookup of
// (parent, name) away. A value longer than large_value_bytes would spill
// its entry's row over a page of its own: it is kept in large_value, and the
// entry's value is that row's id. Values are written as text or bytes,
// never as integers, so an integer there is always such an id. A source
// text, often long and carried by many data points, is kept once and found
// again by its hash.
const char* const node_table_sql = R"(
CREATE TABLE node (
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL UNIQUE
);)";
const char* const entry_tables_sql = R"(
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
    source INTEGER,
    PRIMARY KEY (parent, seq),
    UNIQUE (parent, name)
) WITHOUT ROWID;
CREATE TABLE source (
    id INTEGER PRIMARY KEY,
    hash INTEGER NOT NULL,
    text TEXT NOT NULL
);
CREATE INDEX source_hash ON source (hash);
CREATE TABLE large_value (
    id INTEGER PRIMARY KEY,
    value BLOB NOT NULL
);
CREATE TRIGGER large_value_removed AFTER DELETE ON entry WHEN typeof(old.value) = 'integer'
BEGIN
    DELETE FROM large_value WHERE id = old.value;
END;
CREATE TRIGGER large_value_replaced AFTER UPDATE OF value ON entry
    WHEN typeof(old.value) = 'integer' AND old.value IS NOT new.value
BEGIN
    DELETE FROM large_value WHERE id = old.value;
END;
)";
const char* const marks_sql = R"(
INSERT INTO node (id, path) VALUES (1, '/');
PRAGMA application_id = 1128551217;
PRAGMA user_version = 4;
)";
const std::string schema_sql = std::string(node_table_sql) + entry_tables_sql + marks_sql;

// What each old form keeps of an entry, as the rows of old_entry_row: its
// parent's path, seq, name, kind, property, type, value, time and source
// text. Form 2 kept the source text in the entry's row; form 3 keyed an
// entry by its parent's id times 2^32 plus its seq, and kept sources apart.
const char* const old_entry_rows_sql[] = {
    R"(
ALTER TABLE node RENAME TO old_node;
ALTER TABLE entry RENAME TO old_entry;
CREATE TEMP VIEW old_entry_row AS
    SELECT old_node.path AS parent_path, seq, name, kind, property, type, value, seconds,
        microseconds, source AS source_text
    FROM old_entry JOIN old_node ON old_node.id = old_entry.parent;
)",
    R"(
ALTER TABLE node RENAME TO old_node;
ALTER TABLE entry RENAME TO old_entry;
DROP INDEX source_hash;
ALTER TABLE source RENAME TO old_source;
CREATE TEMP VIEW old_entry_row AS
    SELECT old_node.path AS parent_path, key & 4294967295 AS seq, name, kind, property, type,
        value, seconds, microseconds, old_source.text AS source_text
    FROM old_entry JOIN old_node ON old_node.id = key >> 32
        LEFT JOIN old_source ON old_source.id = old_entry.source;
)",
};

// Old forms allowed ids and seqs up to 2^62: the nodes and each node's
// children are numbered anew, in order. Large values are numbered in the
// order of their entries, counted alike in both tables.
std::string migration_sql(sqlite3_int64 version)
{
    std::string large = "length(CAST(value AS BLOB)) > " + std::to_string(large_value_bytes);
    return old_entry_rows_sql[version - oldest_store_version] + std::string(node_table_sql) +
           entry_tables_sql + R"(
INSERT INTO node (id, path) SELECT row_number() OVER (ORDER BY id), path FROM old_node;
INSERT INTO source (hash, text) SELECT source_hash(source_text), source_text FROM old_entry_row
    WHERE kind = 1 AND source_text != '' GROUP BY source_text;
INSERT INTO large_value (id, value)
    SELECT row_number() OVER (ORDER BY parent_path, seq), value FROM old_entry_row
    WHERE )" +
           large + R"(;
INSERT INTO entry (parent, seq, name, kind, property, type, value, seconds, microseconds, source)
    SELECT node.id, row_number() OVER (PARTITION BY node.id ORDER BY seq), name, kind, property,
        type, CASE WHEN )" +
           large + " THEN sum(" + large + R"() OVER (ORDER BY parent_path, seq) ELSE value END,
        seconds, microseconds,
        (SELECT id FROM source WHERE hash = source_hash(source_text) AND text = source_text)
    FROM old_entry_row JOIN node ON node.path = parent_path
    ORDER BY 1, 2;
DROP VIEW old_entry_row;
DROP TABLE old_entry;
DROP TABLE old_node;
DROP TABLE IF EXISTS old_source;
PRAGMA user_version = 4;
)";
}

void sql_source_hash(sqlite3_context* context, int, sqlite3_value** arguments)
{
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    std::size_t size = static_cast<std::size_t>(sqlite3_value_bytes(arguments[0]));
    sqlite3_result_int64(context, source_hash({text ? text : "", size}));
}

// The reasons a file cannot be opened that a user can act on, in plain
// words; any other in the system's.
std::string system_reason(int error)
{
    if (error == ENOENT)
        return "no such store";
    if (error == EACCES || error == EPERM)
        return "permission denied";
    return std::strerror(error);
}

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
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
    if ((is_empty_database(db) && !exec(db, schema_sql.c_str())) || !exec(db, "COMMIT")) {
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

// Why the last call on db failed, in the words cdsctl shows.
std::string failure_reason(sqlite3* db)
{
    switch (sqlite3_errcode(db) & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "locked";
    case SQLITE_NOTADB:
        return "not a store";
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        return system_reason(sqlite3_system_errno(db));
    }
    return sqlite3_errmsg(db);
}

// Empty when db is a store ready for use, else why not. A new file, which
// only a creating open accepts, gets the schema first.
std::string prepare_store(sqlite3* db, bool may_fill)
{
    sqlite3_int64 id = query_integer(db, "PRAGMA application_id");
    if (id == -1)
        return failure_reason(db);
    bool empty = is_empty_database(db);
    if (empty && !may_fill)
        return "not a store";
    if (empty && (!use_wal_mode(db) || !create_schema(db)))
        return failure_reason(db);
    // Read only now: another process may have given a new file its schema
    // since this one found it empty.
    StoreForm form = store_form(db);
    if (form == StoreForm::not_a_store)
        return query_integer(db, "PRAGMA user_version") == -1 ? failure_reason(db) : "not a store";
    if (form == StoreForm::newer)
        return newer_store;
    if (!has_utf8_encoding(db))
        return "the store is damaged: its encoding is not UTF-8";
    // A crash of the machine may lose the last transactions but never
    // corrupts the store; writes stay cheap.
    if (!use_wal_mode(db) || !exec(db, "PRAGMA synchronous = NORMAL"))
        return failure_reason(db);
    std::string why;
    if (form == StoreForm::old && !migrate_store(db, why))
        return why;
    return "";
}

// Makes the file of a new store, for its owner only, since it will hold
// passwords. SQLite gives the -wal and -shm files the mode of the main
// file, so making that one first covers all three. A dangling symbolic link
// is followed, and its target made with the same mode. created: the file
// was not there before.
bool make_store_file(const std::string& file, cds_store::Opening opening, bool& created,
                     std::string& why)
{
    struct stat info;
    if (stat(file.c_str(), &info) == 0) {
        if (opening != cds_store::Opening::create_new)
            return true;
        why = "a file is there already";
        return false;
    }
    if (errno != ENOENT) {
        why = system_reason(errno);
        return false;
    }
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = errno == ENOENT ? "no such directory" : system_reason(errno);
        return false;
    }
    close(fd);
    created = true;
    return true;
}

// A store that is not there is one to say so about before SQLite opens
// anything.
bool store_file_is_there(const std::string& file, std::string& why)
{
    struct stat info;
    if (stat(file.c_str(), &info) == 0)
        return true;
    why = system_reason(errno);
    return false;
}

} // namespace

pcd_handle_t cds_store::open_store(const std::string& file, Opening opening, bool& created,
                                   std::string& why)
{
    created = false;
    if (!is_plain_path(file)) {
        why = "not a store";
        return nullptr;
    }
    bool may_fill = opening != Opening::existing;
    if (may_fill ? !make_store_file(file, opening, created, why) : !store_file_is_there(file, why))
        return nullptr;
    // SQLite would only say that it cannot open the file.
    if (access(file.c_str(), R_OK) != 0) {
        why = system_reason(errno);
        return nullptr;
    }
    // A connection is used by one thread at a time, so SQLite's own locking
    // of each call is only overhead.
    DatabasePtr db = open_database(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, why);
    if (db)
        why = prepare_store(db.get(), may_fill);
    if (!db || !why.empty())
        return nullptr;
    // Writes check that the name still leads to this file.
    struct stat info;
    if (stat(file.c_str(), &info) != 0) {
        why = system_reason(errno);
        return nullptr;
    }
    pcd_handle_t handle = new pcd_connection;
    handle->db = std::move(db);
    handle->file = file;
    handle->device = info.st_dev;
    handle->inode = info.st_ino;
    return handle;
}

pcd_handle_t pcd_init()
{
    bool created = false;
    std::string why;
    return cds_store::open_store(cds_store::store_file(), cds_store::Opening::existing, created,
                                 why);
}

void pcd_close(pcd_handle_t handle)
{
    if (!handle)
        return;
    end_read_transaction(*handle);
    delete handle;
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
    // Processes sharing the store wait for each other, but not forever.
    sqlite3_busy_timeout(db.get(), busy_timeout_ms);
    return db;
}

// SQLite gives an empty name, ":memory:" and a "file:" URI meanings of
// their own, none of them a store that outlives the process or the one the
// name seems to give; the store is only ever the file at a plain path.
bool is_plain_path(const std::string& file)
{
    return !file.empty() && file != ":memory:" && file.compare(0, 5, "file:") != 0;
}

bool has_utf8_encoding(sqlite3* db)
{
    StatementPtr query = prepare_query(db, "PRAGMA encoding");
    return query && sqlite3_step(query.get()) == SQLITE_ROW &&
           column_text(query.get(), 0) == "UTF-8";
}

const char* store_schema()
{
    return schema_sql.c_str();
}

bool add_source_hash(sqlite3* db)
{
    return sqlite3_create_function(db, "source_hash", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, sql_source_hash, nullptr, nullptr) == SQLITE_OK;
}

StoreForm store_form(sqlite3* db)
{
    if (query_integer(db, "PRAGMA application_id") != store_application_id)
        return StoreForm::not_a_store;
    sqlite3_int64 version = query_integer(db, "PRAGMA user_version");
    if (version == store_version)
        return StoreForm::current;
    if (version >= oldest_store_version && version < store_version)
        return StoreForm::old;
    return version > store_version ? StoreForm::newer : StoreForm::not_a_store;
}

bool migrate_store(sqlite3* db, std::string& why)
{
    if (!add_source_hash(db) || !exec(db, "BEGIN IMMEDIATE")) {
        why = failure_reason(db);
        return false;
    }
    // Another process may have done it since this one looked.
    bool old = store_form(db) == StoreForm::old;
    // -1 when reading it again fails, which fails the migration.
    sqlite3_int64 version = query_integer(db, "PRAGMA user_version");
    if ((old && (version < oldest_store_version || !exec(db, migration_sql(version).c_str()))) ||
        !exec(db, "COMMIT")) {
        why = failure_reason(db);
        exec(db, "ROLLBACK");
        return false;
    }
    // The old tables' pages would stay in the file, free. Only a hint: the
    // store works as well without it.
    if (old)
        exec(db, "VACUUM");
    return true;
}
