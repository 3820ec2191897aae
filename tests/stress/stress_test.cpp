// SPDX-License-Identifier: MIT
// The real programs on a real store, killed and run side by side: a load
// killed at any moment leaves each batch of 128 data points entirely or not
// at all, and loads and dumps running together each see one state of the
// store.
#include "files.h"
#include "program.h"
#include "temp_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

namespace
{

const int batch_size = 128;

// Node bK under root holds batch K, whose values read "WRITER K J" and then
// padding, which makes each commit take long enough to be hit.
std::string batch_document(const std::string& root, int writer, int batches,
                           std::size_t padding = 0)
{
    std::string document = "<dump>\n<node root=\"" + root + "\">\n";
    for (int k = 0; k < batches; ++k) {
        document += "<node name=\"b" + std::to_string(k) + "\">\n";
        for (int j = 0; j < batch_size; ++j)
            document += "<attr name=\"v" + std::to_string(j) + "\" type=\"string\">" +
                        std::to_string(writer) + " " + std::to_string(k) + " " + std::to_string(j) +
                        " " + std::string(padding, 'x') + "</attr>\n";
        document += "</node>\n";
    }
    return document + "</node>\n</dump>\n";
}

// How many data points of each writer's batch k a dump holds, by {writer, k}.
using Seen = std::map<std::pair<int, int>, int>;

Seen batches_in(const std::string& dump)
{
    Seen seen;
    const std::string value = "type=\"string\">";
    for (std::size_t at = dump.find(value); at != std::string::npos;
         at = dump.find(value, at + 1)) {
        std::istringstream fields(dump.substr(at + value.size(), 40));
        int writer = 0, k = 0;
        if (fields >> writer >> k)
            ++seen[{writer, k}];
    }
    return seen;
}

int points(Seen& seen, int writer, int k)
{
    return seen[{writer, k}];
}

TEST(Crash, KilledLoadLeavesWholeBatches)
{
    const int batches = 10;
    const char* given = std::getenv("STRESS_SEED");
    unsigned seed = given ? std::strtoul(given, nullptr, 10) : std::random_device()();
    SCOPED_TRACE("repeat with STRESS_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    TempStore store;
    std::string document = store.dir + "/crash.xml";
    std::string backup = store.dir + "/backup.db";
    ASSERT_EQ(run_program({{CDSCTL, "init"}}).status, 0);
    std::vector<int> expected(batches, 0); // the run whose batch k is there; 0: none
    for (int run = 1; run <= 30; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // Every third run starts over, so that kills hit new data points as
        // well as replaced ones.
        if (run % 3 == 0) {
            run_program({{CDSCTL, "rm", "/crash"}});
            expected.assign(batches, 0);
        }
        write_file(document, batch_document("/crash", run, batches, 8000));
        pid_t pid = start_program({{CDSXML, "-l", document}});
        ASSERT_GT(pid, 0);
        // A load writes a batch every 130 ms or so.
        usleep(std::uniform_int_distribution<useconds_t>(0, 1500000)(random));
        kill(pid, SIGKILL);
        ProgramRun how = finish_program(pid);
        ASSERT_TRUE(how.signal == SIGKILL || how.status == 0) << "exit " << how.status;

        auto seen = batches_in(run_program({{CDSXML, "-p", "/crash"}}).out);
        // Sound: a backup of it passes the checks of a restore.
        ASSERT_EQ(run_program({{CDSCTL, "backup", backup}}).status, 0);
        ASSERT_EQ(run_program({{CDSCTL, "restore", backup}}).err, "");
        // The batches of this run come first, in document order; the rest
        // are as the runs before left them.
        int k = 0;
        while (k < batches && points(seen, run, k) == batch_size)
            expected[k++] = run;
        for (; k < batches; ++k)
            for (int writer = 1; writer <= run; ++writer)
                ASSERT_EQ(points(seen, writer, k), writer == expected[k] ? batch_size : 0)
                    << "batch " << k << " of run " << writer;
    }
}

// Eight loads into one new store while four processes dump it over and over: nobody fails or gives
// up waiting, every dump sees each load as some number of whole batches in order, and every data
// point arrives.
TEST(Concurrency, LoadsAndDumpsShareTheStore)
{
    const int loaders = 8;
    const int batches = 5;
    TempStore store;
    ASSERT_EQ(run_program({{CDSCTL, "init"}}).status, 0);
    std::vector<pid_t> loads, dumps;
    for (int i = 1; i <= loaders; ++i) {
        std::string name = store.dir + "/load" + std::to_string(i);
        write_file(name + ".xml", batch_document("/c/p" + std::to_string(i), i, batches));
        loads.push_back(start_program({{CDSXML, "-l", name + ".xml"}, "", "", "", name + ".err"}));
    }
    // Each dumper appends dump after dump to its output until the loads end.
    const char* const dump_loop = "while [ ! -e \"$1\" ]; do \"$0\" || exit 1; done";
    const std::string loaded = store.dir + "/loaded";
    for (int d = 0; d < 4; ++d) {
        std::string name = store.dir + "/dumper" + std::to_string(d);
        dumps.push_back(start_program(
            {{"/bin/sh", "-c", dump_loop, CDSXML, loaded}, "", "", name + ".xml", name + ".err"}));
    }
    for (int i = 0; i < loaders; ++i) {
        EXPECT_EQ(finish_program(loads[i]).status, 0);
        EXPECT_EQ(read_file(store.dir + "/load" + std::to_string(i + 1) + ".err"), "");
    }
    write_file(loaded, "");
    for (pid_t pid : dumps)
        EXPECT_EQ(finish_program(pid).status, 0);

    int dumped = 0;
    for (int d = 0; d < 4; ++d) {
        std::string name = store.dir + "/dumper" + std::to_string(d);
        EXPECT_EQ(read_file(name + ".err"), "");
        std::string text = read_file(name + ".xml");
        std::size_t start = 0, end;
        while ((end = text.find("</dump>\n", start)) != std::string::npos) {
            auto seen = batches_in(text.substr(start, end - start));
            start = end + 1;
            ++dumped;
            for (int i = 1; i <= loaders; ++i)
                for (int k = 0; k < batches; ++k)
                    EXPECT_TRUE(points(seen, i, k) == 0 ||
                                (points(seen, i, k) == batch_size &&
                                 (k == 0 || points(seen, i, k - 1) == batch_size)))
                        << "dump " << dumped << ": " << points(seen, i, k)
                        << " data points of load " << i << " batch " << k;
        }
    }
    EXPECT_GT(dumped, 0);
    auto seen = batches_in(run_program({{CDSXML}, "", store.file}).out);
    for (int i = 1; i <= loaders; ++i)
        for (int k = 0; k < batches; ++k)
            EXPECT_EQ(points(seen, i, k), batch_size) << "load " << i << " batch " << k;
}

} // namespace
