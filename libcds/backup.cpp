// SPDX-License-Identifier: MIT
#include "libcds/backup.h"
#include "common/hex.h"
#include "common/path.h"
#include "common/replace_file.h"
#include "libcds/open.h"
#include "libcds/path.h"
#include "libcds/write.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

using cds_store::Result;

namespace
{

// Copies every page of from into to. The busy timeouts of both
// connections wait for other processes' locks, as for every other call;
// retrying on top of them would double the wait.
Result copy_database(sqlite3* to, sqlite3* from, std::string& error)
{
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) {
        error = sqlite3_errmsg(to);
        return Result::store_failed;
    }
    int step = sqlite3_backup_step(backup, -1);
    int finish = sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE || finish != SQLITE_OK) {
        error = sqlite3_errstr(step != SQLITE_DONE ? step : finish);
        return Result::store_failed;
    }
    return Result::ok;
}

Result refuse(std::string& error, const char* reason)
{
    error = reason;
    return Result::not_a_backup;
}

// A check that could not run says why.
Result failed_check(sqlite3* db, std::string& error)
{
    error = sqlite3_errmsg(db);
    return Result::store_failed;
}

bool passes_integrity_check(sqlite3* db)
{
    StatementPtr check = prepare_query(db, "PRAGMA integrity_check(1)");
    return check && sqlite3_step(check.get()) == SQLITE_ROW && column_text(check.get(), 0) == "ok";
}

const char* const schema_query =
    "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type, name";

bool same_rows(sqlite3_stmt* one, sqlite3_stmt* other)
{
    int step;
    while ((step = sqlite3_step(one)) == SQLITE_ROW) {
        if (sqlite3_step(other) != SQLITE_ROW)
            return false;
        for (int column = 0; column < sqlite3_column_count(one); ++column)
            if (column_text(one, column) != column_text(other, column))
                return false;
    }
    return step == SQLITE_DONE && sqlite3_step(other) == SQLITE_DONE;
}

// The same tables and indexes as a new store, and nothing else: a trigger
// or a view in a backup would act on every later use of the store.
Result has_store_schema(sqlite3* saved, std::string& error)
{
    DatabasePtr fresh = open_database(":memory:", SQLITE_OPEN_READWRITE, error);
    if (!fresh)
        return Result::store_failed;
    if (sqlite3_exec(fresh.get(), store_schema(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return failed_check(fresh.get(), error);
    StatementPtr ours = prepare_query(fresh.get(), schema_query);
    if (!ours)
        return failed_check(fresh.get(), error);
    StatementPtr theirs = prepare_query(saved, schema_query);
    if (!theirs)
        return failed_check(saved, error);
    return same_rows(theirs.get(), ours.get())
               ? Result::ok
               : refuse(error, "the backup's schema is not the store's");
}

struct RowRule {
    const char* sql; // returns a row that breaks the rule
    const char* reason;
};

// With the names and types checked row by row, these make every entry one
// that set and import could have written, reached from the root by its path.
const RowRule row_rules[] = {
    {"SELECT 1 FROM entry WHERE kind NOT IN (1, 2)", "the backup holds an entry of no known kind"},
    {"SELECT 1 FROM entry WHERE typeof(property) != 'integer' OR property NOT BETWEEN 0 AND 255",
     "the backup holds a property outside 0..255"},
    // Writes number entries and nodes from 1, node ids up to max_node_id,
    // and stamp data points with two 32-bit words; a data point's source is
    // one kept, found by its hash, and a node has neither time nor source.
    {"SELECT 1 FROM entry WHERE typeof(seq) != 'integer' OR seq NOT BETWEEN 1 AND 4294967295"
     " UNION ALL SELECT 1 FROM node WHERE id NOT BETWEEN 1 AND 2147483647"
     " UNION ALL SELECT 1 FROM entry WHERE kind = 1 AND (typeof(seconds) != 'integer'"
     " OR typeof(microseconds) != 'integer' OR seconds NOT BETWEEN 0 AND 4294967295"
     " OR microseconds NOT BETWEEN 0 AND 4294967295"
     " OR typeof(source) NOT IN ('integer', 'null')"
     " OR (source IS NOT NULL AND source NOT IN (SELECT id FROM source)))"
     " UNION ALL SELECT 1 FROM entry WHERE kind = 2 AND (seconds IS NOT NULL"
     " OR microseconds IS NOT NULL OR source IS NOT NULL)"
     " UNION ALL SELECT 1 FROM source WHERE typeof(text) != 'text' OR hash != source_hash(text)",
     "the backup holds a number outside the range the store writes"},
    {"SELECT 1 FROM entry WHERE parent NOT IN (SELECT id FROM node)",
     "the backup holds an entry whose parent is missing"},
    // An id in value names a value kept apart, which is its entry's alone:
    // removing another entry would take it along.
    {"SELECT 1 FROM entry WHERE kind = 1 AND (typeof(value) NOT IN ('text', 'blob', 'integer')"
     " OR (typeof(value) = 'integer' AND value NOT IN (SELECT id FROM large_value)))",
     "the backup holds a data point whose value is missing"},
    {"SELECT 1 FROM entry WHERE typeof(value) = 'integer' GROUP BY value HAVING count(*) > 1",
     "the backup holds a value that two data points share"},
    {"SELECT 1 FROM large_value WHERE typeof(value) NOT IN ('text', 'blob')",
     "the backup holds a value not valid for its type"},
    {"SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM node WHERE id = 1 AND path = '/')",
     "the backup holds nodes that do not match their entries"},
    {"SELECT 1 FROM entry JOIN node AS parent ON parent.id = entry.parent"
     " WHERE kind = 2 AND NOT EXISTS (SELECT 1 FROM node WHERE path ="
     " CASE parent.path WHEN '/' THEN '' ELSE parent.path END || '/' || entry.name)",
     "the backup holds nodes that do not match their entries"},
    // Node entries have one row each, of distinct paths, so equal counts
    // leave none of the other rows without its entry.
    {"SELECT 1 WHERE (SELECT count(*) FROM node) !="
     " (SELECT count(*) FROM entry WHERE kind = 2) + 1",
     "the backup holds nodes that do not match their entries"},
};

Result obeys_row_rule(sqlite3* saved, const RowRule& rule, std::string& error)
{
    StatementPtr query = prepare_query(saved, rule.sql);
    if (!query)
        return failed_check(saved, error);
    int step = sqlite3_step(query.get());
    if (step == SQLITE_ROW)
        return refuse(error, rule.reason);
    return step == SQLITE_DONE ? Result::ok : failed_check(saved, error);
}

// An integer that the type table names.
bool known_type(sqlite3_stmt* row)
{
    return sqlite3_column_type(row, 0) == SQLITE_INTEGER &&
           pcd_enum_to_str(static_cast<data_type_t>(sqlite3_column_int(row, 0)));
}

Result has_known_types(sqlite3* saved, std::string& error)
{
    StatementPtr query = prepare_query(saved, "SELECT DISTINCT type FROM entry WHERE kind = 1");
    if (!query)
        return failed_check(saved, error);
    int step;
    while ((step = sqlite3_step(query.get())) == SQLITE_ROW)
        if (!known_type(query.get()))
            return refuse(error, "the backup holds a data point of no known type");
    return step == SQLITE_DONE ? Result::ok : failed_check(saved, error);
}

bool valid_stored_path(std::string_view parent_path, std::string_view name)
{
    std::string path = child_path(parent_path, name);
    std::string canonical = path;
    return cds_store::valid_entry_name(name) && cds_store::canonical_store_path(canonical) &&
           canonical == path && cds_store::valid_path_names(path);
}

// A row at a time, so that memory stays flat however large the backup.
Result has_valid_paths(sqlite3* saved, std::string& error)
{
    StatementPtr query = prepare_query(
        saved, "SELECT node.path, entry.name FROM entry JOIN node ON node.id = entry.parent");
    if (!query)
        return failed_check(saved, error);
    int step;
    while ((step = sqlite3_step(query.get())) == SQLITE_ROW)
        if (sqlite3_column_type(query.get(), 1) != SQLITE_TEXT ||
            !valid_stored_path(column_text(query.get(), 0), column_text(query.get(), 1)))
            return refuse(error, "the backup holds a name or path that the store refuses");
    return step == SQLITE_DONE ? Result::ok : failed_check(saved, error);
}

// The row of a node, of kind, type and value: writes give a node neither
// type nor value.
bool is_bare_node(sqlite3_stmt* row)
{
    return sqlite3_column_type(row, 1) == SQLITE_NULL && sqlite3_column_type(row, 2) == SQLITE_NULL;
}

// The row of a data point of a known type: its value in the form that a
// write of it stores, so that a dump writes a value of the type.
bool has_stored_form(sqlite3_stmt* row, std::string& buffer)
{
    auto type = static_cast<data_type_t>(sqlite3_column_int(row, 1));
    std::string_view value = column_blob(row, 2);
    // Any bytes are a binary value; copying them would prove nothing.
    if (type == DATA_TYPE_BINARY)
        return true;
    toolkit::CElement element(type, pcd_timestamp_t{}, std::string(value));
    std::string_view stored;
    return stored_value(element, buffer, stored) == Result::ok && stored == value;
}

// A row at a time, like the paths.
Result has_valid_values(sqlite3* saved, std::string& error)
{
    StatementPtr query = prepare_query(saved, "SELECT kind, type, " ENTRY_VALUE_SQL " FROM entry");
    if (!query)
        return failed_check(saved, error);
    std::string buffer;
    int step;
    while ((step = sqlite3_step(query.get())) == SQLITE_ROW) {
        if (sqlite3_column_int(query.get(), 0) == ELEMENT_TYPE_NODE) {
            if (!is_bare_node(query.get()))
                return refuse(error, "the backup holds a node with a type or a value");
        } else if (!has_stored_form(query.get(), buffer)) {
            return refuse(error, "the backup holds a value not valid for its type");
        }
    }
    return step == SQLITE_DONE ? Result::ok : failed_check(saved, error);
}

// The kinds and types are known before the values are read as theirs.
Result obeys_store_rules(sqlite3* saved, std::string& error)
{
    Result result = has_known_types(saved, error);
    if (result == Result::ok)
        result = has_valid_paths(saved, error);
    for (std::size_t i = 0; result == Result::ok && i < std::size(row_rules); ++i)
        result = obeys_row_rule(saved, row_rules[i], error);
    return result == Result::ok ? has_valid_values(saved, error) : result;
}

// Whether the pages of saved can replace the store's; error says why not.
Result check_pages(sqlite3* saved, sqlite3* store, std::string& error)
{
    StoreForm form = store_form(saved);
    if (form == StoreForm::newer)
        return refuse(error, newer_store);
    if (form == StoreForm::not_a_store)
        return refuse(error, "not a store");
    // Pages are copied as they are, and the store reads and writes UTF-8.
    if (!has_utf8_encoding(saved))
        return refuse(error, "the backup's encoding is not UTF-8");
    // Copying pages into a store in WAL mode needs pages of its own size.
    if (query_integer(saved, "PRAGMA page_size") != query_integer(store, "PRAGMA page_size"))
        return refuse(error, "the backup's page size differs from the store's");
    if (!passes_integrity_check(saved))
        return refuse(error, "the backup fails the integrity check");
    return Result::ok;
}

// Whether the contents of saved, of the current form, can replace the
// store's; error says why not.
Result check_contents(sqlite3* saved, std::string& error)
{
    if (!add_source_hash(saved))
        return failed_check(saved, error);
    Result result = has_store_schema(saved, error);
    return result == Result::ok ? obeys_store_rules(saved, error) : result;
}

// One self-contained file in rollback-journal mode, of the store's page
// size: a copy by pages would carry the store's WAL mode with it, and
// reading that back needs files beside the backup.
Result write_copy(sqlite3* store, const char* file, std::string& error)
{
    StatementPtr vacuum = prepare_query(store, "VACUUM INTO ?");
    if (!vacuum)
        return failed_check(store, error);
    sqlite3_bind_text(vacuum.get(), 1, file, -1, SQLITE_STATIC);
    if (sqlite3_step(vacuum.get()) != SQLITE_DONE)
        return failed_check(store, error);
    return Result::ok;
}

// A name for a backup opened as immutable: read as it is, without locks
// and without making a journal, log or shared memory beside it, so that a
// backup on a read-only medium restores too, also one in WAL mode. Every
// backup is replaced whole by renaming, so the file read never changes.
std::string immutable_name(const std::string& file)
{
    std::string uri = file[0] == '/' ? "file://" : "file:";
    for (char c : file) {
        if (c == '%' || c == '?' || c == '#') {
            uri += '%';
            append_hex_byte(uri, static_cast<unsigned char>(c));
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

// A backup of an old form, brought to the current one in a temporary
// database, which SQLite removes when it closes.
Result migrated_copy(sqlite3* saved, DatabasePtr& copy, std::string& error)
{
    copy = open_database("", SQLITE_OPEN_READWRITE, error);
    if (!copy)
        return Result::store_failed;
    Result copied = copy_database(copy.get(), saved, error);
    if (copied != Result::ok)
        return copied;
    return migrate_store(copy.get(), error) ? Result::ok : Result::store_failed;
}

} // namespace

Result copy_store_to(pcd_connection& connection, const std::string& file, std::string& error)
{
    if (!is_plain_path(file))
        return refuse(error, "not a plain path");
    // A backup onto the store's log or journal is lost when the store next
    // opens or closes.
    if (pcd_is_store_file(&connection, file.c_str()))
        return refuse(error, "the file is one of the store's own");
    // A backup holds the store's passwords: it is its owner's alone.
    int fd = open_replacement(file, true, "-journal");
    if (fd < 0) {
        error = std::strerror(errno);
        return Result::store_failed;
    }
    // The copy is of the store as it is now, not of an older snapshot.
    end_read_transaction(connection);
    Result result = write_copy(connection.db.get(), replacement_file(), error);
    if (finish_replacement(fd, result == Result::ok) != 0 && result == Result::ok) {
        error = std::strerror(errno);
        result = Result::store_failed;
    }
    close(fd);
    return result;
}

Result replace_store_from(pcd_connection& connection, const std::string& file, std::string& error)
{
    if (!is_plain_path(file))
        return refuse(error, "not a plain path");
    DatabasePtr saved =
        open_database(immutable_name(file), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, error);
    if (!saved)
        return Result::store_failed;
    // The checks and the copy read one state of the file.
    if (sqlite3_exec(saved.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return failed_check(saved.get(), error);
    Result checked = check_pages(saved.get(), connection.db.get(), error);
    DatabasePtr migrated;
    if (checked == Result::ok && store_form(saved.get()) == StoreForm::old)
        checked = migrated_copy(saved.get(), migrated, error);
    sqlite3* contents = migrated ? migrated.get() : saved.get();
    if (checked == Result::ok)
        checked = check_contents(contents, error);
    if (checked != Result::ok)
        return checked;
    end_read_transaction(connection);
    return copy_database(connection.db.get(), contents, error);
}
