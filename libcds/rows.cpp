// SPDX-License-Identifier: MIT
#include "libcds/rows.h"
#include "libcds/admin.h"
#include "libcds/path.h"

using cds_store::name_of;
using cds_store::parent_of;
using cds_store::Result;

namespace
{

// Steps a write; done tells whether it changed a row.
bool step_write(pcd_connection& connection, sqlite3_stmt* statement, bool& done)
{
    if (sqlite3_step(statement) != SQLITE_DONE)
        return false;
    done = sqlite3_changes(connection.db.get()) > 0;
    return true;
}

int bind_leaf_row(sqlite3_stmt* statement, Sql sql, const LeafRow& row)
{
    bool keep = row.property == cds_store::keep_property;
    return bind_result({
        sqlite3_bind_int64(statement, 1, row.parent),
        sqlite3_bind_int64(statement, 2, row.seq),
        bind_text(statement, 3, row.name),
        sqlite3_bind_int(statement, 4, keep ? 0 : row.property),
        sqlite3_bind_int(statement, 5, row.type),
        row.large_value ? sqlite3_bind_int64(statement, 6, row.large_value)
                        : bind_blob(statement, 6, row.value),
        sqlite3_bind_int64(statement, 7, row.time.seconds),
        sqlite3_bind_int64(statement, 8, row.time.microseconds),
        row.source ? sqlite3_bind_int64(statement, 9, row.source) : sqlite3_bind_null(statement, 9),
        sql == Sql::update_leaf ? sqlite3_bind_int(statement, 10, keep) : SQLITE_OK,
    });
}

// A value too long for the store, alone or with the rest of its row, is
// refused; SQLite finds that out before it changes anything.
Result refused_or_failed(int result)
{
    return result == SQLITE_TOOBIG ? Result::too_large : Result::store_failed;
}

Result write_leaf_row(pcd_connection& connection, Sql sql, const LeafRow& row, bool& done)
{
    StatementUse write = use_statement(connection, sql);
    if (!write)
        return Result::store_failed;
    int result = bind_leaf_row(write.get(), sql, row);
    if (result != SQLITE_OK)
        return refused_or_failed(result);
    result = sqlite3_step(write.get());
    if (result != SQLITE_DONE)
        return refused_or_failed(result);
    done = sqlite3_changes(connection.db.get()) > 0;
    return Result::ok;
}

bool read_next_seq(pcd_connection& connection, sqlite3_int64 parent, sqlite3_int64& seq)
{
    StatementUse query = use_statement(connection, Sql::next_seq);
    if (!query || sqlite3_bind_int64(query.get(), 1, parent) != SQLITE_OK ||
        sqlite3_step(query.get()) != SQLITE_ROW)
        return false;
    seq = sqlite3_column_int64(query.get(), 0);
    return true;
}

// Numbers the children of parent 1, 2, ... in their order. Their seqs are
// first made negative, so that no new seq meets an old one.
bool renumber_children(pcd_connection& connection, sqlite3_int64 parent)
{
    for (Sql sql : {Sql::negate_child_seqs, Sql::renumber_children}) {
        StatementUse renumber = use_statement(connection, sql);
        if (!renumber || sqlite3_bind_int64(renumber.get(), 1, parent) != SQLITE_OK ||
            sqlite3_step(renumber.get()) != SQLITE_DONE)
            return false;
    }
    return true;
}

} // namespace

sqlite3_int64 source_hash(std::string_view text)
{
    // FNV-1a: the stored hashes depend on it never changing.
    std::uint64_t hash = 14695981039346656037u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211u;
    }
    return static_cast<sqlite3_int64>(hash);
}

namespace
{

// The id of the source text's row, added when there is none.
bool find_or_add_source_row(pcd_connection& connection, std::string_view text, sqlite3_int64& id)
{
    id = 0;
    if (text.empty())
        return true;
    sqlite3_int64 hash = source_hash(text);
    StatementUse find = use_statement(connection, Sql::find_source);
    if (!find || bind_result({sqlite3_bind_int64(find.get(), 1, hash),
                              bind_text(find.get(), 2, text)}) != SQLITE_OK)
        return false;
    int step = sqlite3_step(find.get());
    if (step == SQLITE_ROW)
        id = sqlite3_column_int64(find.get(), 0);
    if (step != SQLITE_DONE)
        return step == SQLITE_ROW;
    // Sources that no data point carries any more go when a new one comes,
    // so that they are looked for in one scan per new source rather than at
    // every write that may leave one unused.
    StatementUse add = use_statement(connection, Sql::add_source);
    bool done = false;
    if (!run_statement(connection, Sql::drop_unused_sources) || !add ||
        bind_result({sqlite3_bind_int64(add.get(), 1, hash), bind_text(add.get(), 2, text)}) !=
            SQLITE_OK ||
        !step_write(connection, add.get(), done) || !done)
        return false;
    id = sqlite3_last_insert_rowid(connection.db.get());
    return true;
}

} // namespace

bool find_or_add_source(pcd_connection& connection, std::string_view text, sqlite3_int64& id)
{
    if (connection.write && connection.write->source_text == text) {
        id = connection.write->source_id;
        return true;
    }
    bool found = find_or_add_source_row(connection, text, id);
    // Only a new source drops unused ones, and it is kept here in their
    // place; after a failure, only "none" is sure to stay.
    if (connection.write) {
        connection.write->source_text.assign(found ? text : "");
        connection.write->source_id = found ? id : 0;
    }
    return found;
}

bool query_next_seq(pcd_connection& connection, sqlite3_int64 parent, sqlite3_int64& seq)
{
    if (!read_next_seq(connection, parent, seq))
        return false;
    // A node whose last child is removed and another added, over and over,
    // runs out of seqs long before its children fill them.
    return seq <= max_seq ||
           (renumber_children(connection, parent) && read_next_seq(connection, parent, seq));
}

bool insert_node_row(pcd_connection& connection, sqlite3_int64 parent, std::string_view name,
                     sqlite3_int64 seq, int property, bool& done)
{
    StatementUse insert = use_statement(connection, Sql::insert_node);
    return insert &&
           bind_result({sqlite3_bind_int64(insert.get(), 1, parent),
                        sqlite3_bind_int64(insert.get(), 2, seq), bind_text(insert.get(), 3, name),
                        sqlite3_bind_int(insert.get(), 4, property)}) == SQLITE_OK &&
           step_write(connection, insert.get(), done);
}

bool add_node_id(pcd_connection& connection, std::string_view path, sqlite3_int64& id)
{
    StatementUse insert = use_statement(connection, Sql::insert_node_path);
    bool done = false;
    if (!insert || bind_text(insert.get(), 1, path) != SQLITE_OK ||
        !step_write(connection, insert.get(), done) || !done)
        return false;
    id = sqlite3_last_insert_rowid(connection.db.get());
    if (id <= max_node_id)
        return true;
    connection.failure = "the store's nodes are numbered past its limits";
    return false;
}

bool set_node_property(pcd_connection& connection, sqlite3_int64 parent, std::string_view name,
                       int property, bool& done)
{
    StatementUse update = use_statement(connection, Sql::set_node_property);
    return update &&
           bind_result({sqlite3_bind_int64(update.get(), 1, parent),
                        bind_text(update.get(), 3, name),
                        sqlite3_bind_int(update.get(), 4, property)}) == SQLITE_OK &&
           step_write(connection, update.get(), done);
}

Result add_large_value(pcd_connection& connection, std::string_view value, sqlite3_int64& id)
{
    StatementUse insert = use_statement(connection, Sql::add_large_value);
    if (!insert)
        return Result::store_failed;
    int result = bind_blob(insert.get(), 1, value);
    if (result == SQLITE_OK)
        result = sqlite3_step(insert.get());
    if (result != SQLITE_DONE)
        return refused_or_failed(result);
    id = sqlite3_last_insert_rowid(connection.db.get());
    return Result::ok;
}

bool remove_large_value(pcd_connection& connection, sqlite3_int64 id)
{
    StatementUse remove = use_statement(connection, Sql::remove_large_value);
    return remove && sqlite3_bind_int64(remove.get(), 1, id) == SQLITE_OK &&
           sqlite3_step(remove.get()) == SQLITE_DONE;
}

Result insert_leaf_row(pcd_connection& connection, const LeafRow& row, bool& done)
{
    return write_leaf_row(connection, Sql::insert_leaf, row, done);
}

Result update_leaf_row(pcd_connection& connection, const LeafRow& row, bool& done)
{
    return write_leaf_row(connection, Sql::update_leaf, row, done);
}

bool remove_subtree(pcd_connection& connection, const std::string& path)
{
    std::string below = path == "/" ? path : path + "/";
    std::string beyond = below;
    beyond.back() = '0';
    for (Sql sql : {Sql::remove_subtree_entries, Sql::remove_subtree_nodes}) {
        StatementUse remove = use_statement(connection, sql);
        if (!remove ||
            bind_result({bind_text(remove.get(), 1, path), bind_text(remove.get(), 2, below),
                         bind_text(remove.get(), 3, beyond)}) != SQLITE_OK ||
            sqlite3_step(remove.get()) != SQLITE_DONE)
            return false;
    }
    return true;
}

bool remove_row(pcd_connection& connection, std::string_view path)
{
    sqlite3_int64 parent = 0;
    if (find_node_id(connection, parent_of(path), parent) != Result::ok)
        return false;
    StatementUse remove = use_statement(connection, Sql::remove_entry);
    return remove &&
           bind_result({sqlite3_bind_int64(remove.get(), 1, parent),
                        bind_text(remove.get(), 2, name_of(path))}) == SQLITE_OK &&
           sqlite3_step(remove.get()) == SQLITE_DONE;
}
