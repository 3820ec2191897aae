#include "stress_support.h"

#include "libcds/db.h"

#include <cstdlib>
#include <iostream>
#include <random>

namespace
{

int add_row(void* result, int columns, char** values, char**)
{
    for (int i = 0; i < columns; ++i)
        *static_cast<std::string*>(result) += values[i] ? values[i] : "NULL";
    return 0;
}

} // namespace

std::string integrity_check(const std::string& store_file)
{
    sqlite3* raw = nullptr;
    int opened = sqlite3_open_v2(store_file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DatabasePtr db(raw);
    if (opened != SQLITE_OK)
        return "cannot open " + store_file;
    sqlite3_busy_timeout(db.get(), 5000);
    std::string result;
    if (sqlite3_exec(db.get(), "PRAGMA integrity_check", add_row, &result, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db.get());
    return result;
}

unsigned test_seed()
{
    const char* given = std::getenv("STRESS_SEED");
    unsigned seed =
        given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device()();
    std::cout << "seed " << seed << " (repeat with STRESS_SEED=" << seed << ")\n";
    return seed;
}
