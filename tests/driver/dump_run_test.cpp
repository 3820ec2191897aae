#include "files.h"
#include "temp_store.h"
#include "tests/double/cds_double.h"
#include "tests/double/run_tool.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const std::string whole = read_file(GOLDEN_DIR "whole.xml");

class DumpRun : public testing::Test
{
  protected:
    void SetUp() override
    {
        cds_double::reset();
        cds_double::add_leaf("/A/x", DATA_TYPE_STRING, "v");
    }

    static bool exists(const std::string& path)
    {
        struct stat info;
        return stat(path.c_str(), &info) == 0;
    }
    static mode_t mode_of(const std::string& path)
    {
        struct stat info;
        stat(path.c_str(), &info);
        return info.st_mode & 07777;
    }

    TempStore temp;
    const std::string& directory = temp.dir;
    const std::string file = temp.dir + "/out.xml";
};

TEST_F(DumpRun, WritesTheFileNotStandardOutput)
{
    ToolResult result = run_tool({"-f", file});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file(file), whole);
}

TEST_F(DumpRun, MissingLastPathDeletesTheFile)
{
    ToolResult result = run_tool({"-f", file, "-p", "/A", "-p", "/Missing"});
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(exists(file));
}

// A nested failure used to leave a file with whole subtrees missing and status 0.
TEST_F(DumpRun, FailedNestedListingDeletesTheFile)
{
    cds_double::faults.list_node.insert("/A");
    ToolResult result = run_tool({"-f", file});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "Error: list_node() returned error on '/A'\n");
    EXPECT_FALSE(exists(file));
    EXPECT_FALSE(cds_double::connection_open());
}

TEST_F(DumpRun, UnopenableFile)
{
    // The store's own file is refused before it is truncated.
    cds_double::faults.store_files.insert(file);
    for (const std::string& path : {directory + "/no/such/dir.xml", file}) {
        SCOPED_TRACE(path);
        ToolResult result = run_tool({"-f", path});
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Error: can't open file at '" + path + "'\n");
        EXPECT_FALSE(exists(path));
        EXPECT_FALSE(cds_double::connection_open());
    }
}

// A full disk used to give status 0 and a truncated document.
TEST_F(DumpRun, WriteFailureIsAnError)
{
    ToolResult result = run_tool({"-f", "/dev/full"});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "Error: can't write file at '/dev/full'\n");
    EXPECT_TRUE(exists("/dev/full"));
}

// Run as root, a failed dump to a device used to unlink the device.
TEST_F(DumpRun, FailedDumpKeepsADevice)
{
    ToolResult result = run_tool({"-f", "/dev/null", "-p", "/Missing"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(exists("/dev/null"));
}

TEST_F(DumpRun, SensitiveDumpCreatesAPrivateFile)
{
    mode_t old_mask = umask(022);
    ToolResult result = run_tool({"-s", "-f", file});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(mode_of(file), 0600u);
    std::string plain = directory + "/plain.xml";
    run_tool({"-f", plain});
    EXPECT_EQ(mode_of(plain), 0644u);
    umask(old_mask);
}

TEST_F(DumpRun, SensitiveDumpKeepsAnExistingFilesMode)
{
    write_file(file, "old");
    chmod(file.c_str(), 0640);
    run_tool({"-s", "-f", file});
    EXPECT_EQ(mode_of(file), 0640u);
    EXPECT_EQ(read_file(file), whole);
}

} // namespace
