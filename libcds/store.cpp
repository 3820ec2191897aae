#include "libcds/store.h"
#include "libcds/connection.h"

#include <algorithm>
#include <ctime>

using cds_store::Result;
using toolkit::CElement;

namespace
{

pcd_timestamp_t timestamp_of(sqlite3_stmt* statement)
{
    return {static_cast<std::uint32_t>(sqlite3_column_int64(statement, COLUMN_SECONDS)),
            static_cast<std::uint32_t>(sqlite3_column_int64(statement, COLUMN_MICROSECONDS))};
}

void append_element(std::vector<CElement>& elements, data_type_t type, pcd_timestamp_t time,
                    std::string_view value)
{
    if (type == DATA_TYPE_BINARY)
        elements.emplace_back(type, time, std::string(),
                              std::vector<std::uint8_t>(value.begin(), value.end()));
    else
        elements.emplace_back(type, time, std::string(value));
}

int failed_read(pcd_connection& connection)
{
    note_failure(connection);
    end_read(connection);
    return -1;
}

// The next free slot of the listing, reusing the strings of earlier ones.
ListedChild& next_listed(pcd_connection& connection)
{
    if (connection.listed_count == connection.listed.size())
        connection.listed.emplace_back();
    return connection.listed[connection.listed_count++];
}

// The walker asks for children in the order they were listed, so the
// search starts where the last one was found.
const ListedChild* find_listed(pcd_connection& connection, std::string_view name)
{
    std::size_t count = connection.listed_count;
    for (std::size_t k = 0; k < count; ++k) {
        std::size_t i = (connection.listed_cursor + k) % count;
        if (connection.listed[i].name == name) {
            connection.listed_cursor = i + 1;
            return &connection.listed[i];
        }
    }
    return nullptr;
}

// The listed child that path names when path is spelled exactly as the
// child's canonical path, as a walk builds it; false when path needs to be
// canonicalized first, or names no listed child.
bool find_spelled_child(pcd_connection& connection, std::string_view path,
                        const ListedChild*& child)
{
    if (!connection.listing_valid || path.size() > cds_store::max_path_bytes ||
        connection.listed_depth >= cds_store::max_path_depth)
        return false;
    std::string_view parent = connection.listed_path;
    if (parent == "/")
        parent = std::string_view();
    if (path.size() <= parent.size() + 1 || path.compare(0, parent.size(), parent) != 0 ||
        path[parent.size()] != '/')
        return false;
    std::string_view name = path.substr(parent.size() + 1);
    if (name == "." || name == ".." || name.find('/') != std::string_view::npos)
        return false;
    child = find_listed(connection, name);
    return child != nullptr;
}

Lookup look_up(pcd_connection& connection, std::string_view path, element_type_t& kind)
{
    if (path == "/") {
        kind = ELEMENT_TYPE_NODE;
        return Lookup::found;
    }
    StatementUse query;
    Lookup found = find_entry(connection, path, query);
    if (found == Lookup::found)
        kind = static_cast<element_type_t>(sqlite3_column_int(query.get(), COLUMN_KIND));
    return found;
}

// Reads the data point at a canonical path, appending its element.
int read_leaf(pcd_connection& connection, const std::string& path, api_status_t& status,
              std::vector<CElement>& elements, element_property_t& property)
{
    if (!begin_read(connection))
        return -1;
    StatementUse query;
    Lookup found = find_entry(connection, path, query);
    if (found == Lookup::failed)
        return failed_read(connection);
    sqlite3_stmt* row = query.get();
    if (found == Lookup::found && sqlite3_column_int(row, COLUMN_KIND) == ELEMENT_TYPE_LEAF) {
        status = API_STATUS_EXISTS;
        property = static_cast<element_property_t>(sqlite3_column_int(row, COLUMN_PROPERTY));
        append_element(elements, static_cast<data_type_t>(sqlite3_column_int(row, COLUMN_TYPE)),
                       timestamp_of(row), column_blob(row, COLUMN_VALUE));
        return 0;
    }
    elements.emplace_back();
    return 0;
}

// The seq that the next child of the node parent gets.
bool query_next_seq(pcd_connection& connection, sqlite3_int64 parent, sqlite3_int64& seq)
{
    StatementUse query = use_statement(connection, Sql::next_seq);
    if (!query)
        return false;
    if (sqlite3_bind_int64(query.get(), 1, parent) != SQLITE_OK ||
        sqlite3_step(query.get()) != SQLITE_ROW)
        return false;
    seq = sqlite3_column_int64(query.get(), 0);
    return true;
}

// Steps a write; done tells whether it changed a row.
bool step_write(pcd_connection& connection, sqlite3_stmt* statement, bool& done)
{
    if (sqlite3_step(statement) != SQLITE_DONE)
        return false;
    done = sqlite3_changes(connection.db.get()) > 0;
    return true;
}

// A new node's row among its parent's children; done tells whether it was
// inserted (it is not when something is there already).
bool insert_node(pcd_connection& connection, sqlite3_int64 parent, std::string_view name,
                 sqlite3_int64 seq, int property, bool& done)
{
    StatementUse insert = use_statement(connection, Sql::insert_node);
    if (!insert)
        return false;
    return first_failure({sqlite3_bind_int64(insert.get(), 1, parent),
                          sqlite3_bind_int64(insert.get(), 2, seq),
                          bind_text(insert.get(), 3, name),
                          sqlite3_bind_int(insert.get(), 4, property)}) == SQLITE_OK &&
           step_write(connection, insert.get(), done);
}

// Gives the node just inserted at a canonical path its id.
bool add_node_id(pcd_connection& connection, std::string_view path, sqlite3_int64& id)
{
    StatementUse insert = use_statement(connection, Sql::insert_node_path);
    if (!insert)
        return false;
    bool done = false;
    if (bind_text(insert.get(), 1, path) != SQLITE_OK ||
        !step_write(connection, insert.get(), done) || !done)
        return false;
    id = sqlite3_last_insert_rowid(connection.db.get());
    return true;
}

// Whether path is that of the node the connection remembers from the last
// write.
bool is_remembered(const pcd_connection& connection, std::string_view path)
{
    return connection.last_node_valid && path == connection.last_node_path;
}

void remember_node(pcd_connection& connection, std::string_view path, sqlite3_int64 id,
                   sqlite3_int64 next_seq)
{
    connection.last_node_valid = true;
    connection.last_node_path.assign(path);
    connection.last_node_id = id;
    connection.last_node_next_seq = next_seq;
}

// The seq of the next child of the node resolve_node gave last.
bool next_child_seq(pcd_connection& connection, sqlite3_int64& seq)
{
    if (connection.last_node_next_seq == 0 &&
        !query_next_seq(connection, connection.last_node_id, connection.last_node_next_seq))
        return false;
    seq = connection.last_node_next_seq;
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
    switch (find_node_id(connection, path, id)) {
    case Lookup::found:
        return Result::ok;
    case Lookup::failed:
        return Result::store_failed;
    case Lookup::missing:
        break;
    }
    sqlite3_int64 parent = 0;
    sqlite3_int64 seq = 0;
    Result outcome = place_for_child(connection, parent_of(path), parent, seq);
    if (outcome != Result::ok)
        return outcome;
    bool inserted = false;
    if (!insert_node(connection, parent, name_of(path), seq, ELEMENT_PROPERTY_ORDINARY, inserted))
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
        parent = connection.last_node_id;
        if (!next_child_seq(connection, seq))
            return Result::store_failed;
        connection.last_node_next_seq = seq + 1;
        return Result::ok;
    }
    bool created = false;
    Result outcome = find_or_make_node(connection, path, parent, created);
    if (outcome != Result::ok)
        return outcome;
    seq = 1;
    return created || query_next_seq(connection, parent, seq) ? Result::ok : Result::store_failed;
}

// Makes sure a node is at a canonical path, giving its id. Writes usually
// come in runs under one node, which is remembered so that it is neither
// looked up again nor asked for its last child's seq.
Result resolve_node(pcd_connection& connection, std::string_view path, sqlite3_int64& id)
{
    if (is_remembered(connection, path)) {
        id = connection.last_node_id;
        return Result::ok;
    }
    bool created = false;
    Result outcome = find_or_make_node(connection, path, id, created);
    if (outcome == Result::ok)
        remember_node(connection, path, id, created ? 1 : 0);
    return outcome;
}

// The form in which the store keeps a value: the bytes of a binary value,
// otherwise its text form, which must read back as the same type.
Result stored_value(const CElement& value, std::string& scratch, std::string_view& stored)
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
    scratch = probe.text();
    stored = scratch;
    return Result::ok;
}

// Whether every name of a canonical path is valid. Those of the node the
// last write resolved were checked then.
bool valid_names(const pcd_connection& connection, std::string_view path)
{
    if (is_remembered(connection, parent_of(path)))
        return cds_store::valid_entry_name(name_of(path));
    return cds_store::valid_path_names(path);
}

// The canonical path of a new or replaced entry other than the root, in
// the connection's path scratch.
Result writable_path(pcd_connection& connection, const std::string& path)
{
    std::string& canonical = connection.path_scratch;
    canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return Result::no_canonical_path;
    if (canonical == "/")
        return Result::is_root;
    return valid_names(connection, canonical) ? Result::ok : Result::bad_name;
}

struct LeafRow {
    sqlite3_int64 parent;
    std::string_view name;
    sqlite3_int64 seq;
    int property;
    data_type_t type;
    std::string_view value;
    std::string_view source;
    pcd_timestamp_t time;
};

int bind_leaf_row(sqlite3_stmt* statement, Sql sql, const LeafRow& row)
{
    bool keep = row.property == cds_store::keep_property;
    return first_failure({
        sqlite3_bind_int64(statement, 1, row.parent),
        sqlite3_bind_int64(statement, 2, row.seq),
        bind_text(statement, 3, row.name),
        sqlite3_bind_int(statement, 4, keep ? 0 : row.property),
        sqlite3_bind_int(statement, 5, row.type),
        bind_blob(statement, 6, row.value),
        sqlite3_bind_int64(statement, 7, row.time.seconds),
        sqlite3_bind_int64(statement, 8, row.time.microseconds),
        bind_text(statement, 9, row.source),
        sql == Sql::update_leaf ? sqlite3_bind_int(statement, 10, keep) : SQLITE_OK,
    });
}

// A value too long for the store, alone or with the rest of its row, is
// refused; SQLite finds that out before it changes anything.
Result refused_or_failed(int result)
{
    return result == SQLITE_TOOBIG ? Result::too_large : Result::store_failed;
}

// Runs the leaf insert or update; done tells whether it changed a row.
Result write_leaf(pcd_connection& connection, Sql sql, const LeafRow& row, bool& done)
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

// Checked before any node is made for the value, so that a refused value
// leaves nothing behind; the binds check it again.
bool fits_the_store(const pcd_connection& connection, std::string_view stored)
{
    int limit = sqlite3_limit(connection.db.get(), SQLITE_LIMIT_LENGTH, -1);
    return stored.size() <= static_cast<std::size_t>(limit);
}

// Sets the property of the node parent's child name; done is false when no
// node is there.
bool set_node_property(pcd_connection& connection, sqlite3_int64 parent, std::string_view name,
                       int property, bool& done)
{
    StatementUse update = use_statement(connection, Sql::set_node_property);
    if (!update)
        return false;
    return first_failure({sqlite3_bind_int64(update.get(), 1, parent),
                          bind_text(update.get(), 3, name),
                          sqlite3_bind_int(update.get(), 4, property)}) == SQLITE_OK &&
           step_write(connection, update.get(), done);
}

// What an insert and an update that both changed nothing found at path:
// expected, the other kind of entry; anything else means the store is not
// what the writes assumed.
Result kind_conflict(pcd_connection& connection, std::string_view path, element_type_t expected)
{
    element_type_t kind = ELEMENT_TYPE_NONE;
    if (look_up(connection, path, kind) == Lookup::found && kind == expected)
        return expected == ELEMENT_TYPE_NODE ? Result::is_node : Result::is_data_point;
    return Result::store_failed;
}

// Removes the contents of the node at a canonical path, and its own node
// row unless it is the root.
bool remove_subtree(pcd_connection& connection, const std::string& path)
{
    std::string below = path == "/" ? path : path + "/";
    std::string beyond = below;
    beyond.back() = '0';
    for (Sql sql : {Sql::remove_subtree_entries, Sql::remove_subtree_nodes}) {
        StatementUse remove = use_statement(connection, sql);
        if (!remove)
            return false;
        if (first_failure({bind_text(remove.get(), 1, path), bind_text(remove.get(), 2, below),
                           bind_text(remove.get(), 3, beyond)}) != SQLITE_OK ||
            sqlite3_step(remove.get()) != SQLITE_DONE)
            return false;
    }
    return true;
}

// Removes the row of the entry at a canonical path other than the root
// from its parent's children.
bool remove_row(pcd_connection& connection, std::string_view path)
{
    sqlite3_int64 parent = 0;
    if (find_node_id(connection, parent_of(path), parent) != Lookup::found)
        return false;
    StatementUse remove = use_statement(connection, Sql::remove_entry);
    if (!remove)
        return false;
    return first_failure({sqlite3_bind_int64(remove.get(), 1, parent),
                          bind_text(remove.get(), 2, name_of(path))}) == SQLITE_OK &&
           sqlite3_step(remove.get()) == SQLITE_DONE;
}

// Whether every child just listed could have been written to the node at a
// canonical path of the given depth. A name such as ".." or "a/b" would make
// the child's path name another node, and one past the limits none.
bool listing_is_sound(pcd_connection& connection, const std::string& path, std::size_t depth)
{
    std::size_t prefix = path == "/" ? 1 : path.size() + 1;
    for (std::size_t i = 0; i < connection.listed_count; ++i) {
        const std::string& name = connection.listed[i].name;
        if (!cds_store::valid_entry_name(name)) {
            note_damage(connection, "a name under '" + path + "' is not valid");
            return false;
        }
        if (depth >= cds_store::max_path_depth ||
            prefix + name.size() > cds_store::max_path_bytes) {
            note_damage(connection, "an entry under '" + path + "' lies past the store's limits");
            return false;
        }
    }
    return true;
}

// The answer for a canonical path that has no node. Within one snapshot, a
// node that its parent lists has a node row of its own; without one, the
// store's tables disagree.
int no_node_at(pcd_connection& connection, const std::string& path)
{
    element_type_t kind = ELEMENT_TYPE_NONE;
    Lookup found = look_up(connection, path, kind);
    if (found == Lookup::failed)
        return failed_read(connection);
    if (found == Lookup::found && kind == ELEMENT_TYPE_NODE) {
        note_damage(connection, "no node at '" + path + "'");
        return failed_read(connection);
    }
    return 0;
}

int property_for(pcd_tribool_t persist)
{
    switch (persist) {
    case PCD_FALSE:
        return ELEMENT_PROPERTY_ORDINARY;
    case PCD_TRUE:
        return ELEMENT_PROPERTY_PERSISTENT;
    case PCD_UNSPECIFIED:
        return cds_store::keep_property;
    }
    return -2;
}

} // namespace

namespace cds_store
{

const char* describe(Result result)
{
    switch (result) {
    case Result::ok:
        return "written";
    case Result::missing:
        return "nothing is there";
    case Result::stopped:
        return "the walk was stopped";
    case Result::no_canonical_path:
        return "the path has no canonical form";
    case Result::bad_name:
        return "a name in the path is not valid";
    case Result::bad_type:
        return "no such type";
    case Result::bad_value:
        return "the value is not valid for its type";
    case Result::under_data_point:
        return "the path passes through a data point";
    case Result::is_node:
        return "a node is there";
    case Result::is_data_point:
        return "a data point is there";
    case Result::is_root:
        return "the root cannot be changed";
    case Result::bad_property:
        return "the property is not in 0..255";
    case Result::too_large:
        return "the value is too large for the store";
    case Result::not_a_backup:
        return "the file is not a backup the store can take";
    case Result::store_failed:
        return "the store failed";
    }
    return "unknown outcome";
}

pcd_timestamp_t now()
{
    timespec time{};
    clock_gettime(CLOCK_REALTIME, &time);
    return {static_cast<std::uint32_t>(time.tv_sec),
            static_cast<std::uint32_t>(time.tv_nsec / 1000)};
}

std::string last_error(pcd_handle_t handle)
{
    if (!handle)
        return "no store";
    return handle->failure.empty() ? sqlite3_errmsg(handle->db.get()) : handle->failure;
}

Result put_leaf(pcd_handle_t handle, const std::string& path, const CElement& value, int property,
                const std::string& source, pcd_timestamp_t time)
{
    if (!handle)
        return Result::store_failed;
    pcd_connection& connection = *handle;
    Result outcome = writable_path(connection, path);
    if (outcome != Result::ok)
        return outcome;
    if (property != keep_property && (property < 0 || property > 255))
        return Result::bad_property;
    std::string_view stored;
    outcome = stored_value(value, connection.value_scratch, stored);
    if (outcome != Result::ok)
        return outcome;
    if (!fits_the_store(connection, stored))
        return Result::too_large;
    const std::string& canonical = connection.path_scratch;
    sqlite3_int64 parent = 0;
    outcome = resolve_node(connection, parent_of(canonical), parent);
    if (outcome != Result::ok)
        return outcome;

    LeafRow row{parent, name_of(canonical), 0, property, value.type(), stored, source, time};
    bool inserted = false;
    bool updated = false;
    if (!next_child_seq(connection, row.seq))
        return Result::store_failed;
    outcome = write_leaf(connection, Sql::insert_leaf, row, inserted);
    if (outcome != Result::ok)
        return outcome;
    if (inserted) {
        connection.last_node_next_seq = row.seq + 1;
        return Result::ok;
    }
    outcome = write_leaf(connection, Sql::update_leaf, row, updated);
    if (outcome != Result::ok)
        return outcome;
    return updated ? Result::ok : kind_conflict(connection, canonical, ELEMENT_TYPE_NODE);
}

Result put_node(pcd_handle_t handle, const std::string& path, int property)
{
    if (!handle)
        return Result::store_failed;
    pcd_connection& connection = *handle;
    if (property < 0 || property > 255)
        return Result::bad_property;
    Result outcome = writable_path(connection, path);
    // The root always exists, with property 0.
    if (outcome == Result::is_root && property == 0)
        return Result::ok;
    if (outcome != Result::ok)
        return outcome;
    const std::string& canonical = connection.path_scratch;
    sqlite3_int64 parent = 0;
    outcome = resolve_node(connection, parent_of(canonical), parent);
    if (outcome != Result::ok)
        return outcome;

    std::string_view name = name_of(canonical);
    sqlite3_int64 seq = 0;
    sqlite3_int64 id = 0;
    bool inserted = false;
    bool updated = false;
    if (!next_child_seq(connection, seq) ||
        !insert_node(connection, parent, name, seq, property, inserted))
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

Result remove_entry(pcd_handle_t handle, const std::string& path)
{
    if (!handle)
        return Result::store_failed;
    pcd_connection& connection = *handle;
    std::string canonical = path;
    if (!canonical_store_path(canonical))
        return Result::no_canonical_path;
    if (!begin_write(connection))
        return Result::store_failed;
    element_type_t kind = ELEMENT_TYPE_NONE;
    Lookup found = look_up(connection, canonical, kind);
    if (found != Lookup::found) {
        rollback_write(connection);
        return found == Lookup::missing ? Result::missing : Result::store_failed;
    }
    bool is_root = canonical == "/";
    bool removed = (kind != ELEMENT_TYPE_NODE || remove_subtree(connection, canonical)) &&
                   (is_root || remove_row(connection, canonical));
    if (!removed) {
        rollback_write(connection);
        return Result::store_failed;
    }
    return commit_write(connection) ? Result::ok : Result::store_failed;
}

} // namespace cds_store

namespace toolkit
{

CCds::~CCds()
{
    if (handle)
        pcd_close(handle);
}

int CCds::list_node(const std::string& path, api_status_t& status,
                    std::vector<ChildEntry>& children)
{
    status = API_STATUS_ABSENT;
    children.clear();
    if (!handle)
        return -1;
    pcd_connection& connection = *handle;
    connection.listing_valid = false;
    std::string& canonical = connection.path_scratch;
    canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return 0;
    if (!begin_read(connection))
        return -1;
    connection.listed_count = 0;
    {
        StatementUse query = use_statement(connection, Sql::list_children);
        if (!query)
            return failed_read(connection);
        sqlite3_stmt* row = query.get();
        if (bind_text(row, 1, canonical) != SQLITE_OK)
            return failed_read(connection);
        int step;
        while ((step = sqlite3_step(row)) == SQLITE_ROW) {
            ListedChild& child = next_listed(connection);
            // As bytes: text would first be copied to add a terminator.
            child.name.assign(column_blob(row, COLUMN_NAME));
            child.kind = static_cast<element_type_t>(sqlite3_column_int(row, COLUMN_KIND));
            child.property =
                static_cast<element_property_t>(sqlite3_column_int(row, COLUMN_PROPERTY));
            child.type = static_cast<data_type_t>(sqlite3_column_int(row, COLUMN_TYPE));
            child.value.assign(column_blob(row, COLUMN_VALUE));
            child.time = timestamp_of(row);
        }
        if (step != SQLITE_DONE)
            return failed_read(connection);
    }
    // Only a node can be listed; without children, its path alone tells.
    sqlite3_int64 id = 0;
    Lookup found =
        connection.listed_count > 0 ? Lookup::found : find_node_id(connection, canonical, id);
    if (found == Lookup::failed)
        return failed_read(connection);
    if (found == Lookup::missing)
        return no_node_at(connection, canonical);
    std::size_t depth = cds_store::path_depth(canonical);
    if (!listing_is_sound(connection, canonical, depth))
        return failed_read(connection);
    children.reserve(connection.listed_count);
    for (std::size_t i = 0; i < connection.listed_count; ++i) {
        const ListedChild& child = connection.listed[i];
        children.push_back({child.name, child.kind, child.property});
    }
    status = API_STATUS_EXISTS;
    connection.listed_path = canonical;
    connection.listed_depth = depth;
    connection.listed_cursor = 0;
    connection.listing_valid = true;
    return 0;
}

int CCds::get_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     std::vector<CElement>& elements, std::vector<element_property_t>& properties)
{
    statuses.assign(paths.size(), API_STATUS_ABSENT);
    properties.assign(paths.size(), ELEMENT_PROPERTY_ORDINARY);
    elements.clear();
    elements.reserve(paths.size());
    if (!handle)
        return -1;
    pcd_connection& connection = *handle;
    std::string& canonical = connection.path_scratch;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const ListedChild* child = nullptr;
        if (!find_spelled_child(connection, paths[i], child)) {
            canonical = paths[i];
            if (!cds_store::canonical_store_path(canonical) || canonical == "/") {
                elements.emplace_back();
                continue;
            }
            if (!connection.listing_valid || parent_of(canonical) != connection.listed_path) {
                if (read_leaf(connection, canonical, statuses[i], elements, properties[i]) != 0)
                    return -1;
                continue;
            }
            // Same snapshot as the listing: a child it does not hold does not exist.
            child = find_listed(connection, name_of(canonical));
        }
        if (!child || child->kind != ELEMENT_TYPE_LEAF) {
            elements.emplace_back();
            continue;
        }
        statuses[i] = API_STATUS_EXISTS;
        properties[i] = child->property;
        append_element(elements, child->type, child->time, child->value);
    }
    return 0;
}

int CCds::set_leaves(const std::vector<std::string>& paths, const std::vector<CElement>& elements,
                     const std::vector<pcd_tribool_t>& persist, std::vector<api_status_t>& statuses,
                     const std::string& source)
{
    statuses.assign(paths.size(), API_STATUS_ABSENT);
    if (!handle)
        return -1;
    pcd_connection& connection = *handle;
    pcd_timestamp_t time = cds_store::now();
    if (!begin_write(connection))
        return -1;
    for (std::size_t i = 0; i < paths.size() && i < elements.size() && i < persist.size(); ++i) {
        int property = property_for(persist[i]);
        Result outcome = cds_store::put_leaf(handle, paths[i], elements[i], property, source, time);
        if (outcome == Result::store_failed) {
            rollback_write(connection);
            statuses.assign(paths.size(), API_STATUS_ABSENT);
            return -1;
        }
        if (outcome == Result::ok)
            statuses[i] = API_STATUS_EXISTS;
    }
    if (!commit_write(connection)) {
        statuses.assign(paths.size(), API_STATUS_ABSENT);
        return -1;
    }
    return 0;
}

} // namespace toolkit
