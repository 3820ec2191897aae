// SPDX-License-Identifier: MIT
// The whole tool run in-process against the in-memory double: its command
// line, what a dump leaves on disk and how a load fails.
#include "driver/run.h"
#include "files.h"
#include "temp_store.h"
#include "tests/double/cds_double.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

struct ToolResult {
    int status;
    std::string out;
    std::string err;
};

// cdsxml run in-process with args after its name, its output captured.
ToolResult run_tool(std::vector<std::string> args)
{
    args.insert(args.begin(), "cdsxml");
    std::vector<char*> argv;
    for (std::string& word : args)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = run_cdsxml(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    std::string out = testing::internal::GetCapturedStdout();
    return {status, out, testing::internal::GetCapturedStderr()};
}

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
    // Broke: a mistyped path passed in silence; it is named as it was typed.
    {"MissingPathStatusOne",
     {"-p", "/Missing/"},
     1,
     "envelope.xml",
     "Warning: no node at '/Missing/'\n"},
    {"LastMissingPathDecides",
     {"-p", "/A", "-p", "/Mis\nsing"},
     1,
     "only-a.xml",
     "Warning: no node at '/Mis\\nsing'\n"},
    {"TyposWarnThoughALaterPathExists",
     {"-n", "/a", "-p", "/A/x", "-n", "/A"},
     0,
     "only-a.xml",
     "Warning: no node at '/A/x'\nWarning: no node at '/a'\n"},
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

void exit_42(int)
{
    _exit(42);
}

// A signal that interrupts a dump leaves the file as it was and ends the
// dump with that signal, unless whoever started the dump ignored it
// (nohup). Either way the dump leaves the signal as it found it.
TEST(DumpRun, InterruptedDump)
{
    TempStore temp;
    const std::string file = temp.dir + "/out.xml";
    const std::string dump = read_file(GOLDEN_DIR + std::string("whole.xml"));
    const struct {
        void (*disposition)(int);
        const char* signal_at;
        int exit_status; // -1: killed by the signal
        bool replaced;
    } cases[] = {{SIG_DFL, "/A", -1, false}, {SIG_IGN, "/A", 0, true}, {exit_42, "", 42, true}};
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        for (const auto& row : cases) {
            SCOPED_TRACE(strsignal(signal_number));
            write_file(file, "old");
            pid_t pid = fork();
            if (pid == 0) {
                signal(signal_number, row.disposition);
                cds_double::reset();
                cds_double::add_leaf("/A/x", DATA_TYPE_STRING, "v");
                cds_double::faults.signal_at = row.signal_at;
                cds_double::faults.signal_number = signal_number;
                int status = run_tool({"-f", file}).status;
                raise(signal_number);
                _exit(status);
            }
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            if (row.exit_status < 0)
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
            else
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.exit_status) << status;
            EXPECT_EQ(read_file(file), row.replaced ? dump : "old");
        }
    }
    // Running out of memory used to abort, leaving an empty file.
    write_file(file, "old");
    cds_double::reset();
    cds_double::add_leaf("/A/x", DATA_TYPE_STRING, "v");
    cds_double::faults.out_of_memory_at = "/A";
    ToolResult result = run_tool({"-f", file});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "Error: out of memory\n");
    EXPECT_EQ(read_file(file), "old");
    EXPECT_FALSE(cds_double::connection_open());
}

const char* const two_points = "<dump><node root=\"/A\">"
                               "<attr name=\"kept\" type=\"int32\" persist=\"true\">7</attr>"
                               "<attr name=\"plain\" type=\"string\">v</attr></node></dump>";

// Where -c stands decides: before -l it is a dump's mark, after it a load option.
TEST(LoadRun, PersistentOnlyWhenGivenAfterTheFile)
{
    TempStore temp;
    const std::string file = temp.dir + "/in.xml";
    write_file(file, two_points);
    cds_double::reset();
    ToolResult result = run_tool({"-c", "-i", "restore", "-l", file});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(cds_double::leaf_value("/A/kept").type(), DATA_TYPE_INT32);
    EXPECT_TRUE(cds_double::has_leaf("/A/plain"));
    EXPECT_EQ(cds_double::calls().back().source, "restore");
    EXPECT_FALSE(cds_double::connection_open());

    cds_double::reset();
    EXPECT_EQ(run_tool({"-l", file, "-c"}).status, 0);
    EXPECT_TRUE(cds_double::has_leaf("/A/kept"));
    EXPECT_FALSE(cds_double::has_leaf("/A/plain"));
}

// Entities the parser cannot resolve used to vanish from attribute values:
// name="a&b;c" loaded as "ac", root="/X/&u;Y" as "/X/Y".
const std::string external_subset = "<!DOCTYPE dump SYSTEM \"cds.dtd\">\n";
const std::string parameter_entity = "<!DOCTYPE dump [<!ENTITY % p SYSTEM \"cds.ent\"> %p;]>\n";
const std::string entity_in_name =
    "<dump><node root=\"/X\"><attr name=\"a&b;c\" type=\"string\">v</attr></node></dump>\n";
const std::string entity_in_root =
    "<dump><node root=\"/X/&u;Y\"><attr name=\"a\" type=\"string\">v</attr></node></dump>\n";
const std::string not_standalone =
    "Error: document type declaration with an external subset or parameter entity reference"
    " - exiting\nXML_ParseBuffer() failed\nError: document is not standalone at line 1, column ";

// Entities a billion characters long, or read from a file the document names.
std::string entity_bomb()
{
    std::string bomb = "<!DOCTYPE dump [<!ENTITY a0 \"lol\">\n";
    for (int i = 1; i <= 12; ++i) {
        bomb += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 8; ++k)
            bomb += "&a" + std::to_string(i - 1) + ";";
        bomb += "\">\n";
    }
    return bomb + "]>\n<dump><node root=\"/\"><attr name=\"a\" type=\"string\">&a12;</attr>"
                  "</node></dump>\n";
}
const std::string external_entity =
    "<!DOCTYPE dump [<!ENTITY s SYSTEM \"file:///etc/passwd\">]>\n<dump><node root=\"/\">"
    "<attr name=\"a\" type=\"string\">&s;</attr></node></dump>\n";

// A cut copy of a backup, with a warning before the cut.
std::string cut_backup()
{
    std::string text = "<dump><node root=\"/\"><junk/>";
    for (int i = 0; i < 300; ++i)
        text += "<attr name=\"a" + std::to_string(i) + "\" type=\"string\">v</attr>";
    return text;
}

// Nothing of a document that fails is written, nor warned about.
TEST(LoadRun, FailedLoads)
{
    TempStore temp;
    const std::string file = temp.dir + "/in.xml";
    const std::string& directory = temp.dir;
    const std::string missing = directory + "/missing.xml";
    const struct {
        std::string text;
        std::string err;
        std::string path = ""; // loaded instead of the text
        bool store_fails = false;
    } cases[] = {
        {two_points, "set_leaves() returned error\n", "", true},
        {"", "Error: can't open file at '" + missing + "'\n", missing},
        // A read error used to pass for the end of the document.
        {"", "Error: can't read file at '" + directory + "'\n", directory},
        {"<dump>\n<node root=\"/\">\n<attr name=\"a\" type=\"string\">v</attr>\n",
         "XML_ParseBuffer() failed\nError: no element found at line 4, column 0\n"},
        // Broke: the first two batches were written before the parse failed.
        {cut_backup(),
         "XML_ParseBuffer() failed\nError: no element found at line 1, column 11918\n"},
        {"<dump><node root=\"/\"><attr name=\"a\" type=\"string\">\xff</attr></node></dump>",
         "XML_ParseBuffer() failed\n"
         "Error: not well-formed (invalid token) at line 1, column 50\n"},
        {external_subset + entity_in_name, not_standalone + "22\n"},
        {parameter_entity + entity_in_root, not_standalone + "47\n"},
        {entity_bomb(), "XML_ParseBuffer() failed\nError: limit on input amplification factor "
                        "(from DTD and entities) breached at line 15, column 50\n"},
        {external_entity, "XML_ParseBuffer() failed\n"
                          "Error: error in processing external entity reference at line 2, "
                          "column 50\n"},
        // Standalone, the document's own declarations are all there is.
        {"<?xml version=\"1.0\" standalone=\"yes\"?>\n" + external_subset + entity_in_name,
         "XML_ParseBuffer() failed\nError: undefined entity at line 3, column 22\n"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.path + row.text.substr(0, 60));
        cds_double::reset();
        cds_double::faults.set_leaves_call = row.store_fails ? 0 : -1;
        write_file(file, row.text);
        ToolResult result = run_tool({"-l", row.path.empty() ? file : row.path});
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(cds_double::count_calls("set_leaves"), row.store_fails ? 1 : 0);
        EXPECT_FALSE(cds_double::connection_open());
    }
}

} // namespace
