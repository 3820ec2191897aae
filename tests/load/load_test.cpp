// SPDX-License-Identifier: MIT
#include "driver/resources.h"
#include "driver/run.h"
#include "driver/run_options.h"
#include "tests/double/cds_double.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace
{

// {s} and {i} stand for type="..." with the string and the int32 type names.
std::string typed(std::string text)
{
    for (auto [mark, type] : {std::pair{"{s}", DATA_TYPE_STRING}, {"{i}", DATA_TYPE_INT32}}) {
        std::size_t at;
        while ((at = text.find(mark)) != std::string::npos)
            text.replace(at, 3, std::string("type=\"") + pcd_enum_to_str(type) + "\"");
    }
    return text;
}

std::string in_root(const std::string& attrs)
{
    return typed("<dump><node root=\"/\">" + attrs + "</node></dump>");
}

std::vector<std::string> set_paths(std::size_t n = 0)
{
    for (const cds_double::Call& call : cds_double::calls())
        if (call.operation == "set_leaves" && n-- == 0)
            return call.paths;
    return {};
}

// "path=value" for each path written that holds a value.
std::string stored()
{
    std::string out, text;
    for (std::size_t n = 0; n < static_cast<std::size_t>(cds_double::count_calls("set_leaves"));
         ++n)
        for (const std::string& path : set_paths(n))
            if (cds_double::leaf_value(path).to_string(text) == 0)
                out += path + "=" + text + "\n";
    return out;
}

class LoadTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        cds_double::reset();
        run_options.load_persistent_only = run_options.only_existing = false;
        run_options.source.clear();
    }

    // Keeps standard error.
    int load(const std::string& document)
    {
        FilePtr in(fmemopen(const_cast<char*>(document.data()), document.size(), "r"));
        testing::internal::CaptureStderr();
        EXPECT_TRUE(in);
        int result = in ? load_from(in.get()) : -1;
        err = testing::internal::GetCapturedStderr();
        return result;
    }

    std::string err;
};

const std::string stop = "Error: attributes given before root node was specified - exiting\n";

// The stop, and the failed parse it leaves, at a column of the first line.
std::string stopped_at(int column)
{
    return stop + "XML_ParseBuffer() failed\nError: parsing aborted at line 1, column " +
           std::to_string(column) + "\n";
}

struct Case {
    const char* name;
    const char* body; // inside <dump>
    std::string err;
    const char* stored;
    const char* refused = ""; // set_leaves refuses this path
};

const Case cases[] = {
    {"odd persist", R"(<node root="/"><attr name="a" {s} persist="True">v</attr></node>)",
     "Warning: non-boolean string for 'persist' attribute (must be 'true' or 'false'): 'True'\n",
     "/a=v\n"},
    {"attr attribute", R"(<node root="/"><attr name="a" {s} size="1">v</attr></node>)",
     "Warning: unsupported attribute size on <attr> tag\n", "/a=v\n"},
    {"node attribute",
     R"(<node root="/"><node name="n" id="m"><attr name="a" {s}>v</attr></node></node>)",
     "Warning: unsupported attribute id on <node> tag\n", "/n/a=v\n"},
    {"attr before root", R"(<attr name="a" {s}>v</attr><node root="/"></node>)", stopped_at(35),
     ""},
    // Broke: expat ends an empty element after the stop, which warned again.
    {"empty attr before root", R"(<attr name="a" {s}/>)", stopped_at(36), ""},
    {"attr after root drops queue",
     R"(<node root="/"><attr name="a" {s}>v</attr></node><attr name="b" {s}>w</attr>)",
     stopped_at(94), ""},
    {"named node outside root", R"(<node name="n"><attr name="a" {s}>v</attr></node>)",
     stopped_at(50), ""},
    // Broke: the nested end flushed the open data point cut short.
    {"nested attr",
     R"(<node root="/"><attr name="a" {s}>x<attr name="b" {s}>y</attr>z</attr></node>)",
     "Warning: attr tag nested within another attr tag - skipping\n", "/a=xyz\n"},
    {"unnamed attr", R"(<node root="/"><attr {s}>v</attr></node>)",
     "Warning: skipping unnamed node\nWarning: unexpected </attr> tag\n", ""},
    // Broke: control characters from the document forged lines of their own.
    {"untyped attr", R"(<node root="/"><attr name="a&#9;\" type="">v</attr></node>)",
     "Warning: skipping node 'a\\t\\\\' with no type specified\nWarning: unexpected </attr> tag\n",
     ""},
    {"empty root", R"(<node root=""><attr name="a" {s}>v</attr></node>)",
     "Warning: empty name for root node - assuming /\n", "/a=v\n"},
    {"several roots",
     R"(<node root="/x"><attr name="a" {s}>v</attr></node><node name="n" root="/"><node name="y"><attr name="b" {s}>w</attr></node></node>)",
     "", "/x/a=v\n/y/b=w\n"},
    {"root in root", R"(<node root="/x"><node root="/y"><attr name="a" {s}>v</attr></node></node>)",
     "Warning: more than one node specified as root\nWarning: unexpected </node> tag\n",
     "/y/a=v\n"},
    {"root in root ends outer",
     R"(<node root="/x"><node root="/y"></node><attr name="a" {s}/></node>)",
     "Warning: more than one node specified as root\n" + stopped_at(75), ""},
    // Broke: the unnamed node's end removed the name of "n".
    {"unnamed in named",
     R"(<node root="/r"><node name="n"><node><attr name="a" {s}>v</attr></node><attr name="b" {s}>w</attr></node><attr name="c" {s}>u</attr></node>)",
     "Warning: skipping unnamed node\n", "/r/n/a=v\n/r/n/b=w\n/r/c=u\n"},
    // Broke: the unnamed node's end closed the root.
    {"unnamed in root",
     R"(<node root="/r"><node name=""></node><attr name="a" {s}>v</attr></node>)",
     "Warning: skipping unnamed node\n", "/r/a=v\n"},
    {"unnamed outside root", "<node></node>", "Warning: skipping unnamed node\n", ""},
    // Broke: joined into the path, these names wrote /Escaped and /r/x/y.
    {"names that leave their node",
     R"(<node root="/r"><node name=".."><attr name="../Escaped" {s}>v</attr>)"
     R"(<node name="."><attr name="x/y" {s}>w</attr><attr name="a" {s}>u</attr></node></node></node>)",
     "Warning: skipping '..': not a name\nWarning: skipping '../Escaped': not a name\n"
     "Warning: unexpected </attr> tag\nWarning: skipping '.': not a name\n"
     "Warning: skipping 'x/y': not a name\nWarning: unexpected </attr> tag\n",
     "/r/a=u\n"},
    // Broke: "abc" went to the store as a string, changing the type.
    {"bad types and values",
     R"(<node root="/"><attr name="a" type="x"/><attr name="n" {i}>ab&#10;Warning: c</attr>)"
     R"(<attr name="m" {i}>42</attr><attr name="b" {s} colour="red"/></node>)",
     "Warning: unsupported attribute colour on <attr> tag\n"
     "Warning: invalid type 'x' in attr is being ignored\n"
     "Warning: invalid value 'ab\\nWarning: c' for type 'int32' in attr '/n' is being ignored\n",
     "/m=42\n/b=\n"},
    // Broke: refused items went unreported and the load succeeded.
    {"refused item",
     R"(<node root="/"><attr name="a" {s}>1</attr><attr name="b" {s}>2</attr></node>)",
     "Error: can't set '/b'\n", "/a=1\n", "/b"},
    {"unknown elements",
     R"(<Node root="/r"><node root="/r"><node name="n"><attr name="a" {s}>x<b>y</b>z</attr></node></node></Node>)",
     "Unrecognized tag 'Node'\nUnrecognized tag 'b'\n", "/r/n/a=xyz\n"},
};

TEST_F(LoadTest, CallbackMessagesAndStructure)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cds_double::reset();
        cds_double::faults.refused.insert(c.refused);
        EXPECT_EQ(load(typed(std::string("<dump>") + c.body + "</dump>")),
                  c.err.find("Error:") == c.err.npos ? 0 : -1);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(stored(), c.stored);
    }
}

// The i-th data point of a full first batch, with a name and a value that do
// not fit in a string without heap memory.
std::string long_name(int i)
{
    return "a data point with a name too long for a short string " + std::to_string(i);
}

std::string long_batch()
{
    std::string attrs;
    for (int i = 0; i < 128; ++i)
        attrs += "<attr name=\"" + long_name(i) +
                 "\" {s} persist=\"true\">a value too long for a short string</attr>";
    return attrs;
}

struct LaterBatch {
    const char* name;
    const char* attrs; // after a full batch of long_batch()
    bool only_existing;
    const char* path; // the one path written, with this persist and value
    pcd_tribool_t persist;
    const char* value;
    const char* err_end; // of standard error, which is empty for ""
};

const LaterBatch later_batches[] = {
    {"empty and shorter", R"(<attr name="s" {s}/>)", false, "/s", PCD_UNSPECIFIED, "", ""},
    {"dropped points leave no gap",
     R"(<attr name="x" type="no-such-type">v</attr><attr name="n" {i}>abc</attr>)"
     R"(<attr name="t" {s} persist="false">w</attr>)",
     false, "/t", PCD_FALSE, "w", "in attr '/n' is being ignored\n"},
    {"absent points leave no gap", R"(<attr name="u" {s}>1</attr><attr name="t" {s}>2</attr>)",
     true, "/t", PCD_UNSPECIFIED, "2", ""},
};

// The queue and lists, strings included, last for the whole load: a batch
// must still be written with nothing of the one before.
TEST_F(LoadTest, NothingCarriesOverFromAnEarlierBatch)
{
    for (const LaterBatch& c : later_batches) {
        SCOPED_TRACE(c.name);
        cds_double::reset();
        run_options.only_existing = c.only_existing;
        for (int i = 0; c.only_existing && i < 128; ++i)
            cds_double::add_leaf("/" + long_name(i), DATA_TYPE_STRING, "old");
        cds_double::add_leaf("/t", DATA_TYPE_STRING, "old");
        EXPECT_EQ(load(in_root(long_batch() + c.attrs)), 0);
        ASSERT_EQ(cds_double::count_calls("set_leaves"), 2);
        EXPECT_EQ(set_paths(0).size(), 128u);
        EXPECT_EQ(set_paths(1), std::vector<std::string>{c.path});
        EXPECT_EQ(cds_double::calls().back().persist, std::vector<pcd_tribool_t>{c.persist});
        EXPECT_EQ(cds_double::leaf_value(c.path).text(), c.value);
        // A warning names its own point, not one an earlier point left behind.
        std::string err_end = c.err_end;
        EXPECT_EQ(err.empty(), err_end.empty()) << err;
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), err_end.size())), err_end);
    }
}

TEST_F(LoadTest, OnlyExistingKeepsTheOthersOfItsBatch)
{
    run_options.only_existing = true;
    cds_double::add_leaf("/a", DATA_TYPE_STRING, "old");
    cds_double::add_leaf("/c", DATA_TYPE_STRING, "old");
    std::string document = in_root(
        R"(<attr name="a" {s}>1</attr><attr name="b" {s}>2</attr><attr name="c" {s}>3</attr>)");
    EXPECT_EQ(load(document), 0);
    EXPECT_EQ(stored(), "/a=1\n/c=3\n");
    EXPECT_FALSE(cds_double::has_leaf("/b"));

    // Broke: a failed check dropped the batch silently and the load succeeded.
    cds_double::faults.get_leaves.insert("/b");
    EXPECT_EQ(load(document), -1);
    EXPECT_EQ(err, "Error: get_leaves() returned error\n");
    EXPECT_EQ(cds_double::count_calls("set_leaves"), 1);
}

TEST_F(LoadTest, EachLoadStartsClean)
{
    cds_double::faults.set_leaves_call = 1;
    EXPECT_EQ(load(in_root(R"(<attr name="a" {s}/>)")), -1);
    EXPECT_EQ(load(in_root(R"(<attr name="b" {s}/>)") + "<junk/>"), -1);
    EXPECT_EQ(load(in_root(R"(<attr name="c" {s}/>)")), 0);
    EXPECT_EQ(set_paths(1), std::vector<std::string>{"/c"});
}

} // namespace
