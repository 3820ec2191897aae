// SPDX-License-Identifier: MIT
// The client calls of cds.h on the SQLite store. A dump lists each node and
// then asks for its data points, so the listing is kept for the get_leaves
// that follows it.
#include "libcds/db.h"
#include "libcds/path.h"
#include "libcds/rows.h"
#include "libcds/write.h"

using cds_store::Result;
using toolkit::CElement;

// A child of the node listed last.
struct ListedChild {
    std::string name;
    element_type_t kind;
    element_property_t property;
    data_type_t type;
    std::string value;
    pcd_timestamp_t time;
};

// The last listing of the connection, valid only within the read
// transaction that filled it. Its strings keep their capacity from one
// listing to the next, so that a dump does not allocate for every child.
struct ListingCache {
    bool valid = false;
    std::uint64_t transaction_serial = 0;
    std::string path;
    std::size_t depth = 0;             // names in path
    std::vector<ListedChild> children; // only the first count are current
    std::size_t count = 0;
    std::size_t cursor = 0;
    // The canonical form of the path in hand.
    std::string canonical;
};

namespace
{

ListingCache& listing_of(pcd_connection& connection)
{
    if (!connection.listing)
        connection.listing = make_cache<ListingCache>();
    return *connection.listing;
}

bool is_current(const ListingCache& listing, const pcd_connection& connection)
{
    return listing.valid && listing.transaction_serial == connection.transaction_serial;
}

ListedChild& next_listed(ListingCache& listing)
{
    if (listing.count == listing.children.size())
        listing.children.emplace_back();
    return listing.children[listing.count++];
}

// The walker asks for children in the order they were listed, so the
// search starts where the last one was found.
const ListedChild* find_listed(ListingCache& listing, std::string_view name)
{
    for (std::size_t k = 0; k < listing.count; ++k) {
        std::size_t i = (listing.cursor + k) % listing.count;
        if (listing.children[i].name == name) {
            listing.cursor = i + 1;
            return &listing.children[i];
        }
    }
    return nullptr;
}

// The listed child that path names when path is spelled exactly as the
// child's canonical path, as a walk builds it; false when path needs to be
// canonicalized first, or names no listed child.
bool find_spelled_child(ListingCache& listing, std::string_view path, const ListedChild*& child)
{
    if (path.size() > cds_store::max_path_bytes || listing.depth >= cds_store::max_path_depth)
        return false;
    std::string_view parent = listing.path;
    if (parent == "/")
        parent = std::string_view();
    if (path.size() <= parent.size() + 1 || path.compare(0, parent.size(), parent) != 0 ||
        path[parent.size()] != '/')
        return false;
    std::string_view name = path.substr(parent.size() + 1);
    if (name == "." || name == ".." || name.find('/') != std::string_view::npos)
        return false;
    child = find_listed(listing, name);
    return child != nullptr;
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
    abandon_read(connection);
    return -1;
}

// Reads the data point at a canonical path, appending its element.
int read_leaf(pcd_connection& connection, const std::string& path, api_status_t& status,
              std::vector<CElement>& elements, element_property_t& property)
{
    if (!begin_read_transaction(connection))
        return -1;
    StatementUse query;
    Result found = find_entry(connection, path, query);
    if (found == Result::store_failed)
        return failed_read(connection);
    sqlite3_stmt* row = query.get();
    if (found == Result::ok && sqlite3_column_int(row, COLUMN_KIND) == ELEMENT_TYPE_LEAF) {
        status = API_STATUS_EXISTS;
        property = static_cast<element_property_t>(sqlite3_column_int(row, COLUMN_PROPERTY));
        append_element(elements, static_cast<data_type_t>(sqlite3_column_int(row, COLUMN_TYPE)),
                       column_time(row), column_blob(row, COLUMN_VALUE));
        return 0;
    }
    elements.emplace_back();
    return 0;
}

// Fills the listing with the children of the node at a canonical path, if
// there is one.
bool read_children(pcd_connection& connection, ListingCache& listing, const std::string& path)
{
    StatementUse query = use_statement(connection, Sql::list_children);
    if (!query)
        return false;
    sqlite3_stmt* row = query.get();
    if (bind_text(row, 1, path) != SQLITE_OK)
        return false;
    int step;
    while ((step = sqlite3_step(row)) == SQLITE_ROW) {
        ListedChild& child = next_listed(listing);
        // As bytes: text would first be copied to add a terminator.
        child.name.assign(column_blob(row, COLUMN_NAME));
        child.kind = static_cast<element_type_t>(sqlite3_column_int(row, COLUMN_KIND));
        child.property = static_cast<element_property_t>(sqlite3_column_int(row, COLUMN_PROPERTY));
        child.type = static_cast<data_type_t>(sqlite3_column_int(row, COLUMN_TYPE));
        child.value.assign(column_blob(row, COLUMN_VALUE));
        child.time = column_time(row);
    }
    return step == SQLITE_DONE;
}

// Whether every child just listed could have been written to the node at
// the listing's path.
bool listing_is_sound(pcd_connection& connection, const ListingCache& listing)
{
    for (std::size_t i = 0; i < listing.count; ++i) {
        const ListedChild& child = listing.children[i];
        if (!is_sound_child(connection, listing.path, listing.depth, child.name, child.kind))
            return false;
    }
    return true;
}

// The answer for a canonical path that has no node. Within one snapshot, a
// node that its parent lists has a node row of its own; without one, the
// store's tables disagree.
int no_node_at(pcd_connection& connection, const std::string& path)
{
    element_type_t kind = ELEMENT_TYPE_NONE;
    Result found = find_kind(connection, path, kind);
    if (found == Result::store_failed)
        return failed_read(connection);
    if (found == Result::ok && kind == ELEMENT_TYPE_NODE) {
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
    ListingCache& listing = listing_of(connection);
    listing.valid = false;
    std::string& canonical = listing.canonical;
    canonical = path;
    if (!cds_store::canonical_store_path(canonical))
        return 0;
    if (!begin_read_transaction(connection))
        return -1;
    listing.count = 0;
    if (!read_children(connection, listing, canonical))
        return failed_read(connection);
    // Only a node can be listed; without children, its path alone tells.
    sqlite3_int64 id = 0;
    Result found = listing.count > 0 ? Result::ok : find_node_id(connection, canonical, id);
    if (found == Result::store_failed)
        return failed_read(connection);
    if (found == Result::missing)
        return no_node_at(connection, canonical);
    listing.path = canonical;
    listing.depth = cds_store::path_depth(canonical);
    if (!listing_is_sound(connection, listing))
        return failed_read(connection);
    children.reserve(listing.count);
    for (std::size_t i = 0; i < listing.count; ++i) {
        const ListedChild& child = listing.children[i];
        children.push_back({child.name, child.kind, child.property});
    }
    status = API_STATUS_EXISTS;
    listing.cursor = 0;
    listing.transaction_serial = connection.transaction_serial;
    listing.valid = true;
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
    ListingCache& listing = listing_of(connection);
    std::string& canonical = listing.canonical;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        bool listed = is_current(listing, connection);
        const ListedChild* child = nullptr;
        if (!listed || !find_spelled_child(listing, paths[i], child)) {
            canonical = paths[i];
            if (!cds_store::canonical_store_path(canonical) || canonical == "/") {
                elements.emplace_back();
                continue;
            }
            if (!listed || cds_store::parent_of(canonical) != listing.path) {
                if (read_leaf(connection, canonical, statuses[i], elements, properties[i]) != 0)
                    return -1;
                continue;
            }
            // Same snapshot as the listing: a child it does not hold does not exist.
            child = find_listed(listing, cds_store::name_of(canonical));
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
    sqlite3_int64 source_id = 0;
    if (!begin_write_transaction(connection))
        return -1;
    if (!find_or_add_source(connection, source, source_id)) {
        rollback_write_transaction(connection);
        return -1;
    }
    for (std::size_t i = 0; i < paths.size() && i < elements.size() && i < persist.size(); ++i) {
        Result result = write_leaf(connection, paths[i], elements[i], property_for(persist[i]),
                                   source_id, time);
        if (result == Result::store_failed) {
            rollback_write_transaction(connection);
            statuses.assign(paths.size(), API_STATUS_ABSENT);
            return -1;
        }
        if (result == Result::ok)
            statuses[i] = API_STATUS_EXISTS;
    }
    if (!commit_write_transaction(connection)) {
        statuses.assign(paths.size(), API_STATUS_ABSENT);
        return -1;
    }
    return 0;
}

} // namespace toolkit
