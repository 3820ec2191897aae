#include "files.h"
#include "temp_store.h"
#include "tests/double/cds_double.h"
#include "tests/double/run_tool.h"

#include <cstdio>
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

// The rows' output file is left behind by a dump that succeeds only, and
// a device is never removed.
TEST_F(DumpRun, FailedDumpsLeaveNoFile)
{
    const std::string store_file = directory + "/store.db";
    const std::string no_dir = directory + "/no/such/dir.xml";
    cds_double::faults.store_files.insert(store_file);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
        const char* broken = nullptr; // list_node fails there
    } cases[] = {
        {{"-f", file}, 0, ""},
        {{"-f", file, "-p", "/A", "-p", "/Missing"}, 1, ""},
        // A nested failure used to leave whole subtrees missing and status 0.
        {{"-f", file}, -1, "Error: list_node() returned error on '/A'\n", "/A"},
        {{"-f", no_dir}, -1, "Error: can't open file at '" + no_dir + "'\n"},
        // The store's own file is refused before it is truncated.
        {{"-f", store_file}, -1, "Error: can't open file at '" + store_file + "'\n"},
        // A full disk used to give status 0 and a truncated document.
        {{"-f", "/dev/full"}, -1, "Error: can't write file at '/dev/full'\n"},
        // Run as root, a failed dump to a device used to unlink the device.
        {{"-f", "/dev/null", "-p", "/Missing"}, 1, ""},
    };
    for (const auto& row : cases) {
        const std::string& out = row.args[1];
        SCOPED_TRACE(out);
        cds_double::faults.list_node.clear();
        if (row.broken)
            cds_double::faults.list_node.insert(row.broken);
        ToolResult result = run_tool(row.args);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(exists(out), row.status == 0 || out.rfind("/dev/", 0) == 0);
        if (row.status == 0) {
            EXPECT_EQ(read_file(out), whole);
        }
        EXPECT_FALSE(cds_double::connection_open());
        std::remove(file.c_str());
    }
}

// A file that -s creates is its owner's only; one already there keeps its mode.
TEST_F(DumpRun, SensitiveDumpsAreForTheOwner)
{
    mode_t old_mask = umask(022);
    const struct {
        bool sensitive;
        mode_t before; // 0: no file before the dump
        mode_t after;
    } cases[] = {{true, 0, 0600}, {false, 0, 0644}, {true, 0640, 0640}};
    for (const auto& row : cases) {
        std::remove(file.c_str());
        if (row.before) {
            write_file(file, "old");
            chmod(file.c_str(), row.before);
        }
        run_tool(row.sensitive ? std::vector<std::string>{"-s", "-f", file}
                               : std::vector<std::string>{"-f", file});
        EXPECT_EQ(mode_of(file), row.after);
        EXPECT_EQ(read_file(file), whole);
    }
    umask(old_mask);
}

} // namespace
