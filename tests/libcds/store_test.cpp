// SPDX-License-Identifier: MIT
#include "cds/cds.h"
#include "common/path.h"
#include "faulty_vfs.h"
#include "libcds/admin.h"
#include "libcds/db.h"
#include "run_sql.h"
#include "temp_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

using toolkit::CCds;
using toolkit::CElement;

namespace
{

// The test's store, made first when missing, as cdsctl's writing commands do.
pcd_handle_t open_or_make()
{
    bool created = false;
    std::string why;
    return cds_store::open_store(cds_store::store_file(), cds_store::Opening::create_missing,
                                 created, why);
}

CElement typed(data_type_t type, const std::string& text)
{
    CElement element(DATA_TYPE_STRING, CElement::_invalid_time, text);
    EXPECT_EQ(element.convert_type(type), 0) << text;
    return element;
}

class StoreTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        cds.handle = open_or_make();
        ASSERT_NE(cds.handle, nullptr);
    }
    void TearDown() override
    {
        close();
    }
    void close()
    {
        pcd_close(cds.handle);
        cds.handle = nullptr;
    }

    // The statuses of one set_leaves call; -1 for a failed call.
    std::vector<int> set(const std::vector<std::string>& paths,
                         const std::vector<CElement>& elements,
                         const std::vector<pcd_tribool_t>& persist)
    {
        std::vector<api_status_t> statuses;
        if (int result = cds.set_leaves(paths, elements, persist, statuses)) {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(statuses, std::vector<api_status_t>(paths.size(), API_STATUS_ABSENT));
            return {-1};
        }
        return std::vector<int>(statuses.begin(), statuses.end());
    }
    int set(const std::string& path, data_type_t type, const std::string& text,
            pcd_tribool_t persist = PCD_UNSPECIFIED)
    {
        return set({path}, {typed(type, text)}, {persist})[0];
    }

    // "type property value" per data point, "absent" per other path, or
    // just "failed".
    std::vector<std::string> leaves(const std::vector<std::string>& paths)
    {
        std::vector<api_status_t> statuses;
        std::vector<CElement> elements;
        std::vector<element_property_t> properties;
        if (int result = cds.get_leaves(paths, statuses, elements, properties)) {
            EXPECT_EQ(result, -1);
            return {"failed"};
        }
        EXPECT_TRUE(statuses.size() == paths.size() && elements.size() == paths.size() &&
                    properties.size() == paths.size());
        std::vector<std::string> answers;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const char* type_name = pcd_enum_to_str(elements.at(i).type());
            std::string text;
            elements[i].to_string(text);
            answers.push_back(statuses[i] != API_STATUS_EXISTS
                                  ? std::string(type_name ? "typed but absent" : "absent")
                                  : std::string(type_name ? type_name : "?") + " " +
                                        std::to_string(properties[i]) + " " + text);
        }
        return answers;
    }
    std::string leaf(const std::string& path)
    {
        return leaves({path})[0];
    }

    // "name:type:property" per child, or "status N".
    std::string list(const std::string& path)
    {
        api_status_t status = API_STATUS_ABSENT;
        std::vector<ChildEntry> children;
        if (int result = cds.list_node(path, status, children)) {
            EXPECT_EQ(result, -1);
            return "failed";
        }
        if (status != API_STATUS_EXISTS)
            return "status " + std::to_string(status);
        std::string listing;
        for (const ChildEntry& child : children)
            listing += child.name + ":" + std::to_string(child.type) + ":" +
                       std::to_string(child.property) + " ";
        return listing;
    }

    TempStore store;
    CCds cds;
};

TEST(StoreOpen, RefusesWhatIsNotAStore)
{
    TempStore store;
    const struct {
        std::string name; // CDS_STORE
        const char* sql;  // run on the file first, or null
        const char* text; // written to the file first, or null
        const char* why;
    } cases[] = {
        {store.dir + "/plain text", nullptr, "hello\n", "not a store"},
        {store.dir + "/another database", "CREATE TABLE other (x)", nullptr, "not a store"},
        {store.dir + "/marked by another program", "PRAGMA application_id = 42", nullptr,
         "not a store"},
        {store.dir + "/an older layout",
         "CREATE TABLE entry (parent TEXT); PRAGMA application_id = 1128551217", nullptr,
         "not a store"},
        {store.dir + "/empty", nullptr, "", "not a store"},
        {store.dir + "/missing/store.db", nullptr, nullptr, "no such store"},
        // A mistyped name made a new, empty store, and an empty dump passed.
        {store.dir + "/mistyped.db", nullptr, nullptr, "no such store"},
        // SQLite reads these as a database in memory, a temporary one or a
        // URI: a write there succeeded and kept nothing.
        {"", nullptr, nullptr, "not a store"},
        {":memory:", nullptr, nullptr, "not a store"},
        {"file:" + store.file, nullptr, nullptr, "not a store"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE("'" + row.name + "'");
        if (row.text)
            std::ofstream(row.name) << row.text;
        if (row.sql)
            run_sql(row.name, row.sql);
        setenv("CDS_STORE", row.name.c_str(), 1);
        pcd_handle_t handle = pcd_init();
        EXPECT_EQ(handle, nullptr);
        pcd_close(handle);
        bool created = true;
        std::string why;
        handle = cds_store::open_store(row.name, cds_store::Opening::existing, created, why);
        EXPECT_EQ(why, row.why);
        EXPECT_FALSE(created);
        pcd_close(handle);
        EXPECT_EQ(access(row.name.c_str(), F_OK) == 0, row.text || row.sql);
    }
}

// The store holds passwords, yet under the usual umask it was readable by
// all when made through a dangling symbolic link.
TEST(StoreOpen, NewStoreIsForItsOwnerOnly)
{
    TempStore store;
    const std::string target = store.dir + "/target.db";
    ASSERT_EQ(symlink("target.db", (store.dir + "/link.db").c_str()), 0);
    for (const std::string& name : {store.file, store.dir + "/link.db"}) {
        SCOPED_TRACE(name);
        std::string file = name == store.file ? name : target;
        bool created = false;
        std::string why;
        mode_t umask_before = umask(022);
        pcd_handle_t handle =
            cds_store::open_store(name, cds_store::Opening::create_missing, created, why);
        umask(umask_before);
        ASSERT_NE(handle, nullptr) << why;
        EXPECT_TRUE(created);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            struct stat info {
            };
            EXPECT_EQ(stat((file + suffix).c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0600u) << suffix;
        }
        pcd_close(handle);
        // Made once; a store there is opened, or refused where only a new one will do.
        handle = cds_store::open_store(name, cds_store::Opening::create_missing, created, why);
        EXPECT_NE(handle, nullptr);
        EXPECT_FALSE(created);
        pcd_close(handle);
        handle = cds_store::open_store(name, cds_store::Opening::create_new, created, why);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(why, "a file is there already");
    }
}

TEST_F(StoreTest, RefusedItemsGetStatusZeroWhileTheRestIsWritten)
{
    ASSERT_EQ(set("/r/leaf", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(set({"/r/kept", "/r/cleared"},
                  {typed(DATA_TYPE_INT32, "1"), typed(DATA_TYPE_INT32, "1")}, {PCD_TRUE, PCD_TRUE}),
              (std::vector<int>{1, 1}));
    const int limit = 1000;
    sqlite3_limit(cds.handle->db.get(), SQLITE_LIMIT_LENGTH, limit);

    CElement number = typed(DATA_TYPE_INT32, "7");
    auto text = [](const std::string& value) {
        return CElement(DATA_TYPE_STRING, CElement::_invalid_time, value);
    };
    const struct {
        const char* why;
        std::string path;
        CElement value;
        int status;
        pcd_tribool_t persist = PCD_FALSE;
    } cases[] = {
        {"a new data point starts ordinary", "/r/first", number, 1, PCD_UNSPECIFIED},
        {"keeps its property", "/r/kept", number, 1, PCD_UNSPECIFIED},
        {"clears its property", "/r/cleared", number, 1},
        {"relative path", "r/x", number, 0},
        {"climbs above the root", "/../x", number, 0},
        {"the root", "/", number, 0},
        {"control character in a name",
         "/new/a\x1f"
         "b",
         number, 0},
        {"U+FFFE in a name", "/new/\xEF\xBF\xBE", number, 0},
        {"not UTF-8", "/new/\xC3(", number, 0},
        {"overlong UTF-8 slash", "/new/\xC0\xAF", number, 0},
        {"UTF-16 surrogate", "/new/\xED\xA0\x80", number, 0},
        {"element of no type", "/r/none", CElement(), 0},
        {"text not of its type", "/r/bad",
         CElement(DATA_TYPE_INT32, CElement::_invalid_time, "12x"), 0},
        {"control character in a string", "/r/s1", text("a\x01"), 0},
        {"U+FFFF in a string", "/r/s2", text("\xEF\xBF\xBF"), 0},
        {"string not UTF-8", "/r/s3", text("\xFF"), 0},
        {"continuation byte as a lead byte", "/r/s5", text("a\x80"), 0},
        {"U+0080, U+07FF, U+0800, U+D7FF, U+10000", "/r/s6",
         text("\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80"), 1},
        {"persist flag out of range", "/r/p", number, 0, static_cast<pcd_tribool_t>(7)},
        // Past SQLite's length limit a value was stored empty and reported written.
        {"text past the length limit", "/r/leaf", text(std::string(limit + 1, 'x')), 0},
        {"bytes past the length limit", "/new/b",
         CElement(DATA_TYPE_BINARY, CElement::_invalid_time, "",
                  std::vector<std::uint8_t>(limit + 1, 7)),
         0},
        {"past the limit once in a row", "/r/near", text(std::string(limit - 1, 'x')), 0},
        // Its value, kept apart, was left behind.
        {"a large value onto a node", "/r", text(std::string(700, 'x')), 0},
        {"string with TAB, LF, CR and UTF-8", "/r/s4", text("a\tb\nc\rd \xE2\x9C\x93"), 1,
         PCD_TRUE},
        {"written after the refusals", "/r/last", number, 1, PCD_TRUE},
    };
    std::vector<std::string> paths;
    std::vector<CElement> elements;
    std::vector<pcd_tribool_t> persist;
    for (const auto& row : cases) {
        paths.push_back(row.path);
        elements.push_back(row.value);
        persist.push_back(row.persist);
    }
    std::vector<int> statuses = set(paths, elements, persist);
    ASSERT_EQ(statuses.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(statuses[i], cases[i].status) << cases[i].why;
    EXPECT_EQ(
        leaves({"/r/first", "/r/kept", "/r/cleared", "/r/s4", "/r/leaf", "/r/last"}),
        (std::vector<std::string>{"int32 0 7", "int32 1 7", "int32 0 7",
                                  "string 1 a\tb\nc\rd \xE2\x9C\x93", "int32 0 1", "int32 1 7"}));
    // Refused items leave no nodes behind, nor values.
    EXPECT_EQ(list("/new"), "status 0");
    EXPECT_EQ(query_number(store.file, "SELECT count(*) FROM large_value"), 0);
    ASSERT_EQ(cds_store::begin_batch(cds.handle), cds_store::Result::ok);
    for (int property : {-1, 256})
        EXPECT_EQ(cds_store::put_node(cds.handle, "/new", property),
                  cds_store::Result::bad_property);
    EXPECT_EQ(cds_store::commit_batch(cds.handle), cds_store::Result::ok);
}

TEST_F(StoreTest, StoreFailureWritesNothingOfTheCall)
{
    ASSERT_EQ(set("/f/before", DATA_TYPE_BOOL, "true"), 1);
    run_sql(store.file, "CREATE TRIGGER boom BEFORE INSERT ON entry WHEN NEW.name = 'boom'"
                        " BEGIN SELECT RAISE(ABORT, 'boom'); END;"
                        "CREATE TRIGGER bang BEFORE INSERT ON node WHEN NEW.path = '/h'"
                        " BEGIN SELECT RAISE(ABORT, 'bang'); END;"
                        "CREATE TRIGGER keep BEFORE DELETE ON entry WHEN OLD.name = 'before'"
                        " BEGIN SELECT RAISE(ABORT, 'keep'); END");
    CElement one = typed(DATA_TYPE_INT32, "1");
    EXPECT_EQ(set({"/f/before", "/g/a", "/f/boom", "/f/after"}, {one, one, one, one},
                  {PCD_TRUE, PCD_TRUE, PCD_TRUE, PCD_TRUE}),
              std::vector<int>{-1});
    EXPECT_EQ(cds_store::remove_entry(cds.handle, "/f/before"), cds_store::Result::store_failed);
    EXPECT_EQ(leaf("/f/before"), "bool 0 true");
    EXPECT_EQ(list("/g"), "status 0");
    EXPECT_EQ(leaf("/f/after"), "absent");
    EXPECT_EQ(set("/h/x", DATA_TYPE_INT32, "1"), -1);
    EXPECT_EQ(list("/h"), "status 0");
    // The connection goes on working after the failure.
    EXPECT_EQ(set("/f/after", DATA_TYPE_INT32, "2"), 1);
    EXPECT_EQ(leaf("/f/after"), "int32 0 2");
    // Closed, it fails every call.
    close();
    EXPECT_EQ(list("/f"), "failed");
    EXPECT_EQ(leaf("/f/after"), "failed");
    EXPECT_EQ(set("/f/after", DATA_TYPE_INT32, "3"), -1);
}

// A load went on into a store removed or replaced under it, and passed.
TEST_F(StoreTest, WritesFailOnceTheStoreFileIsRemovedOrReplaced)
{
    close();
    for (bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "removed");
        TempStore fresh;
        const std::string other = fresh.dir + "/other.db";
        bool created = false;
        std::string why;
        pcd_close(cds_store::open_store(other, cds_store::Opening::create_missing, created, why));
        cds.handle = open_or_make();
        ASSERT_EQ(set("/a", DATA_TYPE_INT32, "1"), 1);
        ASSERT_EQ(replaced ? rename(other.c_str(), fresh.file.c_str()) : unlink(fresh.file.c_str()),
                  0);
        EXPECT_EQ(set("/a", DATA_TYPE_INT32, "2"), -1);
        EXPECT_EQ(cds_store::last_error(cds.handle),
                  "the store's file was removed or replaced since it was opened");
        close();
    }
}

// As SQLite's own tests do: the nth read or write fails, for n = 1, 2, ...
// until the call gets through. A failure fails the whole call, never passes
// for a refusal, an absence or a partial listing, and writes nothing.
TEST_F(StoreTest, FailedReadsAndWritesFailTheCall)
{
    close();
    // A data point under a node that is there, and one under a new node.
    auto write_two = [this] {
        std::vector<int> statuses =
            set({"/v/d", "/v/e/f"}, {typed(DATA_TYPE_INT32, "3"), typed(DATA_TYPE_INT32, "4")},
                {PCD_FALSE, PCD_FALSE});
        std::string text;
        for (int status : statuses)
            text += status < 0 ? "failed" : std::to_string(status) + " ";
        return text;
    };
    const struct {
        const char* what;
        FaultyVfs::Kind kind;
        std::function<std::string()> run;
        std::string done;
    } cases[] = {
        {"list_node", FaultyVfs::read, [this] { return list("/v"); }, "a:1:0 b:2:0 "},
        {"get_leaves", FaultyVfs::read, [this] { return leaf("/v/b/c"); }, "int32 0 2"},
        {"set_leaves reading", FaultyVfs::read, write_two, "1 1 "},
        {"set_leaves writing", FaultyVfs::write, write_two, "1 1 "},
    };
    for (const auto& row : cases) {
        TempStore fresh;
        cds.handle = open_or_make();
        ASSERT_EQ(set({"/v/a", "/v/b/c"},
                      {typed(DATA_TYPE_INT32, "1"), typed(DATA_TYPE_INT32, "2")},
                      {PCD_FALSE, PCD_FALSE}),
                  (std::vector<int>{1, 1}));
        close();
        FaultyVfs vfs;
        for (int nth = 1;; ++nth) {
            SCOPED_TRACE(std::string(row.what) + ", call " + std::to_string(nth));
            cds.handle = pcd_init();
            vfs.fail(row.kind, nth);
            std::string got = row.run();
            bool failed = vfs.heal();
            close();
            if (!failed) {
                EXPECT_EQ(got, row.done);
                break;
            }
            EXPECT_EQ(got, "failed");
            cds.handle = pcd_init();
            EXPECT_EQ(list("/v"), "a:1:0 b:2:0 ");
            EXPECT_EQ(list("/v/b"), "c:1:0 ");
            close();
        }
    }
}

TEST_F(StoreTest, ListsAndGetsWhatIsThere)
{
    ASSERT_EQ(set("/o/c", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(set("/o/a/x", DATA_TYPE_BINARY, ""), 1);
    ASSERT_EQ(set("/o/b", DATA_TYPE_INT64, "-9223372036854775808", PCD_TRUE), 1);
    ASSERT_EQ(set("/o/e/x", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(cds_store::remove_entry(cds.handle, "/o/e/x"), cds_store::Result::ok);
    // Replacing a value keeps its place.
    ASSERT_EQ(set("/o/c", DATA_TYPE_DOUBLE, "-0"), 1);
    const std::vector<std::string> paths = {"/o/b",   "/o/missing", "/o/a", "o/b", "//o/./b",
                                            "/o/a/x", "/o/c",       "/",    "/oxb"};
    const std::vector<std::string> expected = {"int64 1 -9223372036854775808",
                                               "absent",
                                               "absent",
                                               "absent",
                                               "int64 1 -9223372036854775808",
                                               "binary 0 ",
                                               "double 0 -0",
                                               "absent",
                                               "absent"};
    EXPECT_EQ(leaves(paths), expected);
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/", "o:2:0 "},
        {"/o/e", ""},
        {"/missing", "status 0"},
        {"/o/b", "status 0"},
        {"o", "status 0"},
        {"/..", "status 0"},
        {"//o/./", "c:1:0 a:2:0 b:1:1 e:2:0 "},
    };
    for (const auto& row : cases)
        EXPECT_EQ(list(row.path), row.expected) << row.path;
    // Right after a listing, it answers for its children: the same answers,
    // and a write since is seen.
    EXPECT_EQ(leaves(paths), expected);
    // A node too wide for the listing to hold is read again.
    const std::string wide(listed_leaves_bytes, 'w');
    ASSERT_EQ(set("/o/c", DATA_TYPE_STRING, wide), 1);
    EXPECT_EQ(list("/o"), "c:1:0 a:2:0 b:1:1 e:2:0 ");
    EXPECT_EQ(
        leaves({"/o/b", "/o/c", "/o/a"}),
        (std::vector<std::string>{"int64 1 -9223372036854775808", "string 0 " + wide, "absent"}));
    ASSERT_EQ(set("/o/c", DATA_TYPE_INT32, "5"), 1);
    EXPECT_EQ(leaf("/o/c"), "int32 0 5");
    // Removed and created again, it goes last.
    ASSERT_EQ(cds_store::remove_entry(cds.handle, "/o/a"), cds_store::Result::ok);
    ASSERT_EQ(set("/o/a", DATA_TYPE_INT32, "1"), 1);
    EXPECT_EQ(list("/o"), "c:1:0 b:1:1 e:2:0 a:1:0 ");
    // Damaged, the store fails the listing rather than list what no write makes.
    close();
    run_sql(store.file, "UPDATE entry SET name = '..' WHERE name = 'c'");
    cds.handle = pcd_init();
    EXPECT_EQ(list("/o"), "failed");
}

// What a transaction reuses goes with it: meanwhile another connection may
// remove a node and give its id to a new node elsewhere.
TEST_F(StoreTest, NothingReusedOutlivesItsTransaction)
{
    auto put = [this](const char* path) {
        return cds_store::begin_batch(cds.handle) == cds_store::Result::ok &&
               cds_store::put_leaf(cds.handle, path, typed(DATA_TYPE_INT32, "4"), 0, "",
                                   cds_store::now()) == cds_store::Result::ok &&
               cds_store::commit_batch(cds.handle) == cds_store::Result::ok;
    };
    const struct {
        const char* why;
        std::function<void()> before;
        std::function<std::string()> after;
        const char* expected;
    } cases[] = {
        {"a listing read /q's data points as /o's",
         [&] {
             EXPECT_EQ(list("/o"), "c:1:0 ");
             EXPECT_EQ(set("/x", DATA_TYPE_INT32, "0"), 1);
         },
         [&] { return leaf("/o/c"); }, "int32 0 3"},
        {"a batch wrote under /q what was meant for /o", [&] { EXPECT_TRUE(put("/o/a")); },
         [&] { return put("/o/d") ? list("/o") : "failed"; }, "c:1:0 d:1:0 "},
    };
    for (const auto& row : cases) {
        TempStore fresh;
        close();
        cds.handle = open_or_make();
        ASSERT_EQ(set("/o/c", DATA_TYPE_INT32, "1"), 1);
        row.before();
        CCds other;
        other.handle = pcd_init();
        std::vector<api_status_t> statuses;
        ASSERT_EQ(cds_store::remove_entry(other.handle, "/o"), cds_store::Result::ok);
        ASSERT_EQ(other.set_leaves({"/q/c", "/o/c"},
                                   {typed(DATA_TYPE_INT32, "2"), typed(DATA_TYPE_INT32, "3")},
                                   {PCD_FALSE, PCD_FALSE}, statuses),
                  0);
        EXPECT_EQ(row.after(), row.expected) << row.why;
    }
}

// A run of writes in one call took seqs past the last one a key holds, into
// the next node's keys.
TEST_F(StoreTest, ARunOfWritesPastTheLastSeqStaysUnderItsNode)
{
    ASSERT_EQ(set("/o/c", DATA_TYPE_INT32, "1"), 1);
    close();
    run_sql(store.file, "UPDATE entry SET seq = 4294967294 WHERE name = 'c'");
    cds.handle = pcd_init();
    CElement one = typed(DATA_TYPE_INT32, "1");
    EXPECT_EQ(set({"/o/a", "/o/b"}, {one, one}, {PCD_FALSE, PCD_FALSE}), (std::vector<int>{1, 1}));
    EXPECT_EQ(list("/o"), "c:1:0 a:1:0 b:1:0 ");
}

TEST(StorePath, CanonicalizesInPlaceWithinTheStoreLimits)
{
    std::string deep;
    for (int i = 0; i < 256; ++i)
        deep += "/d";
    const struct {
        std::string in;
        std::string out; // empty: no canonical form
    } cases[] = {
        {"/", "/"},
        {"//a///b//", "/a/b"},
        {"/./a/.", "/a"},
        {"/a/../b", "/b"},
        {"/a/b/../..", "/"},
        {"/...", "/..."},
        {"/a/.b/..c", "/a/.b/..c"},
        {"/ a /b ", "/ a /b "},
        {"", ""},
        {"a/b", ""},
        {"/..", ""},
        {"/a/../..", ""},
        {deep, deep},
        {deep + "/d", ""},
        {deep + "/d/..", deep},
        {"/" + std::string(4095, 'x'), "/" + std::string(4095, 'x')},
        {"/" + std::string(4096, 'x'), ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE("'" + row.in.substr(0, 40) + "'");
        std::vector<char> buffer(row.in.begin(), row.in.end());
        buffer.push_back('\0');
        std::size_t length = pcd_canonicalize_path(buffer.data(), row.in.size());
        EXPECT_EQ(length, row.out.size());
        EXPECT_STREQ(buffer.data(), length ? row.out.c_str() : row.in.c_str());
    }
    // Only length bytes are read, and the answer ends within them.
    char unterminated[] = "/a/bXY";
    EXPECT_EQ(pcd_canonicalize_path(unterminated, 4), 4u);
    EXPECT_STREQ(unterminated, "/a/b");
}

TEST(StorePath, BuildsChildPaths)
{
    const struct {
        const char* parent;
        const char* child;
    } cases[] = {
        {"", "/n"},
        {"/", "/n"}, // the root's separator was doubled
        {"/a", "/a/n"},
        {"/a/", "/a//n"}, // never canonicalized
    };
    for (const auto& row : cases)
        EXPECT_EQ(child_path(row.parent, "n"), row.child) << "parent '" << row.parent << "'";
}

} // namespace
