// The dump of a realistic store made with cdsctl import, byte for byte
// against expected documents, and the dump's failures seen from outside.
#include "e2e_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const std::string realistic_tsv = E2E_DIR "/realistic.tsv";

std::string golden(const std::string& name)
{
    return read_file(E2E_DIR "/golden/" + name);
}

TEST(DumpGolden, RealisticStoreDumpsAsExpected)
{
    TempStore temp;
    ASSERT_EQ(cdsctl(temp, "s.db", {"import", realistic_tsv}).err, "");
    const struct {
        std::vector<std::string> args;
        std::string golden;
        std::string file; // empty: the document goes to standard output
    } cases[] = {
        // Identity data points, the notification sequence, properties other
        // than 0 and 1 and the password are left out; nested nodes with
        // nothing written leave no trace.
        {{}, "whole.xml", ""},
        {{"-f", "out.xml", "-p", "/A", "-n", "/B", "-x", "/A/C", "-c", "-p", "/D"},
         "selected.xml",
         "out.xml"},
        // Persistent data points of /D and its child nodes, none deeper.
        {{"-c", "-n", "/D"}, "persistent-level.xml", ""},
        // -s brings the password back; identity data points stay out.
        {{"-s"}, "sensitive.xml", ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.golden);
        ProgramRun run = cdsxml(temp, "s.db", row.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        std::string document = row.file.empty() ? run.out : read_file(in_dir(temp, row.file));
        if (!row.file.empty()) {
            EXPECT_EQ(run.out, "");
        }
        EXPECT_EQ(document, golden(row.golden));
        write_file(in_dir(temp, "dumped.xml"), document);
        EXPECT_EQ(schema_errors({"dumped.xml"}, temp.dir), "");
    }
}

// Past the sixteen TABs that are written at once, with a path longer than
// the filter canonicalizes on the stack.
TEST(DumpGolden, DeepNodesAreIndentedByTheirDepth)
{
    TempStore temp;
    std::string path;
    for (int depth = 0; depth < 34; ++depth)
        path += "/nnnnnnnnnnnnnnn";
    ASSERT_EQ(cdsctl(temp, "s.db", {"set", path + "/v", "int32", "1"}).status, 0);
    EXPECT_EQ(cdsxml(temp, "s.db", {}).out, golden("deep.xml"));
}

TEST(DumpGolden, FailedDumpsExitWith255AndLeaveNoFile)
{
    TempStore temp;
    ASSERT_EQ(cdsctl(temp, "s.db", {"import", realistic_tsv}).err, "");
    // The link goes first: should a regression delete the destination of a
    // failed dump whatever it is, the link is lost rather than /dev/full.
    ASSERT_EQ(symlink("/dev/full", in_dir(temp, "full").c_str()), 0);
    ASSERT_EQ(symlink("target.xml", in_dir(temp, "link").c_str()), 0);
    std::string store_export = cdsctl(temp, "s.db", {"export"}).out;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
        std::string absent; // a path the run must not leave behind
    } cases[] = {
        {{"-f", "full"}, 255, "Error: can't write file at 'full'\n", ""},
        {{"-s", "-f", "gone.xml", "-p", "/Missing"}, 1, "", "gone.xml"},
        // The failure used to delete the link, leaving its target behind.
        {{"-f", "link", "-p", "/Missing"}, 1, "", ""},
        // Writing over the store or its companions destroyed it.
        {{"-f", "s.db"}, 255, "Error: can't open file at 's.db'\n", ""},
        {{"-f", "s.db-wal"}, 255, "Error: can't open file at 's.db-wal'\n", ""},
        {{"-f", "s.db-shm"}, 255, "Error: can't open file at 's.db-shm'\n", ""},
        {{"-f", "./s.db-journal"},
         255,
         "Error: can't open file at './s.db-journal'\n",
         "s.db-journal"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.args[1]);
        ProgramRun run = cdsxml(temp, "s.db", row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.out, "");
        if (!row.absent.empty()) {
            EXPECT_FALSE(file_exists(in_dir(temp, row.absent)));
        }
        for (const char* link : {"full", "link"})
            ASSERT_TRUE(file_exists(in_dir(temp, link))) << link << " was deleted";
    }
    struct stat info;
    EXPECT_TRUE(stat("/dev/full", &info) == 0 && S_ISCHR(info.st_mode));
    EXPECT_EQ(cdsctl(temp, "s.db", {"export"}).out, store_export);

    // The version text used to be lost with status 0.
    for (std::string args : {"", " -v"}) {
        SCOPED_TRACE(args);
        ProgramRun run = run_program(
            in_temp(temp, "s.db", "/bin/sh", {"-c", "exec \"$0\"" + args + " >/dev/full", CDSXML}));
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.err, "Error: can't write to standard output\n");
    }
}

} // namespace
