// Hostile documents and the store's limits, with the real binaries on a
// store that already holds a device's data: each fails cleanly or loads
// correctly, in bounded memory, and what was in the store stays there.
#include "stress_support.h"
#include "temp_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace
{

const long small_document_rss_kb = 64 * 1024 * memory_scale;

std::string repeat(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

std::string attr(const std::string& name, const std::string& value)
{
    return "<attr name=\"" + name + "\" type=\"string\">" + value + "</attr>";
}

std::string under_t(const std::string& body)
{
    return "<dump><node root=\"/t\">" + body + "</node></dump>\n";
}

std::string nested(int depth, const std::string& body)
{
    return repeat("<node name=\"n\">", depth) + body + repeat("</node>", depth);
}

// Each entity ten of the one before: &a10; is ten billion bytes.
std::string laughs()
{
    std::string dtd = "<?xml version=\"1.0\"?>\n<!DOCTYPE dump [\n<!ENTITY a0 \"lol\">\n";
    for (int i = 1; i <= 10; ++i)
        dtd += "<!ENTITY a" + std::to_string(i) + " \"" +
               repeat("&a" + std::to_string(i - 1) + ";", 10) + "\">\n";
    return dtd + "]>\n";
}

std::string utf16_document()
{
    std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                          u"<dump><node root=\"/t\"><attr name=\"u\" type=\"string\">"
                          u"\u4e2d\u00e9</attr></node></dump>\n";
    std::string bytes = "\xff\xfe";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xff);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string numbered_points(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i)
        body += "<attr name=\"p" + std::to_string(i) + "\" type=\"int32\">" + std::to_string(i) +
                "</attr>\n";
    return body;
}

std::string cut(std::string text, std::size_t bytes)
{
    text.resize(text.size() - bytes);
    return text;
}

std::string numbered_lines(int count)
{
    std::string lines = "/t\tnode\t0\t\n";
    for (int i = 0; i < count; ++i)
        lines += "/t/p" + std::to_string(i) + "\tint32\t0\t" + std::to_string(i) + "\n";
    return lines;
}

const std::string ok_line = "/t\tnode\t0\t\n/t/ok\tstring\t0\t1\n";

struct Hostile {
    const char* name;
    std::string document;
    int status;
    std::string message; // part of standard error; empty for a clean run
    std::string loaded;  // the export of /t afterwards
};

const Hostile hostile_documents[] = {
    {"BillionLaughsInValue", laughs() + under_t(attr("a", "&a10;")), 255,
     "limit on input amplification factor", ""},
    {"BillionLaughsInName", laughs() + under_t("<attr name=\"&a10;\" type=\"string\">x</attr>"),
     255, "limit on input amplification factor", ""},
    {"QuadraticBlowup",
     "<!DOCTYPE dump [<!ENTITY a \"" + std::string(100000, 'x') + "\">]>" +
         under_t(attr("a", repeat("&a;", 100000))),
     255, "limit on input amplification factor", ""},
    {"Latin1WithoutDeclaration", under_t(attr("a", "caf\xe9")), 255,
     "not well-formed (invalid token)", ""},
    {"UnknownEncoding",
     "<?xml version=\"1.0\" encoding=\"KOI8-R\"?>\n" + under_t(attr("a", "\xc1")), 255,
     "unknown encoding", ""},
    // Declared encodings that the parser knows arrive in the store as UTF-8.
    {"Latin1Declared",
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + under_t(attr("caf\xe9", "\xe9t\xe9")), 0,
     "", "/t\tnode\t0\t\n/t/caf\xc3\xa9\tstring\t0\t\xc3\xa9t\xc3\xa9\n"},
    {"Utf16", utf16_document(), 0, "", "/t\tnode\t0\t\n/t/u\tstring\t0\t\xe4\xb8\xad\xc3\xa9\n"},
    {"DeclarationOnly", "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n", 255, "no element found",
     ""},
    // The batch written before the cut stays; the one being read is dropped.
    {"Truncated", cut(under_t(numbered_points(200)), 100), 255, "XML_ParseBuffer() failed",
     numbered_lines(128)},
    // The refused path is one of a batch whose other data points are written.
    {"PathOneLevelTooDeep", under_t(attr("ok", "1") + nested(255, attr("deep", "1"))), 255,
     "Error: can't set '/t/n/n/n", ok_line},
    {"NestedAHundredThousandDeep", under_t(attr("ok", "1") + nested(100000, attr("deep", "1"))),
     255, "Error: can't set '/t/n/n/n", ok_line},
    {"PathOneByteTooLong", under_t(attr("ok", "1") + attr(std::string(4094, 'x'), "1")), 255,
     "Error: can't set '/t/xxx", ok_line},
};

void PrintTo(const Hostile& row, std::ostream* out)
{
    *out << row.name;
}

class HostileInput : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(run_program({{CDSCTL, "import", DEMO_TSV}}).status, 0);
        demo = export_of("/");
    }

    std::string export_of(const std::string& path)
    {
        return run_program({{CDSCTL, "export", path}}).out;
    }

    ProgramRun load(const std::string& document)
    {
        write_file(store.dir + "/in.xml", document);
        return run_program({{CDSXML, "-l", store.dir + "/in.xml"}});
    }

    TempStore store;
    std::string demo;
};

class HostileDocuments : public HostileInput, public testing::WithParamInterface<Hostile>
{
};

TEST_P(HostileDocuments, FailCleanlyAndKeepTheStore)
{
    const Hostile& row = GetParam();
    ProgramRun ran = load(row.document);
    EXPECT_EQ(ran.signal, 0);
    EXPECT_EQ(ran.status, row.status) << ran.err;
    if (row.message.empty())
        EXPECT_EQ(ran.err, "");
    else
        EXPECT_NE(ran.err.find(row.message), std::string::npos) << ran.err;
    EXPECT_LT(ran.max_rss_kb, small_document_rss_kb);
    EXPECT_EQ(export_of("/"), demo + row.loaded);
}

INSTANTIATE_TEST_SUITE_P(Load, HostileDocuments, testing::ValuesIn(hostile_documents),
                         [](const testing::TestParamInfo<Hostile>& info) {
                             return info.param.name;
                         });

struct ExternalEntity {
    const char* name;
    std::string doctype; // FILE stands for the local file it names
    std::string body;
};

const ExternalEntity external_entities[] = {
    {"InContent", "<!DOCTYPE dump [<!ENTITY s SYSTEM \"FILE\">]>", attr("a", "&s;")},
    {"InName", "<!DOCTYPE dump [<!ENTITY s SYSTEM \"FILE\">]>",
     "<attr name=\"&s;\" type=\"string\">x</attr>"},
    {"DeclaredInExternalSubset", "<!DOCTYPE dump SYSTEM \"FILE\">", attr("a", "&s;")},
    {"DeclaredInParameterEntity", "<!DOCTYPE dump [<!ENTITY % p SYSTEM \"FILE\"> %p;]>",
     attr("a", "&s;")},
};

std::string entity_document(const ExternalEntity& row, const std::string& file)
{
    std::string doctype = row.doctype;
    doctype.replace(doctype.find("FILE"), 4, "file://" + file);
    return "<?xml version=\"1.0\"?>\n" + doctype + "\n" + under_t(row.body);
}

TEST_F(HostileInput, ExternalEntityIsNeverRead)
{
    std::string secret = store.dir + "/secret";
    write_file(secret, "top secret");
    for (const ExternalEntity& row : external_entities) {
        ProgramRun ran = load(entity_document(row, secret));
        EXPECT_EQ(ran.signal, 0) << row.name;
        std::string after = export_of("/");
        EXPECT_EQ(after.find("top secret"), std::string::npos) << row.name;
        EXPECT_EQ(after.substr(0, demo.size()), demo) << row.name;
    }
}

// An entity the parser would not read used to be skipped without a word:
// the load succeeded and blanked the value in the store.
TEST_F(HostileInput, ExternalEntityFailsTheLoad)
{
    std::string secret = store.dir + "/secret";
    write_file(secret, "top secret");
    for (const ExternalEntity& row : external_entities) {
        ASSERT_EQ(run_program({{CDSCTL, "set", "/t/a", "string", "kept"}}).status, 0);
        ProgramRun ran = load(entity_document(row, secret));
        EXPECT_EQ(ran.status, 255) << row.name;
        EXPECT_NE(ran.err, "") << row.name;
        EXPECT_EQ(run_program({{CDSCTL, "get", "/t/a"}}).out, "kept\n") << row.name;
    }
}

// A node named ".." in a damaged store made the dump walk the tree above it
// again and again, writing the device's MAC address under a path its filter
// did not know, until the stack ran out.
TEST_F(HostileInput, DumpOfADamagedStoreFails)
{
    sqlite3* db = nullptr;
    sqlite3_open(store.file.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db,
                           "INSERT INTO entry (parent, seq, name, kind, property)"
                           " SELECT id, 1000, '..', 2, 0 FROM node WHERE path = '/Software'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    // A dump that loops stops at a megabyte rather than fill the disk.
    ProgramRun ran = run_program({{"/bin/sh", "-c", "ulimit -f 2048; exec \"$0\"", CDSXML}});
    EXPECT_EQ(ran.status, 255);
    EXPECT_EQ(ran.err, "Error: list_node() returned error on '/Software'\n");
    EXPECT_EQ(ran.out.find("00:1a:2b:3c:4d:5e"), std::string::npos);
}

std::string path_of_depth(int depth)
{
    std::string path;
    for (int i = 0; i < depth; ++i)
        path += "/d" + std::to_string(i);
    return path;
}

const std::string longest_path =
    "/" + std::string(255, 'a') + repeat("/" + std::string(255, 'b'), 15);

TEST(StoreLimits, DeepestAndLongestPaths)
{
    TempStore store;
    ASSERT_EQ(longest_path.size(), 4096u);
    const struct {
        std::string path;
        int status;
    } cases[] = {
        {path_of_depth(257), 2},
        {path_of_depth(256), 0},
        {longest_path + "b", 2},
        {longest_path, 0},
        // The limits apply to the canonical form.
        {"//" + longest_path.substr(1), 0},
        {longest_path + "/x/..", 0},
    };
    for (const auto& row : cases) {
        std::string what = row.path.substr(0, 40) + "... of " + std::to_string(row.path.size());
        ProgramRun ran = run_program({{CDSCTL, "set", row.path, "int32", "1"}});
        EXPECT_EQ(ran.status, row.status) << what;
        EXPECT_EQ(ran.err.rfind("cdsctl: ", 0), row.status == 0 ? std::string::npos : 0) << what;
    }
}

// cdsctl's messages were cut at 1024 bytes, inside a long path, so the
// reason never showed.
TEST(StoreLimits, RefusalOfALongPathGivesTheReason)
{
    TempStore store;
    for (const std::string& path : {path_of_depth(257), longest_path + "b"}) {
        ProgramRun ran = run_program({{CDSCTL, "set", path, "int32", "1"}});
        EXPECT_EQ(ran.err, "cdsctl: " + path + ": the path has no canonical form\n");
    }
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
