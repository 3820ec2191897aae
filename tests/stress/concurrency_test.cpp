// Eight loads into one store while four processes dump it over and over:
// nobody fails or gives up waiting, every dump is one consistent state of
// the store, and every data point arrives.
#include "stress_support.h"
#include "temp_store.h"

#include <gtest/gtest.h>

#include <iostream>

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

std::string expected_export(int loader)
{
    std::string lines = "/c/p" + std::to_string(loader) + "\tnode\t0\t\n";
    for (int k = 0; k < batches; ++k) {
        lines += batch_path(loader, k) + "\tnode\t0\t\n";
        for (int j = 0; j < batch_size; ++j)
            lines += batch_path(loader, k) + "/v" + std::to_string(j) + "\tuint32\t0\t" +
                     value_of(loader, k, j) + "\n";
    }
    return lines;
}

struct Job {
    std::string name;
    Program command;
    int dumper = -1;
};

// A dump sees each load as some number of whole batches, in order.
void expect_snapshot(const std::string& dump)
{
    DumpCount count = count_data_points(dump);
    ASSERT_EQ(count.error, "") << dump;
    for (int i = 0; i < loader_count; ++i) {
        bool ended = false;
        for (int k = 0; k < batches; ++k) {
            long seen = count.data_points[batch_path(i, k)];
            EXPECT_TRUE(seen == 0 || (seen == batch_size && !ended))
                << dump << ": " << seen << " data points in " << batch_path(i, k);
            ended |= seen == 0;
        }
    }
}

// Runs the loads and the dumps; the dumpers go on until the loads end.
std::vector<Job> load_while_dumping(const TempStore& store)
{
    std::map<pid_t, Job> running;
    std::vector<Job> finished;
    std::vector<int> dumps_made(dumper_count, 0);
    auto launch = [&](Job job) {
        job.command.err = store.dir + "/" + job.name + ".err";
        pid_t pid = start_program(job.command);
        EXPECT_GT(pid, 0) << job.name;
        running[pid] = job;
    };
    auto launch_dump = [&](int d) {
        std::string name = "dump" + std::to_string(d) + "-" + std::to_string(dumps_made[d]++);
        launch({name, {{CDSXML, "-f", store.dir + "/" + name + ".xml"}}, d});
    };
    for (int i = 0; i < loader_count; ++i) {
        std::string name = "load" + std::to_string(i);
        write_file(store.dir + "/" + name + ".xml", loader_document(i));
        launch({name, {{CDSXML, "-l", store.dir + "/" + name + ".xml"}}});
    }
    for (int d = 0; d < dumper_count; ++d)
        launch_dump(d);

    int loads_running = loader_count;
    while (!running.empty()) {
        ProgramRun how = finish_program(-1);
        auto job = running.find(how.pid);
        if (job == running.end())
            break;
        EXPECT_EQ(how.status, 0) << job->second.name;
        std::string err = read_file(job->second.command.err);
        EXPECT_EQ(err.find("database is locked"), std::string::npos) << job->second.name;
        EXPECT_EQ(err, "") << job->second.name;
        loads_running -= job->second.dumper < 0;
        if (job->second.dumper >= 0 && loads_running > 0)
            launch_dump(job->second.dumper);
        finished.push_back(job->second);
        running.erase(job);
    }
    return finished;
}

void expect_every_point_loaded(const TempStore& store)
{
    for (int i = 0; i < loader_count; ++i)
        EXPECT_EQ(run_program({{CDSCTL, "export", "/c/p" + std::to_string(i)}, "", store.file}).out,
                  expected_export(i))
            << "loader " << i;
}

TEST(Concurrency, LoadsAndDumpsShareTheStore)
{
    // The store file does not exist yet: processes opening it raced to
    // create it, and one could fail with "Error: can't connect to CDS".
    TempStore store;

    std::vector<Job> jobs = load_while_dumping(store);
    int dumps = 0;
    for (const Job& job : jobs) {
        if (job.dumper >= 0) {
            ++dumps;
            expect_snapshot(job.command.args[2]);
        }
    }
    std::cout << dumps << " dumps during " << loader_count << " loads\n";
    expect_every_point_loaded(store);
}

} // namespace
