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
// The layouts a database may have: the store's marks missing, or of a
// form before this library's, of this library's, or of a later one.
enum class StoreForm { not_a_store, old, current, newer };
StoreForm store_form(sqlite3* db);
constexpr const char* newer_store = "the store was made by a newer cdsxml";
// Lets SQL on db find a source text's hash as source_hash(text).
bool add_source_hash(sqlite3* db);
// Brings a store of an old form to the current one in one transaction, so
// that a failure or a crash leaves the old form as it was; false, with why,
// when that fails.
bool migrate_store(sqlite3* db, std::string& why);
// The database keeps its text as UTF-8, as every read and write assumes.
bool has_utf8_encoding(sqlite3* db);
// The statements that make an empty database a store.
const char* store_schema();
