// The deepest tree the store takes goes through dump and load whole.
#include "stress_support.h"
#include "temp_store.h"

#include <gtest/gtest.h>

namespace
{

std::string path_of_depth(int depth)
{
    std::string path;
    for (int i = 0; i < depth; ++i)
        path += "/d" + std::to_string(i);
    return path;
}

// A data point at every level down to the deepest path the store takes.
TEST(StoreLimits, DumpAndLoadTheDeepestTree)
{
    std::string lines;
    for (int depth = 1; depth < 256; ++depth) {
        std::string node = path_of_depth(depth);
        lines += node + "\tnode\t0\t\n" + node + "/v\tint32\t0\t" + std::to_string(depth) + "\n";
    }
    TempStore first;
    std::string dump = first.dir + "/deep.xml";
    ASSERT_EQ(run_program({{CDSCTL, "import"}}, lines).status, 0);
    ProgramRun dumped = run_program({{CDSXML, "-f", dump}});
    EXPECT_EQ(dumped.status, 0);
    EXPECT_EQ(dumped.err, "");
    DumpCount count = count_data_points(dump);
    ASSERT_EQ(count.error, "");
    EXPECT_EQ(count.data_points[path_of_depth(255)], 1);

    TempStore second;
    ProgramRun loaded = run_program({{CDSXML, "-l", dump}});
    EXPECT_EQ(loaded.status, 0);
    EXPECT_EQ(loaded.err, "");
    EXPECT_EQ(run_program({{CDSCTL, "export"}}).out, lines);
}

} // namespace
