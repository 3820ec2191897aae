// Eight loads into one store while four processes dump it over and over:
// nobody fails or gives up waiting, every dump is one consistent state of
// the store, and every data point arrives.
#include "files.h"
#include "program.h"
#include "temp_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace
{

const int loader_count = 8;
const int dumper_count = 4;
const int batches = 5;
const int batch_size = 128;

std::string batch_path(int loader, int batch)
{
    return "/c/p" + std::to_string(loader) + "/b" + std::to_string(batch);
}

std::string value_of(int loader, int batch, int point)
{
    return std::to_string(loader * 100000 + batch * 1000 + point);
}

// One batch per node, so that a dump shows whether it saw a batch whole.
std::string loader_document(int loader)
{
    std::string document = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<dump>\n"
                           "\t<node root=\"/c/p" +
                           std::to_string(loader) + "\">\n";
    for (int k = 0; k < batches; ++k) {
        document += "\t\t<node name=\"b" + std::to_string(k) + "\">\n";
        for (int j = 0; j < batch_size; ++j)
            document += "\t\t\t<attr name=\"v" + std::to_string(j) + "\" type=\"uint32\">" +
                        value_of(loader, k, j) + "</attr>\n";
        document += "\t\t</node>\n";
    }
    return document + "\t</node>\n</dump>\n";
}

// A dump sees each load as some number of whole batches, in order. Every
// value is unique, so its line tells the loader and batch it belongs to.
void expect_snapshot(const std::string& dump)
{
    std::istringstream lines(read_file(dump));
    int seen[loader_count][batches] = {};
    for (std::string line; std::getline(lines, line);) {
        const std::string type = "type=\"uint32\">";
        std::size_t at = line.find(type);
        if (at != std::string::npos) {
            long value = std::stol(line.substr(at + type.size()));
            ++seen[value / 100000][value / 1000 % 100];
        }
    }
    EXPECT_NE(read_file(dump).find("</dump>\n"), std::string::npos) << dump;
    for (int i = 0; i < loader_count; ++i)
        for (int k = 0; k < batches; ++k)
            EXPECT_TRUE(seen[i][k] == 0 || (seen[i][k] == batch_size && (k == 0 || seen[i][k - 1])))
                << dump << ": " << seen[i][k] << " data points in " << batch_path(i, k);
}

// Each dumper dumps over and over until the loads have ended.
const char* const dump_loop = "i=0; while [ ! -e \"$1/loaded\" ]; do i=$((i+1)); "
                              "\"$0\" -f \"$1/dump-$2-$i.xml\" || exit 1; done";

std::vector<std::string> load_while_dumping(const TempStore& store)
{
    std::vector<pid_t> loads, dumps;
    for (int i = 0; i < loader_count; ++i) {
        std::string name = store.dir + "/load" + std::to_string(i);
        write_file(name + ".xml", loader_document(i));
        loads.push_back(start_program({{CDSXML, "-l", name + ".xml"}, "", "", "", name + ".err"}));
    }
    for (int d = 0; d < dumper_count; ++d) {
        std::string err = store.dir + "/dumper" + std::to_string(d) + ".err";
        Program dumper{{"/bin/sh", "-c", dump_loop, CDSXML, store.dir, std::to_string(d)}};
        dumper.err = err;
        dumps.push_back(start_program(dumper));
    }
    for (pid_t pid : loads)
        EXPECT_EQ(finish_program(pid).status, 0);
    write_file(store.dir + "/loaded", "");
    for (pid_t pid : dumps)
        EXPECT_EQ(finish_program(pid).status, 0);
    std::vector<std::string> documents;
    for (const auto& entry : std::filesystem::directory_iterator(store.dir)) {
        std::string path = entry.path();
        if (path.size() > 4 && path.substr(path.size() - 4) == ".err")
            EXPECT_EQ(read_file(path), "") << path;
        else if (entry.path().filename().string().rfind("dump-", 0) == 0)
            documents.push_back(path);
    }
    return documents;
}

// Each load's subtree dumps back as the document it came from.
void expect_every_point_loaded(const TempStore& store)
{
    for (int i = 0; i < loader_count; ++i)
        EXPECT_EQ(run_program({{CDSXML, "-p", "/c/p" + std::to_string(i)}, "", store.file}).out,
                  loader_document(i))
            << "loader " << i;
}

TEST(Concurrency, LoadsAndDumpsShareTheStore)
{
    // The store file does not exist yet: processes opening it raced to
    // create it, and one could fail with "Error: can't connect to CDS".
    TempStore store;

    std::vector<std::string> dumps = load_while_dumping(store);
    ASSERT_FALSE(dumps.empty());
    for (const std::string& dump : dumps)
        expect_snapshot(dump);
    expect_every_point_loaded(store);
}

} // namespace
