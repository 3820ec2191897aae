#include "files.h"
#include "tests/double/cds_double.h"
#include "tests/double/run_tool.h"

#include <gtest/gtest.h>
#include <regex>

namespace
{

const char* const usage = "usage";

// The connection fails for the rows that must end before contacting the CDS.
struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out; // a golden file; the usage text goes to standard error instead
    std::string err = "";
    bool unreachable = false;
};

const std::regex version("cdsxml: version 2\\.0\\.0\n"
                         "Build date: [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d\n"
                         "\\$Revision: 45901 \\$\n\n");

const Case cases[] = {
    {"NoArgumentsDumpsAll", {}, 0, "whole.xml"},
    {"PersistentMarkAloneDumpsAll", {"-c"}, 0, "whole.xml"},
    {"SourceAloneDumpsAll", {"-i", "S"}, 0, "whole.xml"},
    {"SourceBeforePathDumps", {"-i", "S", "-p", "/A"}, 0, "only-a.xml"},
    {"SourceAfterPathRefused", {"-p", "/A", "-i", "S"}, 1, usage},
    {"ExcludeTakesAnyWord", {"-x", "-v"}, 0, "whole.xml"},
    {"ExcludeUnderPersistentMarkDoesNotApplyToRoot", {"-c", "-x", "/A"}, 0, "whole.xml"},
    {"ExcludeChild", {"-x", "/A"}, 0, "root-empty.xml"},
    {"ExcludeCanonicalized", {"-x", "//A/./"}, 0, "root-empty.xml"},
    {"PathCanonicalized", {"-p", "/A/"}, 0, "only-a.xml"},
    {"PathSlashIsRoot", {"-p", "/"}, 0, "whole.xml"},
    {"MissingPathStatusOne", {"-p", "/Missing"}, 1, "envelope.xml"},
    {"LastMissingPathDecides", {"-p", "/A", "-p", "/Missing"}, 1, "only-a.xml"},
    {"NonRecursiveStopsAtTwoLevels", {"-n", "/"}, 0, "whole.xml"},
    {"OnlyExistingBeforeLoad", {"-r", "-l", "F"}, 1, usage},
    {"SensitiveInLoad", {"-l", "F", "-s"}, 1, usage},
    {"FileThenLoad", {"-f", "X", "-l", "F"}, 1, usage},
    {"PathInLoad", {"-l", "F", "-p", "P"}, 1, usage},
    {"EmptyPathArgument", {"-p", ""}, 1, usage},
    {"MissingArgument", {"-x"}, 1, usage},
    {"MissingLoadArgument", {"-l"}, 1, usage},
    {"UnknownOption", {"--help"}, 1, usage},
    {"NoCombinedFlags", {"-sc"}, 1, usage},
    {"StrayWord", {"dump"}, 1, usage},
    {"ErrorBeforeVersionWins", {"-r", "-v"}, 1, usage},
    {"Version", {"-v"}, 0, "version", "", true},
    {"VersionBeforeLoadOption", {"-v", "-r"}, 0, "version", "", true},
    {"VersionEndsParsing", {"-p", "/A", "-v", "bogus"}, 0, "version", "", true},
    {"UsageErrorNeverConnects", {"-q"}, 1, usage, "", true},
    {"ConnectionFailureWritesNoDocument",
     {"-p", "/A"},
     1,
     "",
     "Error: can't connect to CDS\n",
     true},
};

// One run after another in one process, as the fuzz target runs them: no
// option of a run may linger into the next.
TEST(CommandLine, ParsesAsDocumented)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cds_double::reset();
        cds_double::add_leaf("/A/x", DATA_TYPE_STRING, "v");
        cds_double::faults.init = c.unreachable;
        ToolResult result = run_tool(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.out == usage ? read_file(USAGE_GOLDEN) : c.err);
        if (c.out == "version")
            EXPECT_TRUE(std::regex_match(result.out, version)) << result.out;
        else
            EXPECT_EQ(result.out,
                      c.out.empty() || c.out == usage ? "" : read_file(GOLDEN_DIR + c.out));
        EXPECT_FALSE(cds_double::connection_open());
    }
}

} // namespace
