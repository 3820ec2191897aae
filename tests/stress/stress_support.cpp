#include "stress_support.h"
#include "xml_read.h"

#include "libcds/db.h"

#include <cstdlib>
#include <iostream>
#include <random>
#include <vector>

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

DumpCount count_data_points(const std::string& file)
{
    XmlDocument document = read_xml(read_file(file));
    DumpCount count{document.error, {}};
    // The node path each element is in, as the root and name attributes build it.
    std::vector<std::string> paths;
    for (const XmlElement& element : document.elements) {
        std::string here = element.parent < 0 ? "" : paths[element.parent];
        if (element.name == "node") {
            if (const std::string* root = element.attribute("root"))
                here = *root == "/" ? "" : *root;
            else if (const std::string* name = element.attribute("name"))
                here += "/" + *name;
        } else if (element.name == "attr") {
            ++count.data_points[here.empty() ? "/" : here];
        }
        paths.push_back(here);
    }
    return count;
}

unsigned test_seed()
{
    const char* given = std::getenv("STRESS_SEED");
    unsigned seed =
        given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device()();
    std::cout << "seed " << seed << " (repeat with STRESS_SEED=" << seed << ")\n";
    return seed;
}
