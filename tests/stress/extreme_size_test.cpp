// A node of a million data points and a value of 100 MB: both go through
// the real binaries whole, in memory that does not grow with them. A dump
// of the million stopped by a signal leaves nothing behind.
#include "stress_support.h"
#include "temp_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const int million = 1000000;

const char* const dump_head = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<dump>\n"
                              "\t<node root=\"/\">\n\t\t<node name=\"big\">\n";
const char* const dump_tail = "\t\t</node>\n\t</node>\n</dump>\n";

// Standard error goes to the file err, when one is given.
ProgramRun timed(const std::string& what, const std::vector<std::string>& args,
                 const std::string& err = "")
{
    Program program{args};
    program.err = err;
    auto began = std::chrono::steady_clock::now();
    ProgramRun how = finish_program(start_program(program));
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::cout << what << ": " << took.count() << " s, " << how.max_rss_kb / 1024 << " MB\n";
    return how;
}

// Waits until the file has content, for ten seconds at most.
void await_content(const std::string& path)
{
    struct stat info;
    for (int tries = 0; tries < 10000; ++tries) {
        if (stat(path.c_str(), &info) == 0 && info.st_size > 0)
            return;
        usleep(1000);
    }
}

// The store is built once: the import takes seconds.
class MillionDataPoints : public testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        store = new TempStore;
        std::string lines = "/big\tnode\t0\t\n";
        for (int i = 0; i < million; ++i)
            lines += "/big/p" + std::to_string(i) + "\tint32\t0\t" + std::to_string(i) + "\n";
        write_file(store->dir + "/big.tsv", lines);
        ProgramRun how = timed("import", {CDSCTL, "import", store->dir + "/big.tsv"});
        ASSERT_EQ(how.status, 0);
    }
    static void TearDownTestSuite()
    {
        delete store;
    }

    static TempStore* store;
};

TempStore* MillionDataPoints::store = nullptr;

TEST_F(MillionDataPoints, DumpHoldsEveryOne)
{
    std::string dump = store->dir + "/big.xml";
    std::string err = store->dir + "/dump.err";
    ProgramRun how = timed("dump", {CDSXML, "-f", dump}, err);
    EXPECT_EQ(how.status, 0);
    EXPECT_EQ(read_file(err), "");
    std::string expected = dump_head;
    for (int i = 0; i < million; ++i)
        expected += "\t\t\t<attr name=\"p" + std::to_string(i) + "\" type=\"int32\">" +
                    std::to_string(i) + "</attr>\n";
    expected += dump_tail;
    EXPECT_TRUE(read_file(dump) == expected);
}

// A node's data points are read with one get_leaves call, so a dump's
// memory follows the width of its widest node (about 250 bytes a data
// point), never the size of the store.
TEST_F(MillionDataPoints, DumpMemoryFollowsTheWidestNode)
{
    ProgramRun how = timed("dump", {CDSXML, "-f", "/dev/null"});
    EXPECT_EQ(how.status, 0);
    EXPECT_LT(how.max_rss_kb, 400 * 1024 * memory_scale);
}

// An interrupted dump used to leave an unterminated document behind.
TEST_F(MillionDataPoints, InterruptedDumpRemovesItsFileAndDiesOfTheSignal)
{
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal_number));
        // A runner started in the background may pass the signal on ignored,
        // and a dump leaves an ignored signal ignored.
        signal(signal_number, SIG_DFL);
        std::string dump = store->dir + "/stopped" + std::to_string(signal_number) + ".xml";
        pid_t pid = start_program({{CDSXML, "-f", dump}});
        ASSERT_GT(pid, 0);
        await_content(dump);
        kill(pid, signal_number);
        EXPECT_EQ(finish_program(pid).signal, signal_number);
        EXPECT_NE(access(dump.c_str(), F_OK), 0);
    }
}

TEST(HugeValue, HundredMegabytesLoadAndDumpBackEqual)
{
    TempStore store;
    // Escapes and multi-byte characters all the way through.
    const std::string unit = "0123456789 &amp; &lt;tag&gt; \xc3\xa9\xe4\xb8\xad ";
    std::string document = dump_head;
    document += "\t\t\t<attr name=\"value\" type=\"string\">";
    while (document.size() < 100u * 1024 * 1024)
        document += unit;
    document += "</attr>\n";
    document += dump_tail;
    std::string source = store.dir + "/in.xml";
    write_file(source, document);

    std::string err = store.dir + "/err";
    ProgramRun loaded = timed("load", {CDSXML, "-l", source}, err);
    EXPECT_EQ(loaded.status, 0);
    EXPECT_EQ(read_file(err), "");
    EXPECT_LT(loaded.max_rss_kb, 1024 * 1024 * memory_scale);

    std::string dump = store.dir + "/out.xml";
    ProgramRun dumped = timed("dump", {CDSXML, "-f", dump}, err);
    EXPECT_EQ(dumped.status, 0);
    EXPECT_EQ(read_file(err), "");
    EXPECT_LT(dumped.max_rss_kb, 1024 * 1024 * memory_scale);
    EXPECT_TRUE(read_file(dump) == document);
}

} // namespace
