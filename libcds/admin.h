// SPDX-License-Identifier: MIT
// What the SQLite store offers beyond the client interface, for cdsctl:
// nodes with properties, removal, bulk import, export, backup and restore.
#pragma once

#include "cds/cds.h"
#include "libcds/result.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cds_store
{

// Result in a few words, for a message.
const char* describe(Result result);

// The store file: $CDS_STORE, even empty, or /var/lib/cds/store.db when it
// is not set.
std::string store_file();
// How open_store treats a store file that is not there, or is.
enum class Opening {
    existing,       // only a store that is there
    create_missing, // a new, empty store when no file is there
    create_new,     // a new, empty store; a file there already is refused
};
// Opens the store in file, as pcd_init opens the one store_file() names
// with Opening::existing. created: a new store was made. Null when it
// cannot, with why: "no such store", "permission denied", "not a store",
// "locked", or another reason in the system's words.
pcd_handle_t open_store(const std::string& file, Opening opening, bool& created, std::string& why);

// The first failure of the connection's last transaction: SQLite's account
// of it, or what is wrong with a damaged store.
std::string last_error(pcd_handle_t handle);

// A write transaction for a series of put_leaf and put_node calls, which
// fail outside one.
// commit_batch rolls back what it cannot commit.
Result begin_batch(pcd_handle_t handle);
Result commit_batch(pcd_handle_t handle);
void rollback_batch(pcd_handle_t handle);

// The time a write records.
pcd_timestamp_t now();

// Passed as property to leave a data point's property as it is.
constexpr int keep_property = -1;

// Creates or replaces the data point at path, and any missing nodes above it.
Result put_leaf(pcd_handle_t handle, const std::string& path, const toolkit::CElement& value,
                int property, const std::string& source, pcd_timestamp_t time);
// Creates the node at path, and any missing nodes above it, or sets the
// property of the node already there.
Result put_node(pcd_handle_t handle, const std::string& path, int property);

// Removes the entries at paths and everything under them, all or none, in
// one transaction. The first path that fails the call is paths[failed]:
// is_root for the root, missing for one that names nothing.
Result remove_entries(pcd_handle_t handle, const std::vector<std::string>& paths,
                      std::size_t& failed);
// The same for one path.
Result remove_entry(pcd_handle_t handle, const std::string& path);

// One entry as the store holds it. value is the text form, or the bytes of
// a binary value; the pointers live until the visitor returns.
struct Entry {
    std::string_view path;
    element_type_t kind;
    int property;
    data_type_t type;
    std::string_view value;
    pcd_timestamp_t time;
    std::string_view source;
};
// Returns false to stop the walk.
using Visitor = std::function<bool(const Entry&)>;

// Visits the entry at path, then, for a node, everything under it depth
// first in creation order, a node before its contents.
Result walk(pcd_handle_t handle, const std::string& path, const Visitor& visit);
// Visits only the entry at path.
Result find(pcd_handle_t handle, const std::string& path, const Visitor& visit);

// A consistent copy of the store into file, and the store's contents
// replaced by those of file (not_a_backup for a file the store cannot
// take); error says why either failed.
Result backup(pcd_handle_t handle, const std::string& file, std::string& error);
Result restore(pcd_handle_t handle, const std::string& file, std::string& error);

} // namespace cds_store
