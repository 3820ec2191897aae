// SPDX-License-Identifier: MIT
// Opening a store's file, and the layout that makes a database a store.
#pragma once

#include "libcds/db.h"

#include <string>

// The database in file, opened with SQLite's flags, waiting a while for
// other processes' locks; null with a reason in error when it cannot be
// opened.
DatabasePtr open_database(const std::string& file, int flags, std::string& error);
// Whether SQLite takes file for the file at that path, and not for a
// database of its own making.
bool is_plain_path(const std::string& file);
// The database carries the store's marks, of this layout.
bool is_store_database(sqlite3* db);
// The database keeps its text as UTF-8, as every read and write assumes.
bool has_utf8_encoding(sqlite3* db);
// The statements that make an empty database a store.
const char* store_schema();
