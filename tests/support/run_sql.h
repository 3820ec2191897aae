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
