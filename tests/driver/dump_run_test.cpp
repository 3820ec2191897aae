#include "files.h"
#include "temp_store.h"
#include "tests/double/cds_double.h"
#include "tests/double/run_tool.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

// A file that -s creates holds passwords and is its owner's only; one
// already there keeps the mode its owner gave it.
TEST(DumpRun, SensitiveDumpsAreForTheOwner)
{
    TempStore temp;
    const std::string file = temp.dir + "/out.xml";
    cds_double::reset();
    cds_double::add_leaf("/A/x", DATA_TYPE_STRING, "v");
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
        std::vector<std::string> args = {"-f", file};
        if (row.sensitive)
            args.push_back("-s");
        EXPECT_EQ(run_tool(args).status, 0);
        struct stat info {
        };
        EXPECT_EQ(stat(file.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, row.after);
        EXPECT_EQ(read_file(file), read_file(GOLDEN_DIR "whole.xml"));
    }
    umask(old_mask);
}

} // namespace
