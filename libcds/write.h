// SPDX-License-Identifier: MIT
// Writes to the store on an open connection: data points, nodes and
// removal. Writes usually come in runs under one node; the nodes a write
// transaction resolved are kept for as long as it runs.
#pragma once

#include "libcds/db.h"

#include <string>
#include <string_view>
#include <vector>

// The form in which the store keeps a value, in stored (which may point
// into buffer): the bytes of a binary value, otherwise its text form, which
// must read back as the same type. bad_type or bad_value when no write
// takes the value.
cds_store::Result stored_value(const toolkit::CElement& value, std::string& buffer,
                               std::string_view& stored);
// Creates or replaces the data point at path, and any missing nodes above
// it, within the write transaction that the caller began (store_failed
// outside one); source is the id that find_or_add_source gave in it.
cds_store::Result write_leaf(pcd_connection& connection, const std::string& path,
                             const toolkit::CElement& value, int property, sqlite3_int64 source,
                             pcd_timestamp_t time);
// Creates the node at path, and any missing nodes above it, or sets the
// property of the node already there, within the caller's write
// transaction (store_failed outside one).
cds_store::Result write_node(pcd_connection& connection, const std::string& path, int property);
// Removes the entries at paths and everything under them, all or none, in
// a write transaction of its own. The first path that fails the call is
// paths[failed]: is_root for the root, missing for one that names nothing.
cds_store::Result remove_paths(pcd_connection& connection, const std::vector<std::string>& paths,
                               std::size_t& failed);
