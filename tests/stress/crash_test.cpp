// A load killed at any moment leaves a sound store that holds each batch of
// 128 data points entirely or not at all.
#include "files.h"
#include "libcds/db.h"
#include "program.h"
#include "temp_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>

namespace
{

const int batch_count = 10;
const int batch_size = 128;
const int killed_runs = 30;
const std::size_t value_size = 8000;
const int absent = -1;
const int mixed = -2;

// Batch k is the node /crash/bk; every value names the run that wrote it.
// Long values make each commit take long enough to be hit.
std::string crash_document(int run)
{
    std::string value = "r" + std::to_string(run) + ":" + std::string(value_size, 'x');
    std::string document = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<dump>\n"
                           "\t<node root=\"/crash\">\n";
    for (int k = 0; k < batch_count; ++k) {
        document += "\t\t<node name=\"b" + std::to_string(k) + "\">\n";
        for (int j = 0; j < batch_size; ++j)
            document += "\t\t\t<attr name=\"v" + std::to_string(j) + "\" type=\"string\">" + value +
                        "</attr>\n";
        document += "\t\t</node>\n";
    }
    return document + "\t</node>\n</dump>\n";
}

// The run whose batch k the store holds whole, absent, or mixed.
std::vector<int> batch_writers(const TempStore& store)
{
    std::vector<std::vector<int>> seen(batch_count);
    std::istringstream lines(run_program({{CDSCTL, "export", "/crash"}, "", store.file}).out);
    std::string path, type, property, value;
    while (std::getline(lines, path, '\t') && std::getline(lines, type, '\t') &&
           std::getline(lines, property, '\t') && std::getline(lines, value)) {
        int k = 0, j = 0, writer = 0;
        char tail = 0;
        if (std::sscanf(path.c_str(), "/crash/b%d/v%d%c", &k, &j, &tail) != 2 || k < 0 ||
            k >= batch_count)
            continue;
        bool whole = std::sscanf(value.c_str(), "r%d:", &writer) == 1 &&
                     value == "r" + std::to_string(writer) + ":" + std::string(value_size, 'x');
        seen[k].push_back(whole ? writer : mixed);
    }
    std::vector<int> writers;
    for (const std::vector<int>& batch : seen) {
        if (batch.empty())
            writers.push_back(absent);
        else if (batch.size() == batch_size &&
                 std::count(batch.begin(), batch.end(), batch[0]) == batch_size)
            writers.push_back(batch[0]);
        else
            writers.push_back(mixed);
    }
    return writers;
}

// "ok" when the store file is sound.
std::string integrity_check(const std::string& store_file)
{
    sqlite3* raw = nullptr;
    sqlite3_open_v2(store_file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    DatabasePtr db(raw);
    sqlite3_busy_timeout(db.get(), 5000);
    std::string result;
    auto add_row = [](void* text, int, char** values, char**) {
        *static_cast<std::string*>(text) += values[0] ? values[0] : "NULL";
        return 0;
    };
    if (sqlite3_exec(db.get(), "PRAGMA integrity_check", add_row, &result, nullptr) != SQLITE_OK)
        return sqlite3_errmsg(db.get());
    return result;
}

bool has_exited(pid_t pid)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// Waits for the change-th write to the store's log: a batch being committed.
void await_log_change(const std::string& log, pid_t pid, int change)
{
    struct stat last {
    };
    stat(log.c_str(), &last);
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (change > 0 && !has_exited(pid) && std::chrono::steady_clock::now() < give_up) {
        struct stat now {
        };
        stat(log.c_str(), &now);
        if (now.st_size != last.st_size || now.st_mtim.tv_nsec != last.st_mtim.tv_nsec ||
            now.st_mtim.tv_sec != last.st_mtim.tv_sec)
            --change;
        last = now;
        usleep(100);
    }
}

TEST(Crash, KilledLoadLeavesWholeBatches)
{
    TempStore store;
    const char* given = std::getenv("STRESS_SEED");
    unsigned seed = given ? std::strtoul(given, nullptr, 10) : std::random_device()();
    SCOPED_TRACE("repeat with STRESS_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    std::string document = store.dir + "/crash.xml";
    std::vector<int> expected(batch_count, absent);
    for (int r = 1; r <= killed_runs; ++r) {
        SCOPED_TRACE("run " + std::to_string(r));
        // Every third run starts over, so that kills hit new data points as
        // well as replaced ones.
        if (r % 3 == 0) {
            run_program({{CDSCTL, "rm", "/crash"}});
            expected.assign(batch_count, absent);
        }
        write_file(document, crash_document(r));
        pid_t pid = start_program({{CDSXML, "-l", document}});
        ASSERT_GT(pid, 0);
        await_log_change(store.file + "-wal", pid,
                         std::uniform_int_distribution<int>(1, batch_count)(random));
        usleep(std::uniform_int_distribution<useconds_t>(0, 2000)(random));
        kill(pid, SIGKILL);
        ProgramRun how = finish_program(pid);
        ASSERT_TRUE(how.signal == SIGKILL || how.status == 0)
            << "exit " << how.status << ", signal " << how.signal;

        ASSERT_EQ(integrity_check(store.file), "ok");
        std::vector<int> writers = batch_writers(store);
        // The batches of this run come first, in document order; the rest
        // are as the runs before left them.
        std::size_t written = 0;
        while (written < writers.size() && writers[written] == r)
            ++written;
        for (std::size_t k = written; k < writers.size(); ++k)
            ASSERT_EQ(writers[k], expected[k])
                << "batch " << k << "; run " << r << " was killed after its first few";
        expected = writers;
    }
}

// An interrupted dump used to leave an unterminated document behind. The
// dump is stopped once it has written something, so that the signal finds
// it running.
TEST(Crash, InterruptedDumpRemovesItsFileAndDiesOfTheSignal)
{
    TempStore store;
    std::string lines;
    for (int k = 0; k < 300000; ++k)
        lines += "/i/n" + std::to_string(k / 100) + "/v" + std::to_string(k) + "\tint32\t0\t1\n";
    ASSERT_EQ(run_program({{CDSCTL, "import"}}, lines).err, "");
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal_number));
        // A runner started in the background may pass the signal on ignored,
        // and a dump leaves an ignored signal ignored.
        signal(signal_number, SIG_DFL);
        std::string dump = store.dir + "/stopped.xml";
        pid_t pid = start_program({{CDSXML, "-f", dump}});
        ASSERT_GT(pid, 0);
        struct stat info {
        };
        while (!has_exited(pid) && (stat(dump.c_str(), &info) != 0 || info.st_size == 0))
            usleep(100);
        kill(pid, SIGSTOP);
        kill(pid, signal_number);
        kill(pid, SIGCONT);
        EXPECT_EQ(finish_program(pid).signal, signal_number);
        EXPECT_NE(access(dump.c_str(), F_OK), 0);
    }
}

} // namespace
