// SPDX-License-Identifier: MIT
// The statements that write single rows of the store. They change what
// they are told to; write.cpp decides what that is.
#pragma once

#include "libcds/db.h"

#include <string>
#include <string_view>

// The seq that the next child of the node parent gets.
bool query_next_seq(pcd_connection& connection, sqlite3_int64 parent, sqlite3_int64& seq);

// A new node's row among its parent's children; done tells whether it was
// inserted (it is not when something is there already).
bool insert_node_row(pcd_connection& connection, sqlite3_int64 parent, std::string_view name,
                     sqlite3_int64 seq, int property, bool& done);
// Gives the node just inserted at a canonical path its id.
bool add_node_id(pcd_connection& connection, std::string_view path, sqlite3_int64& id);
// Sets the property of the node parent's child name; done is false when no
// node is there.
bool set_node_property(pcd_connection& connection, sqlite3_int64 parent, std::string_view name,
                       int property, bool& done);

// The hash that finds a source text among those the store keeps.
sqlite3_int64 source_hash(std::string_view text);
// The id of the source text kept in the store, added if new; 0 for none.
bool find_or_add_source(pcd_connection& connection, std::string_view text, sqlite3_int64& id);

struct LeafRow {
    sqlite3_int64 parent;
    std::string_view name;
    sqlite3_int64 seq;
    int property; // keep_property: 0 for a new data point, else unchanged
    data_type_t type;
    std::string_view value;
    sqlite3_int64 large_value; // the id of the value kept apart, else 0
    sqlite3_int64 source;      // 0: none
    pcd_timestamp_t time;
};
// Keeps a value apart from its entry, whose row then holds the id; ok,
// too_large or store_failed.
cds_store::Result add_large_value(pcd_connection& connection, std::string_view value,
                                  sqlite3_int64& id);
bool remove_large_value(pcd_connection& connection, sqlite3_int64 id);

// Insert or update a data point's row: ok, with done telling whether a row
// changed, too_large for a row past the store's length limit, or
// store_failed.
cds_store::Result insert_leaf_row(pcd_connection& connection, const LeafRow& row, bool& done);
cds_store::Result update_leaf_row(pcd_connection& connection, const LeafRow& row, bool& done);

// Removes the contents of the node at a canonical path, and its own node
// row unless it is the root.
bool remove_subtree(pcd_connection& connection, const std::string& path);
// Removes the row of the entry at a canonical path other than the root
// from its parent's children.
bool remove_row(pcd_connection& connection, std::string_view path);
