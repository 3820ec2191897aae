#include "files.h"
#include "temp_store.h"
#include "tests/double/cds_double.h"
#include "tests/double/run_tool.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace
{

const char* const two_points =
    "<dump>\n"
    "\t<node root=\"/\">\n"
    "\t\t<node name=\"A\">\n"
    "\t\t\t<attr name=\"kept\" type=\"int32\" persist=\"true\">7</attr>\n"
    "\t\t\t<attr name=\"plain\" type=\"string\">v</attr>\n"
    "\t\t</node>\n"
    "\t</node>\n"
    "</dump>\n";

class LoadRun : public testing::Test
{
  protected:
    void SetUp() override
    {
        cds_double::reset();
    }
    void write_input(const std::string& text)
    {
        write_file(file, text);
    }

    TempStore temp;
    const std::string& directory = temp.dir;
    const std::string file = temp.dir + "/in.xml";
};

// Where -c stands decides: before -l it is a dump's mark, after it a load option.
TEST_F(LoadRun, PersistentOnlyWhenGivenAfterTheFile)
{
    write_input(two_points);
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

TEST_F(LoadRun, FailedWriteFailsTheLoad)
{
    write_input(two_points);
    cds_double::faults.set_leaves_call = 0;
    ToolResult result = run_tool({"-l", file});
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "set_leaves() returned error\n");
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

// Whatever was queued before the fault is not written.
TEST_F(LoadRun, BadDocumentsFailWithPosition)
{
    const std::string missing = directory + "/missing.xml";
    const struct {
        std::string text;
        std::string err;
        std::string path = ""; // loaded instead of the text
    } cases[] = {
        {"", "Error: can't open file at '" + missing + "'\n", missing},
        // A read error used to pass for the end of the document.
        {"", "Error: can't read file at '" + directory + "'\n", directory},
        {"<dump>\n<node root=\"/\">\n<attr name=\"a\" type=\"string\">v</attr>\n",
         "XML_ParseBuffer() failed\nError: no element found at line 4, column 0\n"},
        {"<dump><node root=\"/\"><attr name=\"a\" type=\"string\">\xff</attr></node></dump>",
         "XML_ParseBuffer() failed\n"
         "Error: not well-formed (invalid token) at line 1, column 50\n"},
        {"<dump>\n<attr name=\"a\" type=\"string\">v</attr>\n</dump>\n",
         "Error: attributes given before root node was specified - exiting\n"
         "XML_ParseBuffer() failed\nError: parsing aborted at line 2, column 29\n"},
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
        write_input(row.text);
        ToolResult result = run_tool({"-l", row.path.empty() ? file : row.path});
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(cds_double::count_calls("set_leaves"), 0);
        EXPECT_FALSE(cds_double::connection_open());
    }
}

} // namespace
