// A dump of a realistic store loaded into an empty one restores what the
// dump promised (stored exports), and dumping the loaded store gives the
// same document.
#include "e2e_store.h"

#include <gtest/gtest.h>

namespace
{

TEST(LoadRoundTrip, RealisticStoreComesBackAsDumped)
{
    TempStore temp;
    ASSERT_EQ(cdsctl(temp, "original.db", {"import", E2E_DIR "/realistic.tsv"}).err, "");

    for (bool sensitive : {true, false}) {
        SCOPED_TRACE(sensitive ? "with -s" : "without -s");
        std::string tag = sensitive ? "s" : "plain";
        std::string first = "d-" + tag + ".xml";
        std::string second = "again-" + tag + ".xml";
        std::string loaded = "loaded-" + tag + ".db";
        std::vector<std::string> dump = {"-f", first};
        if (sensitive)
            dump.insert(dump.begin(), "-s");

        ProgramRun run = cdsxml(temp, "original.db", dump);
        ASSERT_EQ(run.status, 0) << run.err;

        run = cdsxml(temp, loaded, {"-l", first});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        std::string expected = read_file(E2E_DIR "/golden/loaded" +
                                         std::string(sensitive ? "-sensitive" : "") + ".tsv");
        std::string actual = cdsctl(temp, loaded, {"export"}).out;
        EXPECT_EQ(actual, expected);

        dump[dump.size() - 1] = second;
        ASSERT_EQ(cdsxml(temp, loaded, dump).status, 0);
        EXPECT_EQ(read_file(in_dir(temp, second)), read_file(in_dir(temp, first)));
        EXPECT_EQ(schema_errors({first, second}, temp.dir), "");
    }

    // -r changes a data point that is there and creates none.
    ASSERT_EQ(cdsctl(temp, "r.db", {"import"}, "/A/Count\tint32\t0\t5\n").status, 0);
    ProgramRun run = cdsxml(temp, "r.db", {"-l", "d-plain.xml", "-r"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(cdsctl(temp, "r.db", {"export"}).out,
              "/A\tnode\t0\t\n/A/Count\tint32\t0\t-2147483648\n");
}

} // namespace
