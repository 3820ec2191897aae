// SPDX-License-Identifier: MIT
// cdsctl as its users run it: the built binary on a fresh store per test.
#include "files.h"
#include "program.h"
#include "run_sql.h"
#include "temp_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

using namespace std::string_literals;

namespace
{

// Standard output goes to out_file instead, unread, when one is given.
ProgramRun cdsctl(const std::vector<std::string>& args, const std::string& input = "",
                  const std::string& out_file = "")
{
    Program program{{CDSCTL}};
    program.args.insert(program.args.end(), args.begin(), args.end());
    program.out = out_file;
    return run_program(program, input);
}

const char* const small_store = "/n\tnode\t0\t\n"
                                "/n/leaf\tint32\t0\t1\n";

// Changes a store or a backup as a bad disk or a crafted file would: by the
// SQL given or, without it, by zeroing its last page.
void craft(const std::string& file, const char* sql)
{
    if (!sql) {
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(-4096, std::ios::end);
        bytes << std::string(4096, '\0');
        return;
    }
    run_sql(file, sql);
}

struct Row {
    std::vector<std::string> args;
    std::string input;
    int status;
    // Standard output on success; else standard error, less the "cdsctl: "
    // before it and the newline after it.
    std::string text = "";
};

void run_rows(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args) + " " + row.input);
        ProgramRun result = cdsctl(row.args, row.input);
        EXPECT_EQ(result.status, row.status);
        bool failed = row.status != 0;
        EXPECT_EQ(result.out, failed ? "" : row.text);
        EXPECT_EQ(result.err, failed ? "cdsctl: " + row.text + "\n" : "");
    }
}

// Rows run in order on one store, which starts as small_store.
TEST(Cdsctl, CommandLine)
{
    TempStore store;
    // A usage error is found before the store is opened, let alone created.
    EXPECT_EQ(cdsctl({"set", "/a", "bad", "1"}).status, 1);
    // Reading commands made a missing store, and passed on its emptiness.
    const std::string no_store = store.file + ": cannot open the store: no such store";
    run_rows({{{"ls"}, "", 2, no_store},
              {{"get", "/a"}, "", 2, no_store},
              {{"export"}, "", 2, no_store},
              {{"backup", store.dir + "/b.db"}, "", 2, no_store},
              {{"rm", "/a"}, "", 2, no_store}});
    EXPECT_FALSE(std::filesystem::exists(store.file));
    ProgramRun made = cdsctl({"import"}, small_store);
    EXPECT_EQ(made.status, 0);
    EXPECT_EQ(made.err, "cdsctl: created a new store at '" + store.file + "'\n");
    const std::string snapshot = store.dir + "/snapshot.db";
    const std::string junk = store.dir + "/junk";
    write_file(junk, "not a store\n");
    const std::string property = ": --property wants a number in 0..255";
    const std::string fields = "stdin:1: expected PATH<TAB>TYPE<TAB>PROPERTY<TAB>VALUE";
    const std::string range = "stdin:1: /a: the property is not in 0..255";
    const std::string escape = "stdin:1: /a: the value has an unknown escape";
    const std::string through = ": the path passes through a data point";
    const std::string own = "the file is one of the store's own";
    const std::string c_lines = "/c\tnode\t0\t\n/c/n\tnode\t0\t\n/c/n/y\tint32\t0\t1\n";
    std::vector<Row> rows = {
        {{}, "", 1, "no command (see 'cdsctl help')"},
        {{"frob"}, "", 1, "unknown command 'frob' (see 'cdsctl help')"},
        // Usage errors name the word at fault.
        {{"init", "x"}, "", 1, "init: unexpected 'x'; usage: cdsctl init"},
        {{"--version", "x"}, "", 1, "--version: unexpected 'x'"},
        {{"init"}, "", 2, store.file + ": cannot create the store: a file is there already"},
        {{"set", "/a", "int32"},
         "",
         1,
         "set: missing VALUE; usage: cdsctl set PATH TYPE VALUE [--property N]"},
        {{"ls", "/a", "/b"}, "", 1, "ls: unexpected '/b'; usage: cdsctl ls [PATH]"},
        {{"get"}, "", 1, "get: missing PATH; usage: cdsctl get PATH"},
        {{"set", "/a", "int33", "1"}, "", 1, "set: unknown type 'int33'"},
        {{"set", "/a", "int32", "1", "--property", "256"}, "", 1, "set" + property + ", not '256'"},
        {{"mknode", "/a", "--property"}, "", 1, "mknode" + property},
        {{"mknode", "/a", "--property", "-0"}, "", 1, "mknode" + property + ", not '-0'"},
        {{"mknode", "/a", "--property=007"}, "", 1, "mknode" + property + ", not '007'"},
        {{"mknode"}, "", 1, "mknode: missing PATH; usage: cdsctl mknode PATH [--property N]"},
        {{"init", "--property", "1"}, "", 1, "init: unknown option '--property'"},
        {{"set", "/a", "int32", "x"}, "", 2, "/a: 'x' is not a valid int32 value"},
        {{"set", "rel", "int32", "1"}, "", 2, "rel: the path has no canonical form"},
        {{"set", "/n/leaf/x", "int32", "1"}, "", 2, "/n/leaf/x" + through},
        {{"set", "/n", "int32", "1"}, "", 2, "/n: a node is there"},
        {{"set", "/a\tb", "int32", "1"}, "", 2, "/a\\tb: a name in the path is not valid"},
        {{"mknode", "/n/leaf"}, "", 2, "/n/leaf: a data point is there"},
        {{"mknode", "/", "--property", "1"}, "", 2, "/: the root cannot be changed"},
        {{"get", "/missing"}, "", 2, "/missing: no such data point"},
        {{"stat", "/n"}, "", 2, "/n: is a node, not a data point"},
        {{"ls", "/n/leaf"}, "", 2, "/n/leaf: no such node"},
        {{"rm", "/missing"}, "", 2, "/missing: nothing is there"},
        // Wiped the whole store.
        {{"rm", "/"}, "", 2, "/: the root cannot be changed"},
        {{"rm", "/n/leaf", "-"}, "\n/n/nothing\n", 2, "/n/nothing: nothing is there"},
        {{"rm", "-"}, "/n/leaf\n/n\\q\n", 2, "stdin: /n\\\\q: an unknown escape"},
        {{"export", "/missing"}, "", 2, "/missing: nothing is there"},
        {{"import", "/no/file"}, "", 2, "/no/file: No such file or directory"},
        // A read error used to pass for the end of the lines.
        {{"import", store.dir}, "", 2, store.dir + ": Is a directory"},
        {{"restore", "/no/file"}, "", 2, "/no/file: restore failed: unable to open database file"},
        // Names that SQLite takes for a database in memory or a URI.
        {{"backup", ":memory:"}, "", 2, ":memory:: backup failed: not a plain path"},
        {{"restore", "file:" + junk}, "", 2, "file:" + junk + ": restore failed: not a plain path"},
        // Lost as the store closes, or rolled back as a hot journal as it next opens.
        {{"backup", store.file + "-wal"}, "", 2, store.file + "-wal: backup failed: " + own},
        {{"backup", store.file + "-journal"},
         "",
         2,
         store.file + "-journal: backup failed: " + own},
        {{"import", "-"}, "x\n", 2, fields},
        {{"import"}, "/a\tstring\t0\t\tx\n", 2, fields},
        // A failed import writes nothing, not even the lines before the bad one.
        {{"import"}, "/a\tint32\t0\t1\n\n/b\tfloat\t0\t1\n", 2, "stdin:3: /b: no such type"},
        {{"import"}, "/a\tint32\t300\t1\n", 2, range},
        // Read as 0 and 1, and a TYPE as far as its NUL, these used to be imported.
        {{"import"}, "/a\tint32\t-0\t1\n", 2, range},
        {{"import"}, "/a\tint32\t00001\t1\n", 2, range},
        {{"import"}, "/a\tstring\0junk\t0\tv\n"s, 2, "stdin:1: /a: no such type"},
        {{"import"}, "/a\tstring\t0\tbad \\q\n", 2, escape},
        {{"import"}, "/a\tstring\t0\tcut \\x4\n", 2, escape},
        {{"import"}, "/a\tnode\t0\tx\n", 2, "stdin:1: /a: a node has no value"},
        {{"import"}, "/a\tbool\t0\tyes\n", 2, "stdin:1: /a: the value is not valid for its type"},
        {{"import"}, "/n/leaf/x\tint32\t0\t1\n", 2, "stdin:1: /n/leaf/x" + through},
        {{"export"}, "", 0, small_store},
        {{"set", "/c/x", "uint32", "7", "--property=1"}, "", 0},
        // Made the persistent data point ordinary.
        {{"set", "/c/x", "uint32", "8"}, "", 0},
        {{"mknode", "/c/n", "--property", "1"}, "", 0},
        // A node that is there takes the property given.
        {{"mknode", "/c/n", "--property", "2"}, "", 0},
        {{"set", "/c/b", "binary", "00FF"}, "", 0},
        {{"set", "--", "/c/s", "string", "--property"}, "", 0},
        {{"get", "/c/x"}, "", 0, "8\n"},
        {{"get", "/c/b"}, "", 0, "00ff\n"},
        {{"get", "/c/s"}, "", 0, "--property\n"},
        {{"ls", "/c"},
         "",
         0,
         "leaf\t1\tuint32\tx\nnode\t2\t-\tn\nleaf\t0\tbinary\tb\nleaf\t0\tstring\ts\n"},
        {{"rm", "-", "/c/n"}, "/c/x\n\n/c/b\n", 0},
        {{"ls", "/c"}, "", 0, "leaf\t0\tstring\ts\n"},
        {{"rm", "/c"}, "", 0},
        {{"ls", "/c"}, "", 2, "/c: no such node"},
        // Made again, the node holds only what is set under it now.
        {{"set", "/c/n/y", "int32", "1"}, "", 0},
        {{"export", "/c"}, "", 0, c_lines},
        {{"backup", snapshot}, "", 0},
        {{"set", "/c/n/y", "int32", "2"}, "", 0},
        {{"set", "/y", "int32", "3"}, "", 0},
        {{"restore", snapshot}, "", 0},
        {{"export"}, "", 0, small_store + c_lines},
        {{"restore", junk}, "", 2, junk + ": restore failed: not a store"},
        {{"export"}, "", 0, small_store + c_lines},
    };
    for (const char* command : {"get", "stat", "ls", "rm", "import", "export", "backup", "restore"})
        rows.push_back(
            {{command, "x", "--property", "1"}, "", 1, command + ": unknown option '--property'"s});
    run_rows(rows);
    std::string stat = cdsctl({"stat", "/c/n/y"}).out;
    EXPECT_TRUE(std::regex_match(stat, std::regex("int32\t0\t[0-9]+\\.[0-9]{6}\tcdsctl\n")))
        << stat;
    ProgramRun help = cdsctl({"help"});
    EXPECT_EQ(help.status, 0);
    for (const char* name : {"init", "set", "mknode", "get", "stat", "ls", "rm", "import", "export",
                             "backup", "restore", "version", "help"})
        EXPECT_NE(help.out.find("\n  "s + name + " "), std::string::npos) << name;
    for (const char* word : {"-h", "--help"})
        EXPECT_EQ(cdsctl({word}).out, help.out) << word;
    for (const char* word : {"version", "--version"})
        EXPECT_EQ(cdsctl({word}).out, "cdsctl: version 2.0.0\n") << word;
    // With standard input closed, import read SQLite's stand-in there and passed.
    ProgramRun closed = run_program({{"/bin/sh", "-c", "exec \"$0\" import <&-", CDSCTL}});
    EXPECT_EQ(closed.status, 2);
    EXPECT_EQ(closed.err, "cdsctl: stdin: Bad file descriptor\n");
    // Output lost on a full device used to pass for success.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"ls"}, {"get", "/c/n/y"}, {"stat", "/c/n/y"}, {"export"}, {"help"}, {"version"}}) {
        ProgramRun result = cdsctl(args, "", "/dev/full");
        EXPECT_EQ(result.status, 2) << args[0];
        EXPECT_EQ(result.err, "cdsctl: standard output: No space left on device\n") << args[0];
    }
#ifndef __SANITIZE_ADDRESS__
    // Running out of memory, on a line with no end, used to abort.
    const std::string endless = store.dir + "/endless";
    write_file(endless, "");
    std::filesystem::resize_file(endless, 1 << 30);
    ProgramRun starved = run_program(
        {{"/bin/sh", "-c", "ulimit -v 200000; exec \"$0\" import \"$1\"", CDSCTL, endless}});
    EXPECT_EQ(starved.status, 2);
    EXPECT_EQ(starved.err, "Error: out of memory\n");
#endif

    // SQLite's account of a failure was read after the rollback that
    // followed it, so that every failure of the store said "not an error".
    craft(store.file,
          "CREATE TRIGGER refuse BEFORE INSERT ON entry WHEN NEW.name = 'x'"
          " BEGIN SELECT RAISE(ABORT, 'no x here'); END;"
          "CREATE TRIGGER keep BEFORE DELETE ON entry WHEN OLD.name = 'y'"
          " BEGIN SELECT RAISE(ABORT, 'y stays'); END;"
          "DELETE FROM node WHERE path = '/n';"
          "INSERT INTO node (path) VALUES ('/d'), ('/e');"
          "INSERT INTO entry (parent, seq, name, kind, property) VALUES"
          " (1, 5, 'd', 2, 0), (1, 6, 'e', 2, 0),"
          " ((SELECT id FROM node WHERE path = '/d'), 9, '..', 1, 0),"
          " ((SELECT id FROM node WHERE path = '/e'), 9, 'k', 3, 0);"
          "INSERT INTO node (path) VALUES ('/f'), ('/f/z');"
          "INSERT INTO entry (parent, seq, name, kind, property) VALUES (1, 7, 'f', 2, 0),"
          " ((SELECT id FROM node WHERE path = '/f'), 4294967295, 'z', 2, 0);"
          "INSERT INTO node (id, path) VALUES (2147483647, '/h');"
          "INSERT INTO entry (parent, seq, name, kind, property) VALUES (1, 9, 'h', 2, 0);"
          "INSERT INTO node (path) VALUES ('/l');"
          "INSERT INTO entry VALUES (1, 10, 'l', 2, 0, NULL, NULL, NULL, NULL, NULL),"
          " ((SELECT id FROM node WHERE path = '/l'), 1,"
          " replace(hex(zeroblob(2047)), '0', 'x'), 1, 0, 6, 'v', 0, 0, NULL);"
          "INSERT INTO entry VALUES (1, 8, 'g', 1, 0, 6, 99, 0, 0, NULL)");
    const std::string damaged = ": the store failed: the store is damaged: ";
    const std::string no_kind = damaged + "an entry under '/e' is of no known kind";
    // What a failed export wrote before the damage is left unchecked.
    const std::vector<Row> damaged_rows = {
        {{"set", "/x", "int32", "1"}, "", 2, "/x: the store failed: no x here"},
        {{"rm", "/c"}, "", 2, "/c: the store failed: y stays"},
        {{"export"}, "", 2, "/" + damaged + "no node at '/n'"},
        {{"ls", "/n"}, "", 2, "/n" + damaged + "no node at '/n'"},
        // Exported as lines that import refuses, or misplaces.
        {{"export", "/d"}, "", 2, "/d" + damaged + "a name under '/d' is not valid"},
        {{"export", "/e"}, "", 2, "/e" + no_kind},
        {{"get", "/e/k"}, "", 2, "/e/k" + no_kind},
        {{"ls", "/l"}, "", 2, "/l" + damaged + "an entry under '/l' lies past the store's limits"},
        // The value kept apart is gone.
        {{"get", "/g"}, "", 2, "/g" + damaged + "a value under '/' is missing"},
        // Used to fail with "not an error".
        {{"set", "/e/k", "int32", "1"},
         "",
         2,
         "/e/k" + damaged + "the entry at '/e/k' is of no known kind"},
    };
    for (const Row& row : damaged_rows) {
        ProgramRun result = cdsctl(row.args);
        EXPECT_EQ(result.status, 2) << row.text;
        EXPECT_EQ(result.err, "cdsctl: " + row.text + "\n");
    }
    // A node's last seq taken: its children are numbered anew, in order,
    // and within the limits a restore checks. The last node id taken: no
    // node is made.
    run_rows({{{"set", "/f/y", "int32", "1"}, "", 0},
              {{"ls", "/f"}, "", 0, "node\t0\t-\tz\nleaf\t0\tint32\ty\n"},
              {{"mknode", "/h/i"},
               "",
               2,
               "/h/i: the store failed: the store's nodes are numbered past its limits"}});
    EXPECT_EQ(query_number(store.file, "SELECT max(seq) FROM entry WHERE name IN ('y', 'z')"), 2);
    setenv("CDS_STORE", (store.dir + "/missing/s.db").c_str(), 1);
    run_rows({{{"set", "/a", "int32", "1"},
               "",
               2,
               store.dir + "/missing/s.db: cannot open the store: no such directory"}});
    setenv("CDS_STORE", (store.dir + "/new.db").c_str(), 1);
    run_rows({{{"init"}, "", 0}, {{"export"}, "", 0}});
    const std::string utf16 = store.dir + "/utf16.db";
    run_sql(utf16, "PRAGMA encoding = 'UTF-16'; PRAGMA application_id = 1128551217;"
                   "PRAGMA user_version = 2; CREATE TABLE t (x)");
    setenv("CDS_STORE", utf16.c_str(), 1);
    run_rows(
        {{{"ls"},
          "",
          2,
          utf16 + ": cannot open the store: the store is damaged: its encoding is not UTF-8"}});
}

// The value of every type is pinned by the end-to-end exports; here the
// line format's own edges.
TEST(Cdsctl, ExportGivesBackWhatWasImported)
{
    std::string lines =
        "/edge\tnode\t200\t\n"
        "/edge/empty node\tnode\t0\t\n"
        "/edge/s\tstring\t255\ttab\\tlf\\ncr\\rback\\\\slash \xE2\x9C\x93 &<>\"' del\\x7f\\x7fa\n"
        "/edge/sub/deep\tint64\t9\t-1\n";
    // Values just within and just past the bound of those kept apart.
    const std::string within(600, 'w');
    const std::string past(601, 'p');
    lines += "/edge/within\tstring\t0\t" + within + "\n/edge/past\tstring\t0\t" + past + "\n";
    // A last line without its LF, longer than a block read, whose last byte
    // is read alone.
    std::string long_line = "/edge/long\tstring\t0\t";
    long_line += std::string(65537 - lines.size() - long_line.size(), 'x');
    std::string expected = lines + long_line + "\n";
    // Nodes created on the way have a line of their own.
    expected.insert(expected.rfind("/edge/sub/deep"), "/edge/sub\tnode\t0\t\n");

    TempStore store;
    ASSERT_EQ(cdsctl({"init"}).status, 0);
    ASSERT_EQ(cdsctl({"import"}, lines + long_line).err, "");
    ProgramRun exported = cdsctl({"export"});
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out, expected);
    // Each value kept apart goes with its data point, replaced or removed.
    run_rows({{{"set", "/edge/past", "string", "small"}, "", 0},
              {{"set", "/edge/past", "string", past}, "", 0},
              {{"get", "/edge/past"}, "", 0, past + "\n"}});
    EXPECT_EQ(query_number(store.file, "SELECT count(*) FROM source"), 1) << "kept once";
    run_rows({{{"rm", "/edge"}, "", 0}});
    EXPECT_EQ(query_number(store.file, "SELECT count(*) FROM large_value"), 0);
}

// Another process holding the store: opening it says so, and a restore
// gives up after the five seconds cdsctl(1) promises, where it waited ten.
TEST(Cdsctl, BusyStoreIsGivenUpAfterFiveSeconds)
{
    TempStore store;
    const std::string held = store.dir + "/held.db";
    const std::string backup = store.dir + "/b.db";
    ASSERT_EQ(cdsctl({"init"}).status, 0);
    ASSERT_EQ(cdsctl({"backup", backup}).status, 0);
    ASSERT_EQ(run_program({{CDSCTL, "init"}, "", held}).status, 0);
    sqlite3* writer = nullptr;
    sqlite3* owner = nullptr;
    sqlite3_open(store.file.c_str(), &writer);
    sqlite3_open(held.c_str(), &owner);
    EXPECT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(owner, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    auto start = std::chrono::steady_clock::now();
    pid_t restore =
        start_program({{CDSCTL, "restore", backup}, "", "", "", store.dir + "/restore.err"});
    pid_t ls = start_program({{CDSCTL, "ls"}, "", held, "", store.dir + "/ls.err"});
    EXPECT_EQ(finish_program(restore).status, 2);
    EXPECT_EQ(finish_program(ls).status, 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    sqlite3_close(writer);
    sqlite3_close(owner);
    EXPECT_EQ(read_file(store.dir + "/restore.err"),
              "cdsctl: " + backup + ": restore failed: database is locked\n");
    EXPECT_EQ(read_file(store.dir + "/ls.err"),
              "cdsctl: " + held + ": cannot open the store: locked\n");
}

TEST(Cdsctl, RestoreRefusesABackupTheStoreCouldNotHaveMade)
{
    TempStore store;
    std::string good = store.dir + "/good.db";
    std::string bad = store.dir + "/bad.db";
    ASSERT_EQ(cdsctl({"import"}, small_store).status, 0);
    mode_t umask_before = umask(022);
    ASSERT_EQ(cdsctl({"backup", good}).status, 0);
    umask(umask_before);
    // Readable by its owner only, also over a file that others could read.
    struct stat info;
    EXPECT_EQ(stat(good.c_str(), &info) == 0 ? info.st_mode & 0777 : 0, 0600u);
    ASSERT_EQ(chmod(good.c_str(), 0640), 0);
    ASSERT_EQ(cdsctl({"backup", good}).status, 0);
    EXPECT_EQ(stat(good.c_str(), &info) == 0 ? info.st_mode & 0777 : 0, 0600u);
    // Killed by SIGXFSZ, a backup used to leave a truncated file and its journal.
    const std::string saved = read_file(good);
    ProgramRun killed =
        run_program({{"/bin/sh", "-c", "ulimit -f 1; exec \"$0\" backup \"$1\"", CDSCTL, good}});
    EXPECT_EQ(killed.signal, SIGXFSZ);
    EXPECT_EQ(read_file(good), saved);
    for (const auto& entry : std::filesystem::directory_iterator(store.dir))
        EXPECT_EQ(entry.path().filename().string().rfind("good.db.", 0), std::string::npos)
            << entry.path() << " was left behind";
    ASSERT_EQ(cdsctl({"set", "/x", "int32", "2"}).status, 0);
    std::string before = cdsctl({"export"}).out;
    const char* const bad_schema = "the backup's schema is not the store's";
    const char* const bad_name = "the backup holds a name or path that the store refuses";
    const char* const bad_nodes = "the backup holds nodes that do not match their entries";
    const char* const bad_value = "the backup holds a value not valid for its type";
    const char* const node_value = "the backup holds a node with a type or a value";
    const char* const bad_number = "the backup holds a number outside the range the store writes";
    auto set_in = [](const char* name, const std::string& set) {
        return "UPDATE entry SET " + set + " WHERE name = '" + name + "'";
    };
    const struct {
        std::string sql; // empty: a damaged page
        const char* reason;
    } cases[] = {
        {"", "the backup fails the integrity check"},
        {"PRAGMA journal_mode = DELETE; PRAGMA page_size = 8192; VACUUM",
         "the backup's page size differs from the store's"},
        // Blanked every value on every later write.
        {"CREATE TRIGGER t AFTER UPDATE ON entry BEGIN UPDATE entry SET value = ''; END",
         bad_schema},
        {"CREATE VIEW v AS SELECT name FROM entry", bad_schema},
        {"CREATE INDEX i ON entry (kind)", bad_schema},
        // Restored, the store would keep every replaced large value.
        {"DROP TRIGGER large_value_replaced", bad_schema},
        // A node named "." sent the dump round in circles.
        {set_in("n", "name = '.'"), bad_name},
        {set_in("leaf", "name = ''"), bad_name},
        {set_in("leaf", "name = 'a/b'"), bad_name},
        {set_in("leaf", "name = CAST('leaf' AS BLOB)"), bad_name},
        {set_in("leaf", "name = hex(zeroblob(2100))"), bad_name},
        {set_in("leaf", "parent = 99"), "the backup holds an entry whose parent is missing"},
        {"UPDATE node SET path = '/m' WHERE path = '/n'", bad_nodes},
        {"INSERT INTO node (path) VALUES ('/o')", bad_nodes},
        {"UPDATE node SET id = 7 WHERE id = 1; UPDATE entry SET parent = 7 WHERE parent = 1",
         bad_nodes},
        {set_in("leaf", "kind = 3"), "the backup holds an entry of no known kind"},
        {set_in("leaf", "type = 12"), "the backup holds a data point of no known type"},
        {set_in("leaf", "property = 256"), "the backup holds a property outside 0..255"},
        // Dumped as they stood: wrong values, or XML that no parser takes.
        {set_in("leaf", "value = 'abc'"), bad_value},
        {set_in("leaf", "value = '01'"), bad_value},
        {set_in("leaf", "type = 6, value = x'C328'"), bad_value},
        {set_in("leaf", "type = 6, value = 'a' || char(1)"), bad_value},
        {set_in("n", "type = 2"), node_value},
        {set_in("n", "value = '1'"), node_value},
        // Left no child creatable under the node, with "not an error".
        {set_in("leaf", "seq = 0"), bad_number},
        {set_in("leaf", "seconds = -1"), bad_number},
        {set_in("leaf", "microseconds = 'x'"), bad_number},
        {set_in("n", "source = 's'"), bad_number},
        {"UPDATE node SET id = 0 WHERE path = '/n'; UPDATE entry SET parent = 0 WHERE parent = "
         "(SELECT id FROM node WHERE path = '/n')",
         bad_number},
        // A value kept apart: missing, shared (gone with either data point), or a number.
        {set_in("leaf", "value = 99"), "the backup holds a data point whose value is missing"},
        {"INSERT INTO large_value VALUES (5, '1');" + set_in("leaf", "value = 5") +
             "; INSERT INTO entry SELECT parent, 2, 'other', kind, property, type, value,"
             " seconds, microseconds, source FROM entry WHERE name = 'leaf'",
         "the backup holds a value that two data points share"},
        {"INSERT INTO large_value VALUES (5, 1);" + set_in("leaf", "value = 5"), bad_value},
        {set_in("leaf", "source = 9"), bad_number},
        // Found no more when written again: the source was kept twice.
        {"UPDATE source SET hash = 0", bad_number},
        // Every dump failed after it: the store reads and writes UTF-8.
        {"utf-16", "the backup's encoding is not UTF-8"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.sql);
        std::filesystem::copy_file(good, bad, std::filesystem::copy_options::overwrite_existing);
        if (row.sql == "utf-16") {
            std::filesystem::remove(bad);
            run_sql(bad, "PRAGMA encoding = 'UTF-16'; PRAGMA application_id = 1128551217;"
                         "PRAGMA user_version = 2; CREATE TABLE t (x)");
        } else {
            craft(bad, row.sql.empty() ? nullptr : row.sql.c_str());
        }
        ProgramRun result = cdsctl({"restore", bad});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, "cdsctl: " + bad + ": restore failed: " + row.reason + "\n");
        EXPECT_EQ(cdsctl({"export"}).out, before);
    }
    // Read without a file made beside it, so from a read-only medium too;
    // a backup made in WAL mode, as they once were, as well.
    for (const char* sql : {"", "PRAGMA journal_mode = WAL"}) {
        craft(good, sql);
        EXPECT_EQ(cdsctl({"restore", good}).status, 0) << sql;
        EXPECT_EQ(cdsctl({"export"}).out, small_store);
        for (const char* ending : {"-wal", "-shm", "-journal"})
            EXPECT_FALSE(std::filesystem::exists(good + ending)) << sql << ending;
    }
}

// Stores and a backup made by the cdsctl and cdsxml of the two forms
// before (see old-stores/make): each restores, and each store is brought to
// the current form when opened, whole, and reads as it did.
TEST(Cdsctl, OldStoresAreBroughtToTheCurrentForm)
{
    TempStore store;
    const std::string lines = read_file(OLD_STORES "export.tsv");
    const Row exported = {{"export"}, "", 0, lines};
    const struct {
        const char* file;
        std::vector<Row> opened; // none: a backup, only restored
    } cases[] = {
        {"form-2.db",
         {exported,
          {{"stat", "/Software/System Settings/Hostname"},
           "",
           0,
           "string\t0\t1796651403.625730\trestore of 2026-12-01\n"},
          {{"stat", "/Hardware/SerialNumber"}, "", 0, "string\t0\t1796651403.509382\tcdsctl\n"}}},
        {"form-2-backup.db", {}},
        {"form-3.db", {exported}},
    };
    ASSERT_EQ(cdsctl({"init"}).status, 0);
    const std::string old = store.dir + "/old.db";
    for (const auto& row : cases) {
        SCOPED_TRACE(row.file);
        std::filesystem::copy_file(OLD_STORES + std::string(row.file), old,
                                   std::filesystem::copy_options::overwrite_existing);
        setenv("CDS_STORE", store.file.c_str(), 1);
        run_rows({{{"restore", old}, "", 0}, exported});
        if (row.opened.empty())
            continue;
        setenv("CDS_STORE", old.c_str(), 1);
        run_rows(row.opened);
        EXPECT_EQ(read_file(old).substr(60, 4), std::string("\0\0\0\4", 4)) << "user_version";
    }
    run_sql(old, "PRAGMA user_version = 5");
    const std::string newer = ": the store was made by a newer cdsxml";
    run_rows({{{"ls"}, "", 2, old + ": cannot open the store" + newer}});
    setenv("CDS_STORE", store.file.c_str(), 1);
    run_rows({{{"restore", old}, "", 2, old + ": restore failed" + newer}});
}

} // namespace
