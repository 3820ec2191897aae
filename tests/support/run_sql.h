// SPDX-License-Identifier: MIT
// Changes a store file behind the library's back, as a crafted file or a
// damaged disk would. Tests that include this link SQLite.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

inline void run_sql(const std::string& file, const std::string& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db) << " in " << sql;
    sqlite3_close(db);
}

// The number that a query of one row and column gives, or -1.
inline long long query_number(const std::string& file, const std::string& sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* query = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr);
    long long number = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
    sqlite3_finalize(query);
    sqlite3_close(db);
    return number;
}
