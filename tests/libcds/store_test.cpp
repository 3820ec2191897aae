#include "cds/cds.h"
#include "faulty_vfs.h"
#include "libcds/admin.h"
#include "libcds/db.h"
#include "temp_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>

using toolkit::CCds;
using toolkit::CElement;

namespace
{

CElement typed(data_type_t type, const std::string& text)
{
    CElement element(DATA_TYPE_STRING, CElement::_invalid_time, text);
    EXPECT_EQ(element.convert_type(type), 0) << text;
    return element;
}

// Runs sql on the store file behind the library's back.
void run_sql(const std::string& file, const std::string& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

// SQL that gives the node at parent one more child.
std::string add_entry(const std::string& parent, const std::string& name, int kind)
{
    return "INSERT INTO entry (parent, seq, name, kind, property) SELECT id, 1000, '" + name +
           "', " + std::to_string(kind) + ", 0 FROM node WHERE path = '" + parent + "';";
}

class StoreTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        cds.handle = pcd_init();
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
                         const std::vector<pcd_tribool_t>& persist, const std::string& source = "")
    {
        std::vector<api_status_t> statuses;
        if (cds.set_leaves(paths, elements, persist, statuses, source) != 0)
            return {-1};
        return std::vector<int>(statuses.begin(), statuses.end());
    }
    int set(const std::string& path, data_type_t type, const std::string& text,
            pcd_tribool_t persist = PCD_UNSPECIFIED)
    {
        return set({path}, {typed(type, text)}, {persist})[0];
    }

    // "type property value" of a data point, "absent" or "failed".
    std::string leaf(const std::string& path)
    {
        std::vector<api_status_t> statuses;
        std::vector<CElement> elements;
        std::vector<element_property_t> properties;
        if (cds.get_leaves({path}, statuses, elements, properties) != 0)
            return "failed";
        if (statuses.at(0) != API_STATUS_EXISTS)
            return "absent";
        std::string text;
        elements[0].to_string(text);
        return std::string(pcd_enum_to_str(elements[0].type())) + " " +
               std::to_string(properties[0]) + " " + text;
    }

    // "name:type:property" per child, or "status N".
    std::string list(const std::string& path)
    {
        api_status_t status = API_STATUS_ABSENT;
        std::vector<ChildEntry> children;
        if (cds.list_node(path, status, children) != 0)
            return "failed";
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

// Runs body in a child process with its own connection; true when it
// returned true.
bool in_child(bool (*body)(CCds& cds, int index), int index, pid_t& pid)
{
    pid = fork();
    if (pid != 0)
        return pid > 0;
    CCds cds;
    cds.handle = pcd_init();
    bool ok = cds.handle && body(cds, index);
    pcd_close(cds.handle);
    cds.handle = nullptr;
    _exit(ok ? 0 : 1);
}

bool exited_cleanly(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool write_batches(CCds& cds, int index)
{
    for (int batch = 0; batch < 20; ++batch) {
        std::vector<std::string> paths;
        std::vector<CElement> elements;
        for (int i = 0; i < 128; ++i) {
            paths.push_back("/w" + std::to_string(index) + "/b" + std::to_string(batch) + "/p" +
                            std::to_string(i));
            elements.emplace_back(DATA_TYPE_INT32, CElement::_invalid_time, std::to_string(i));
        }
        std::vector<api_status_t> statuses;
        if (cds.set_leaves(paths, elements, std::vector<pcd_tribool_t>(128, PCD_TRUE), statuses) !=
                0 ||
            std::count(statuses.begin(), statuses.end(), API_STATUS_EXISTS) != 128)
            return false;
    }
    return true;
}

bool write_one(CCds& cds, int)
{
    std::vector<api_status_t> statuses;
    return cds.set_leaves({"/kept/x"}, {typed(DATA_TYPE_UINT64, "18446744073709551615")},
                          {PCD_TRUE}, statuses) == 0 &&
           statuses[0] == API_STATUS_EXISTS;
}

TEST_F(StoreTest, KeepsDataAcrossProcesses)
{
    close();
    pid_t pid = 0;
    ASSERT_TRUE(in_child(write_one, 0, pid));
    ASSERT_TRUE(exited_cleanly(pid));
    cds.handle = pcd_init();
    EXPECT_EQ(leaf("/kept/x"), "uint64 1 18446744073709551615");
}

TEST_F(StoreTest, TwoProcessesWritingAtOnceBothSucceed)
{
    close();
    pid_t first = 0;
    pid_t second = 0;
    ASSERT_TRUE(in_child(write_batches, 0, first));
    ASSERT_TRUE(in_child(write_batches, 1, second));
    EXPECT_TRUE(exited_cleanly(first));
    EXPECT_TRUE(exited_cleanly(second));
    cds.handle = pcd_init();
    EXPECT_EQ(leaf("/w0/b19/p127"), "int32 1 127");
    EXPECT_EQ(leaf("/w1/b19/p127"), "int32 1 127");
}

TEST(StoreOpen, RefusesWhatIsNotAStore)
{
    struct Case {
        const char* name;
        const char* sql;  // run on the file first, or null
        const char* text; // written to the file first, or null
    };
    const Case cases[] = {
        {"plain text", nullptr, "hello\n"},
        {"another database", "CREATE TABLE other (x)", nullptr},
        {"marked by another program", "PRAGMA application_id = 42", nullptr},
        {"a store of an older layout",
         "CREATE TABLE entry (parent TEXT); PRAGMA application_id = 1128551217", nullptr},
    };
    for (const Case& row : cases) {
        TempStore store;
        if (row.text)
            std::ofstream(store.file) << row.text;
        if (row.sql)
            run_sql(store.file, row.sql);
        pcd_handle_t handle = pcd_init();
        EXPECT_EQ(handle, nullptr) << row.name;
        pcd_close(handle);
    }
    TempStore store;
    setenv("CDS_STORE", (store.dir + "/missing/store.db").c_str(), 1);
    EXPECT_EQ(pcd_init(), nullptr) << "missing directory";
    // SQLite reads these as a database in memory, a temporary one or a URI:
    // a write there succeeded and kept nothing.
    for (const std::string& name :
         std::vector<std::string>{"", ":memory:", "file:" + store.file, "file::memory:"}) {
        setenv("CDS_STORE", name.c_str(), 1);
        pcd_handle_t handle = pcd_init();
        EXPECT_EQ(handle, nullptr) << "'" << name << "'";
        pcd_close(handle);
    }
}

mode_t mode_of(const std::string& file)
{
    struct stat info {
    };
    return stat(file.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(StoreOpen, TurnsAnEmptyFileIntoAStore)
{
    TempStore store;
    std::ofstream(store.file).close();
    ASSERT_EQ(chmod(store.file.c_str(), 0640), 0);
    CCds cds;
    cds.handle = pcd_init();
    ASSERT_NE(cds.handle, nullptr);
    api_status_t status = API_STATUS_ABSENT;
    std::vector<ChildEntry> children;
    EXPECT_EQ(cds.list_node("/", status, children), 0);
    EXPECT_EQ(status, API_STATUS_EXISTS);
    EXPECT_EQ(mode_of(store.file), 0640u);
}

// The store holds passwords, yet under the usual umask it was readable by all.
TEST(StoreOpen, NewStoreIsForItsOwnerOnly)
{
    TempStore store;
    mode_t umask_before = umask(022);
    pcd_handle_t handle = pcd_init();
    umask(umask_before);
    ASSERT_NE(handle, nullptr);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(mode_of(store.file + suffix), 0600u) << suffix;
    pcd_close(handle);
}

TEST_F(StoreTest, RefusedItemsGetStatusZeroWhileTheRestIsWritten)
{
    ASSERT_EQ(set("/r/leaf", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(set("/r/node/x", DATA_TYPE_INT32, "1"), 1);
    std::string deep;
    for (int i = 0; i < 256; ++i)
        deep += "/d";
    std::string wide = "/" + std::string(4095, 'w');

    struct Case {
        const char* why;
        std::string path;
        CElement value;
        pcd_tribool_t persist;
        int status;
    };
    CElement number = typed(DATA_TYPE_INT32, "7");
    auto text = [](const std::string& value) {
        return CElement(DATA_TYPE_STRING, CElement::_invalid_time, value);
    };
    const std::vector<Case> cases = {
        {"written", "/r/first", number, PCD_FALSE, 1},
        {"relative path", "r/x", number, PCD_FALSE, 0},
        {"climbs above the root", "/../x", number, PCD_FALSE, 0},
        {"the root", "/", number, PCD_FALSE, 0},
        {"control character in a name", "/new/a\tb", number, PCD_FALSE, 0},
        {"U+FFFE in a name", "/new/\xEF\xBF\xBE", number, PCD_FALSE, 0},
        {"not UTF-8", "/new/\xC3(", number, PCD_FALSE, 0},
        {"overlong UTF-8 slash", "/new/\xC0\xAF", number, PCD_FALSE, 0},
        {"UTF-16 surrogate", "/new/\xED\xA0\x80", number, PCD_FALSE, 0},
        {"passes through a data point", "/r/leaf/x", number, PCD_FALSE, 0},
        {"a node is there", "/r/node", number, PCD_FALSE, 0},
        {"element of no type", "/r/none", CElement(), PCD_FALSE, 0},
        {"text not of its type", "/r/bad",
         CElement(DATA_TYPE_INT32, CElement::_invalid_time, "12x"), PCD_FALSE, 0},
        {"control character in a string", "/r/s1", text("a\x01"), PCD_FALSE, 0},
        {"U+FFFF in a string", "/r/s2", text("\xEF\xBF\xBF"), PCD_FALSE, 0},
        {"string not UTF-8", "/r/s3", text("\xFF"), PCD_FALSE, 0},
        {"continuation byte as a lead byte", "/r/s5", text("a\xBF"), PCD_FALSE, 0},
        {"U+0080, U+0800 and U+10000", "/r/s6", text("\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"),
         PCD_FALSE, 1},
        {"persist flag out of range", "/r/p", number, static_cast<pcd_tribool_t>(7), 0},
        {"257 levels", deep + "/d", number, PCD_FALSE, 0},
        {"4097 bytes", wide + "w", number, PCD_FALSE, 0},
        {"256 levels", deep, number, PCD_FALSE, 1},
        {"4096 bytes", wide, number, PCD_FALSE, 1},
        {"string with TAB, LF, CR and UTF-8", "/r/s4", text("a\tb\nc\rd \xE2\x9C\x93"), PCD_TRUE,
         1},
        {"written after the refusals", "/r/last", number, PCD_TRUE, 1},
    };
    std::vector<std::string> paths;
    std::vector<CElement> elements;
    std::vector<pcd_tribool_t> persist;
    for (const Case& row : cases) {
        paths.push_back(row.path);
        elements.push_back(row.value);
        persist.push_back(row.persist);
    }
    std::vector<int> statuses = set(paths, elements, persist);
    ASSERT_EQ(statuses.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(statuses[i], cases[i].status) << cases[i].why;
    EXPECT_EQ(leaf("/r/first"), "int32 0 7");
    EXPECT_EQ(leaf("/r/s4"), "string 1 a\tb\nc\rd \xE2\x9C\x93");
    EXPECT_EQ(leaf("/r/leaf"), "int32 0 1");
    // Refused items leave no nodes behind.
    EXPECT_EQ(list("/new"), "status 0");
}

// A value past SQLite's length limit was stored empty and reported written.
TEST_F(StoreTest, RefusesAValueTooLargeForTheStore)
{
    ASSERT_EQ(set("/big/kept", DATA_TYPE_STRING, "old"), 1);
    const int limit = 1000;
    sqlite3_limit(cds.handle->db.get(), SQLITE_LIMIT_LENGTH, limit);
    CElement number = typed(DATA_TYPE_INT32, "1");
    CElement text(DATA_TYPE_STRING, CElement::_invalid_time, std::string(limit + 1, 'x'));
    CElement bytes(DATA_TYPE_BINARY, CElement::_invalid_time, "",
                   std::vector<std::uint8_t>(limit + 1, 7));
    // Within the limit itself, but not once in a row with the other columns.
    CElement nearly(DATA_TYPE_STRING, CElement::_invalid_time, std::string(limit - 5, 'x'));
    EXPECT_EQ(set({"/big/a", "/big/kept", "/fresh/new", "/big/near", "/big/b"},
                  {number, text, bytes, nearly, number}, std::vector<pcd_tribool_t>(5, PCD_FALSE)),
              (std::vector<int>{1, 0, 0, 0, 1}));
    EXPECT_EQ(leaf("/big/kept"), "string 0 old");
    EXPECT_EQ(list("/fresh"), "status 0");
    EXPECT_EQ(leaf("/big/b"), "int32 0 1");
}

TEST_F(StoreTest, StoreFailureWritesNothingOfTheCall)
{
    ASSERT_EQ(set("/f/before", DATA_TYPE_BOOL, "true"), 1);
    run_sql(store.file, "CREATE TRIGGER boom BEFORE INSERT ON entry WHEN NEW.name = 'boom'"
                        " BEGIN SELECT RAISE(ABORT, 'boom'); END");

    CElement one = typed(DATA_TYPE_INT32, "1");
    EXPECT_EQ(set({"/f/before", "/g/a", "/f/boom", "/f/after"}, {one, one, one, one},
                  {PCD_TRUE, PCD_TRUE, PCD_TRUE, PCD_TRUE}),
              std::vector<int>{-1});
    EXPECT_EQ(leaf("/f/before"), "bool 0 true");
    EXPECT_EQ(list("/g"), "status 0");
    EXPECT_EQ(leaf("/f/after"), "absent");
    // The connection goes on working after the failure.
    EXPECT_EQ(set("/f/after", DATA_TYPE_INT32, "2"), 1);
    EXPECT_EQ(leaf("/f/after"), "int32 0 2");
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
        cds.handle = pcd_init();
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

TEST_F(StoreTest, PersistSetsClearsOrKeepsTheProperty)
{
    const struct {
        pcd_tribool_t persist;
        const char* expected;
    } steps[] = {
        {PCD_UNSPECIFIED, "uint32 0 1"}, // a new data point starts ordinary
        {PCD_TRUE, "uint32 1 2"},        {PCD_UNSPECIFIED, "uint32 1 3"},
        {PCD_FALSE, "uint32 0 4"},       {PCD_UNSPECIFIED, "uint32 0 5"},
    };
    int value = 0;
    for (const auto& step : steps) {
        ASSERT_EQ(set("/p/x", DATA_TYPE_UINT32, std::to_string(++value), step.persist), 1);
        EXPECT_EQ(leaf("/p/x"), step.expected) << "step " << value;
    }
    EXPECT_EQ(set("/p/y", DATA_TYPE_IPV4, "10.0.0.1", PCD_TRUE), 1);
    EXPECT_EQ(leaf("/p/y"), "ipv4 1 10.0.0.1");
}

TEST_F(StoreTest, ListsChildrenInCreationOrder)
{
    ASSERT_EQ(set("/o/c", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(set("/o/a/x", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(set("/o/b", DATA_TYPE_INT32, "1", PCD_TRUE), 1);
    // Replacing a value keeps its place.
    ASSERT_EQ(set("/o/c", DATA_TYPE_STRING, "now text"), 1);
    EXPECT_EQ(list("/o"), "c:1:0 a:2:0 b:1:1 ");
    // Removed and created again, it goes last.
    ASSERT_EQ(cds_store::remove_entry(cds.handle, "/o/a"), cds_store::Result::ok);
    ASSERT_EQ(set("/o/a", DATA_TYPE_INT32, "1"), 1);
    EXPECT_EQ(list("/o"), "c:1:0 b:1:1 a:1:0 ");
}

TEST_F(StoreTest, ListNodeStatuses)
{
    ASSERT_EQ(set("/n/leaf", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(set("/n/empty/x", DATA_TYPE_INT32, "1"), 1);
    ASSERT_EQ(cds_store::remove_entry(cds.handle, "/n/empty/x"), cds_store::Result::ok);
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/", "n:2:0 "},          {"//n/./", "leaf:1:0 empty:2:0 "}, {"/n/empty", ""},
        {"/missing", "status 0"}, {"/n/leaf", "status 0"},           {"n", "status 0"},
        {"/..", "status 0"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(list(row.path), row.expected) << row.path;
}

// A dump walked a node named ".." round and round, writing what its filter
// keeps out, and skipped a node missing from the node table as if it had
// vanished.
TEST_F(StoreTest, ListNodeFailsOnADamagedStore)
{
    std::string deep;
    for (int i = 0; i < 255; ++i)
        deep += "/d";
    for (const std::string& path :
         std::vector<std::string>{"/a/x", "/b/x", "/c/x", "/e/x", "/f/x", "/g/x", deep + "/x"})
        ASSERT_EQ(set(path, DATA_TYPE_INT32, "1"), 1);
    run_sql(store.file, add_entry("/a", ".", 2) + add_entry("/b", "..", 2) +
                            add_entry("/c", "", 1) + add_entry("/e", "x/y", 1) +
                            add_entry("/f", "ghost", 2) + add_entry("/g", "k", 3) +
                            "INSERT INTO node (path) VALUES ('" + deep + "/n');" +
                            add_entry(deep, "n", 2) + add_entry(deep + "/n", "x", 1));
    const struct {
        std::string path;
        std::string error;
    } cases[] = {
        {"/a", "a name under '/a' is not valid"},
        {"/b", "a name under '/b' is not valid"},
        {"/c", "a name under '/c' is not valid"},
        {"/e", "a name under '/e' is not valid"},
        // Dropped from the dump, data points and all.
        {"/g", "an entry under '/g' is of no known kind"},
        {deep + "/n", "an entry under '" + deep + "/n' lies past the store's limits"},
        {"/f/ghost", "no node at '/f/ghost'"},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(list(row.path), "failed") << row.error;
        EXPECT_EQ(cds_store::last_error(cds.handle), "the store is damaged: " + row.error);
    }
    EXPECT_EQ(list("/f"), "x:1:0 ghost:2:0 ");
}

TEST_F(StoreTest, GetLeavesAnswersPerPath)
{
    ASSERT_EQ(set("/g/a", DATA_TYPE_INT64, "-9223372036854775808", PCD_TRUE), 1);
    ASSERT_EQ(set("/g/sub/b", DATA_TYPE_BINARY, ""), 1);
    ASSERT_EQ(set("/other", DATA_TYPE_DOUBLE, "-0"), 1);
    const std::vector<std::string> paths = {"/g/a",    "/g/missing", "/g/sub", "g/a",
                                            "//g/./a", "/g/sub/b",   "/other", "/"};
    const std::vector<std::string> expected = {
        "int64 1 -9223372036854775808", "absent",    "absent",      "absent",
        "int64 1 -9223372036854775808", "binary 0 ", "double 0 -0", "absent"};
    // Right after listing /g, the listing answers for its children; the
    // answers must be the same either way.
    for (bool listed : {false, true}) {
        if (listed) {
            EXPECT_NE(list("/g"), "failed");
        }
        std::vector<api_status_t> statuses;
        std::vector<CElement> elements;
        std::vector<element_property_t> properties;
        ASSERT_EQ(cds.get_leaves(paths, statuses, elements, properties), 0);
        ASSERT_EQ(elements.size(), paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i) {
            std::string text;
            std::string got = "absent";
            if (statuses[i] == API_STATUS_EXISTS) {
                const char* type_name = pcd_enum_to_str(elements[i].type());
                elements[i].to_string(text);
                got = std::string(type_name ? type_name : "?") + " " +
                      std::to_string(properties[i]) + " " + text;
            } else {
                EXPECT_EQ(elements[i].type(), DATA_TYPE_NONE) << paths[i];
            }
            EXPECT_EQ(got, expected[i]) << paths[i] << (listed ? " after listing" : "");
        }
    }
}

TEST_F(StoreTest, ReadsSeeOneSnapshotUntilTheNextWrite)
{
    ASSERT_EQ(set("/s/x", DATA_TYPE_INT32, "1"), 1);
    CCds other;
    other.handle = pcd_init();
    ASSERT_NE(other.handle, nullptr);
    EXPECT_EQ(leaf("/s/x"), "int32 0 1");
    std::vector<api_status_t> statuses;
    ASSERT_EQ(other.set_leaves({"/s/x", "/s/y"},
                               {typed(DATA_TYPE_INT32, "2"), typed(DATA_TYPE_INT32, "2")},
                               {PCD_FALSE, PCD_FALSE}, statuses),
              0);
    EXPECT_EQ(leaf("/s/x"), "int32 0 1");
    EXPECT_EQ(list("/s"), "x:1:0 ");
    // A write of this connection ends its snapshot.
    ASSERT_EQ(set("/t", DATA_TYPE_BOOL, "false"), 1);
    EXPECT_EQ(leaf("/s/x"), "int32 0 2");
    EXPECT_EQ(list("/s"), "x:1:0 y:1:0 ");
}

TEST_F(StoreTest, RecordsSourceAndTime)
{
    pcd_timestamp_t before = cds_store::now();
    ASSERT_EQ(set({"/src/x"}, {typed(DATA_TYPE_MAC, "00:11:22:33:44:55")}, {PCD_FALSE}, "loader"),
              std::vector<int>{1});
    std::string source;
    pcd_timestamp_t time{};
    cds_store::find(cds.handle, "/src/x", [&](const cds_store::Entry& entry) {
        source = entry.source;
        time = entry.time;
        return true;
    });
    EXPECT_EQ(source, "loader");
    EXPECT_GE(time.seconds, before.seconds);
    EXPECT_LE(time.seconds, before.seconds + 5);
    EXPECT_LT(time.microseconds, 1000000u);
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
        {"//a/./b/../c/", "/a/c"},
        {"/a/./b", "/a/b"},
        {"/", "/"},
        {"a", ""},
        {deep, deep},
        {deep + "/d", ""},
        {deep + "/d/..", deep},
        {"/" + std::string(4095, 'x'), "/" + std::string(4095, 'x')},
        {"/" + std::string(4096, 'x'), ""},
    };
    for (const auto& row : cases) {
        std::vector<char> buffer(row.in.begin(), row.in.end());
        buffer.push_back('\0');
        std::size_t length = pcd_canonicalize_path(buffer.data(), row.in.size());
        EXPECT_EQ(length, row.out.size()) << row.in.substr(0, 40);
        if (length) {
            EXPECT_STREQ(buffer.data(), row.out.c_str());
        }
    }
}

} // namespace
