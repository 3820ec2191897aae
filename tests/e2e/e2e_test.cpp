// SPDX-License-Identifier: MIT
// The built cdsxml and cdsctl as processes, each on a store named inside a
// test's temporary directory: a realistic store made with cdsctl import
// dumps byte for byte as the golden documents say and loads back as the
// golden exports say, every dump validates against the schema, and a failed
// dump is seen from outside.
#include "files.h"
#include "program.h"
#include "temp_store.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;

namespace
{

const std::string realistic_tsv = E2E_DIR "/realistic.tsv";

std::string golden(const std::string& name)
{
    return read_file(E2E_DIR "/golden/" + name);
}

std::string in_dir(const TempStore& temp, const std::string& name)
{
    return temp.dir + "/" + name;
}

// The program run in temp's directory on the store named there.
ProgramRun run_in(const TempStore& temp, const std::string& store, const char* program,
                  const std::vector<std::string>& args, const std::string& input = "")
{
    Program run{{program}, temp.dir, in_dir(temp, store)};
    run.args.insert(run.args.end(), args.begin(), args.end());
    return run_program(run, input);
}

// Empty when every document validates against the dump schema, otherwise
// xmllint's complaint.
std::string schema_errors(const std::vector<std::string>& documents, const TempStore& temp)
{
    std::vector<std::string> args = {"--noout", "--relaxng", DUMP_RNG};
    args.insert(args.end(), documents.begin(), documents.end());
    ProgramRun run = run_in(temp, ".unused-store", XMLLINT, args);
    return run.status == 0 ? "" : "xmllint exit " + std::to_string(run.status) + ": " + run.err;
}

TEST(DumpGolden, RealisticStoreDumpsAsExpected)
{
    TempStore temp;
    ASSERT_EQ(run_in(temp, "s.db", CDSCTL, {"import", realistic_tsv}).status, 0);
    write_file(in_dir(temp, "kept.xml"), "old");
    chmod(in_dir(temp, "kept.xml").c_str(), 0640);
    ASSERT_EQ(symlink("target.xml", in_dir(temp, "link").c_str()), 0);
    mode_t umask_before = umask(022);
    const struct {
        std::vector<std::string> args;
        std::string golden;
        std::string file = "";   // empty: the document goes to standard output
        mode_t mode = 0;         // the file's; one there before keeps its mode
        bool redirected = false; // standard output is the file, made by the shell
        std::string err = "";
    } cases[] = {
        // Identity data points, the notification sequence, properties other
        // than 0 and 1 and the password are left out; nested nodes with
        // nothing written leave no trace.
        {{}, "whole.xml"},
        {{"-f", "out.xml", "-p", "/A", "-n", "/B", "-x", "/A/C", "-c", "-p", "/D"},
         "selected.xml",
         "out.xml",
         0644},
        // Persistent data points of /D and its child nodes, none deeper.
        {{"-c", "-n", "/D", "-f", "kept.xml"}, "persistent-level.xml", "kept.xml", 0640},
        // -s brings the password back, into a file for its owner only, also
        // one there before; identity data points stay out.
        {{"-s", "-f", "s.xml"}, "sensitive.xml", "s.xml", 0600},
        {{"-s", "-f", "kept.xml"}, "sensitive.xml", "kept.xml", 0600},
        // The link's target is replaced; the link stays.
        {{"-f", "link"}, "whole.xml", "link", 0644},
        // Written in place: a link under /proc names no file by its text.
        {{"-f", "/dev/stdout"}, "whole.xml"},
        {{"-s"},
         "sensitive.xml",
         "open.xml",
         0644,
         true,
         "Warning: standard output can be read by others and will hold passwords\n"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.golden);
        std::string shell_line = "exec \"$0\" \"$@\" >" + row.file;
        std::vector<std::string> shell_args = {"-c", shell_line, CDSXML};
        shell_args.insert(shell_args.end(), row.args.begin(), row.args.end());
        ProgramRun run = row.redirected ? run_in(temp, "s.db", "/bin/sh", shell_args)
                                        : run_in(temp, "s.db", CDSXML, row.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, row.err);
        std::string document = run.out;
        if (!row.file.empty()) {
            EXPECT_EQ(run.out, "");
            document = read_file(in_dir(temp, row.file));
            struct stat info {
            };
            stat(in_dir(temp, row.file).c_str(), &info);
            EXPECT_EQ(info.st_mode & 07777, row.mode);
        }
        EXPECT_EQ(document, golden(row.golden));
        write_file(in_dir(temp, "dumped.xml"), document);
        EXPECT_EQ(schema_errors({"dumped.xml"}, temp), "");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(in_dir(temp, "link")));
    umask(umask_before);
}

// Past the sixteen TABs that are written at once, with a path longer than
// the filter canonicalizes on the stack.
TEST(DumpGolden, DeepNodesAreIndentedByTheirDepth)
{
    TempStore temp;
    std::string path;
    for (int depth = 0; depth < 34; ++depth)
        path += "/nnnnnnnnnnnnnnn";
    ASSERT_EQ(run_in(temp, "s.db", CDSCTL, {"set", path + "/v", "int32", "1"}).status, 0);
    EXPECT_EQ(run_in(temp, "s.db", CDSXML, {}).out, golden("deep.xml"));
}

TEST(DumpGolden, FailedDumpsLeaveTheDestinationAsItWas)
{
    TempStore temp;
    ASSERT_EQ(run_in(temp, "s.db", CDSCTL, {"import", realistic_tsv}).status, 0);
    // The link goes first: should a regression delete the destination of a
    // failed dump whatever it is, the link is lost rather than /dev/full.
    ASSERT_EQ(symlink("/dev/full", in_dir(temp, "full").c_str()), 0);
    ASSERT_EQ(symlink("target.xml", in_dir(temp, "link").c_str()), 0);
    write_file(in_dir(temp, "old.xml"), "old");
    // A link that someone else planted in a directory that everyone shares.
    ASSERT_EQ(chmod(temp.dir.c_str(), 01777), 0);
    ASSERT_EQ(symlink("old.xml", in_dir(temp, "planted").c_str()), 0);
    ASSERT_EQ(lchown(in_dir(temp, "planted").c_str(), 12345, 12345), 0);
    std::string store_export = run_in(temp, "s.db", CDSCTL, {"export"}).out;
    const std::string missing = "Warning: no node at '/Missing'\n";
    const struct {
        std::vector<std::string> args;
        int status; // -1: killed by a signal
        std::string err;
        std::string absent = ""; // a path the run must not leave behind
        bool file_size_limited = false;
    } cases[] = {
        {{"-f", "full"}, 255, "Error: can't write file at 'full'\n"},
        {{"-s", "-f", "gone.xml", "-p", "/Missing"}, 1, missing, "gone.xml"},
        // A typo in a path used to delete yesterday's dump.
        {{"-f", "old.xml", "-p", "/Sofware"}, 1, "Warning: no node at '/Sofware'\n"},
        // Killed by SIGXFSZ, the dump left a truncated file.
        {{"-f", "old.xml"}, -1, "", "", true},
        {{"-f", "planted"}, 255, "Error: can't open file at 'planted'\n"},
        // The failure used to delete the link, leaving its target behind.
        {{"-f", "link", "-p", "/Missing"}, 1, missing, "target.xml"},
        // Writing over the store or its companions destroyed it.
        {{"-f", "s.db"}, 255, "Error: can't open file at 's.db'\n"},
        {{"-f", "s.db-wal"}, 255, "Error: can't open file at 's.db-wal'\n"},
        {{"-f", "s.db-shm"}, 255, "Error: can't open file at 's.db-shm'\n"},
        {{"-f", "./s.db-journal"},
         255,
         "Error: can't open file at './s.db-journal'\n",
         "s.db-journal"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.args[1]);
        std::vector<std::string> limited = {"-c", "ulimit -f 1; exec \"$0\" \"$@\"", CDSXML};
        limited.insert(limited.end(), row.args.begin(), row.args.end());
        ProgramRun run = row.file_size_limited ? run_in(temp, "s.db", "/bin/sh", limited)
                                               : run_in(temp, "s.db", CDSXML, row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(read_file(in_dir(temp, "old.xml")), "old");
        if (!row.absent.empty()) {
            EXPECT_NE(access(in_dir(temp, row.absent).c_str(), F_OK), 0);
        }
        for (const char* link : {"full", "link"})
            ASSERT_TRUE(std::filesystem::is_symlink(in_dir(temp, link))) << link << " was deleted";
    }
    for (const auto& entry : std::filesystem::directory_iterator(temp.dir))
        EXPECT_EQ(entry.path().filename().string().find(".xml."), std::string::npos)
            << entry.path() << " was left behind";
    struct stat info;
    EXPECT_TRUE(stat("/dev/full", &info) == 0 && S_ISCHR(info.st_mode));
    EXPECT_EQ(run_in(temp, "s.db", CDSCTL, {"export"}).out, store_export);

    // The version text used to be lost with status 0.
    for (std::string args : {"", " -v"}) {
        SCOPED_TRACE(args);
        ProgramRun run =
            run_in(temp, "s.db", "/bin/sh", {"-c", "exec \"$0\"" + args + " >/dev/full", CDSXML});
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.err, "Error: can't write to standard output\n");
    }
}

// A dump loaded into an empty store restores what the dump promised, and
// dumps again as the same document. The dump is the golden one, which the
// realistic store dumps as.
TEST(LoadRoundTrip, GoldenDumpComesBackAsDumped)
{
    TempStore temp;
    const std::string document = E2E_DIR "/golden/sensitive.xml";
    ASSERT_EQ(run_in(temp, "loaded.db", CDSCTL, {"init"}).status, 0);
    ProgramRun run = run_in(temp, "loaded.db", CDSXML, {"-l", document});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run_in(temp, "loaded.db", CDSCTL, {"export"}).out, golden("loaded-sensitive.tsv"));
    EXPECT_EQ(run_in(temp, "loaded.db", CDSXML, {"-s"}).out, golden("sensitive.xml"));

    // -r changes a data point that is there and creates none.
    ASSERT_EQ(run_in(temp, "r.db", CDSCTL, {"import"}, "/A/Count\tint32\t0\t5\n").status, 0);
    run = run_in(temp, "r.db", CDSXML, {"-l", document, "-r", "-i", "me\nWarning: forged"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run_in(temp, "r.db", CDSCTL, {"export"}).out,
              "/A\tnode\t0\t\n/A/Count\tint32\t0\t-2147483648\n");
    std::string stat = run_in(temp, "r.db", CDSCTL, {"stat", "/A/Count"}).out;
    EXPECT_EQ(stat.substr(stat.rfind('\t')), "\tme\\nWarning: forged\n");
}

// Near misses the schema must accept keep its rules from growing stricter
// than the load.
TEST(Schema, RefusesWhatTheLoadWouldDrop)
{
    TempStore temp;
    const std::pair<const char*, bool> cases[] = {
        {R"(root="/"><attr name="a" type="uint32">abc)", false},
        {R"(root="/"><attr name="a" type="int32">2147483648)", false},
        {R"(root="/"><attr name="a" type="int32">-2147483648)", true},
        {R"(root="/"><attr name="a" type="int32"> 5)", false},
        {R"(root="/"><attr name="a" type="uint64">-1)", false},
        {R"(root="/"><attr name="a" type="uint64">18446744073709551615)", true},
        {R"(root="/"><attr name="a" type="double">1e)", false},
        {R"(root="/"><attr name="a" type="double">+1)", false},
        {R"(root="/"><attr name="a" type="double">.5)", true},
        {R"(root="/"><attr name="a" type="double">-inf)", true},
        {R"(root="/"><attr name="a" type="ipv4">1.2.3.04)", false},
        {R"(root="/"><attr name="a" type="ipv6">1::2:3:4:5:6:7:8)", false},
        {R"(root="/"><attr name="a" type="ipv6">::ffff:1.2.3.4)", true},
        {R"(root="/"><attr name="a" type="ipv6">1:2:3:4:5:6:7::)", true},
        {R"(root="/"><attr name="a" type="mac">00:11:22:33:44:5)", false},
        {R"(root="/"><attr name="a" type="binary">0ff)", false},
        {R"(root="/"><attr name="a" type="binary">)", true},
        {R"(root="/"><attr name="a" type="bool">True)", false},
        {R"(root="/"><attr name="a" type="float">1)", false},
        {R"(root="/"><attr name="a&#9;b" type="string">)", false},
        {R"(root="/"><attr name=".." type="string">)", false},
        {R"(root="/a/../b"><attr name="a" type="string">)", false},
        {R"(root="/a//b"><attr name="a" type="string">)", false},
        {R"(root="/a/"><attr name="a" type="string">)", false},
        {R"(root="/a/.../.b"><attr name="a" type="string">)", true},
    };
    for (const auto& [row, valid] : cases) {
        SCOPED_TRACE(row);
        write_file(in_dir(temp, "row.xml"),
                   std::string("<dump><node ") + row + "</attr></node></dump>");
        EXPECT_EQ(schema_errors({"row.xml"}, temp).empty(), valid);
    }
}

// Import lines of data points of every type whose values come from random
// bits, so that the dump writes forms no hand-made store holds: a schema
// rule too strict for some dump fails here.
std::string random_store_lines(unsigned seed)
{
    const char* const pieces[] = {" ", "&", "<", "\"", "'", "\u00e9", ".", "\\t", "\\n", "]]>"};
    const char* const types[] = {"bool",   "int32", "uint32", "int64", "uint64", "string",
                                 "double", "ipv4",  "ipv6",   "mac",   "binary"};
    std::mt19937_64 random(seed);
    std::string lines;
    for (int i = 0; i < 2000; ++i) {
        std::uint64_t bits = random();
        std::string name = std::to_string(i) + pieces[bits % 10] + pieces[bits / 10 % 10];
        // Runs of zero words for ipv6, infinities, NaNs and subnormals for double.
        unsigned char bytes[16];
        for (int k = 0; k < 16; k += 2) {
            std::uint64_t word = random() % 3;
            bytes[k] = bytes[k + 1] = static_cast<unsigned char>(word == 2 ? random() : word * 255);
        }
        const std::uint64_t exponent = 0x7ff0000000000000;
        std::uint64_t pattern =
            bits % 8 == 0 ? bits | exponent : bits & ~(bits % 8 == 1 ? exponent : 0);
        double real;
        std::memcpy(&real, &pattern, sizeof real);
        char text[64], mac[18], ipv4[16], ipv6[46];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1],
                      bytes[2], bytes[3], bytes[4], bytes[5]);
        std::string hex;
        for (std::size_t k = 0; k < bits % 17; ++k)
            hex += std::string(mac + 3 * (k % 6), 2);
        const std::string values[] = {bits & 1 ? "true" : "false",
                                      std::to_string(static_cast<std::int32_t>(bits)),
                                      std::to_string(static_cast<std::uint32_t>(bits)),
                                      std::to_string(static_cast<std::int64_t>(bits)),
                                      std::to_string(bits),
                                      name + pieces[bits / 100 % 10],
                                      std::string(text, std::to_chars(text, text + 64, real).ptr),
                                      inet_ntop(AF_INET, bytes, ipv4, sizeof ipv4),
                                      inet_ntop(AF_INET6, bytes, ipv6, sizeof ipv6),
                                      mac,
                                      hex};
        lines += "/n" + std::to_string(i % 7) + "/" + name + "\t" + types[i % 11] + "\t" +
                 std::to_string(bits >> 63) + "\t" + values[i % 11] + "\n";
    }
    return lines;
}

TEST(Schema, EveryDumpValidates)
{
    TempStore temp;
    EXPECT_EQ(
        schema_errors({E2E_DIR "/golden/deep.xml", E2E_DIR "/golden/schema-sample.xml"}, temp), "");
    unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    ASSERT_EQ(run_in(temp, "s.db", CDSCTL, {"import"}, random_store_lines(seed)).status, 0);
    ProgramRun dump = run_in(temp, "s.db", CDSXML, {"-s", "-f", "random.xml"});
    ASSERT_EQ(dump.status, 0);
    EXPECT_EQ(schema_errors({"random.xml"}, temp), "");
}

// On a terminal a long load shows a status line, erased before a message
// and at the end, so that messages stay whole lines; elsewhere standard
// error holds the messages alone.
TEST(LoadProgress, StatusLineOnlyOnATerminal)
{
    TempStore temp;
    std::string document = "<dump><node root=\"/P\">";
    for (int i = 0; i < 600; ++i)
        document += (i == 300 ? "<attr name=\"bad\" type=\"int32\">x</attr>"s : ""s) +
                    "<attr name=\"v" + std::to_string(i) + "\" type=\"string\"/>";
    write_file(in_dir(temp, "in.xml"), document + "</node></dump>");
    ASSERT_EQ(run_in(temp, "s.db", CDSCTL, {"init"}).status, 0);
    const std::string warning =
        "Warning: invalid value 'x' for type 'int32' in attr '/P/bad' is being ignored";
    EXPECT_EQ(run_in(temp, "s.db", CDSXML, {"-l", "in.xml"}).err, warning + "\n");

    ProgramRun terminal =
        run_in(temp, "s.db", "/usr/bin/script", {"-qec", CDSXML " -l in.xml", "/dev/null"});
    EXPECT_EQ(terminal.status, 0);
    const std::string drawn =
        "\r[0-9]{1,3}% read, [0-9]+ data points written(, about [0-9:]+ left)? *";
    const std::string shown = "((" + drawn + ")+\r +\r)*";
    EXPECT_TRUE(std::regex_search(terminal.out, std::regex(drawn))) << terminal.out;
    EXPECT_TRUE(std::regex_match(terminal.out, std::regex(shown + warning + "\r\n" + shown)))
        << terminal.out;
}

// COMPREPLY, one word a line, for the words of a command line whose last
// word is being completed, as bash would ask the completion of words[0].
TEST(Completion, CompletesOptionsCommandsTypesFilesAndStorePaths)
{
    TempStore temp;
    ASSERT_EQ(run_in(temp, "s.db", CDSCTL, {"import"},
                     "/Hardware\tnode\t0\t\n/Software/System Settings/Hostname\tstring\t0\th\n"
                     "/Software/Sys2\tint32\t0\t1\n")
                  .status,
              0);
    write_file(in_dir(temp, "a b.xml"), "");
    write_file(in_dir(temp, "abc.xml"), "");
    std::filesystem::create_directory(in_dir(temp, "sub"));
    const std::string options = "-v\n-s\n-f\n-p\n-n\n-x\n-c\n-l\n-r\n-i\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"cdsxml", "-"}, options},
        {{"cdsxml", "-p", ""}, "/Hardware/\n/Software/\n"},
        {{"cdsxml", "-x", "/Software/Sys"}, "/Software/System\\ Settings/\n/Software/Sys2\n"},
        {{"cdsxml", "-n", "\"/Software/System"}, "/Software/System Settings/\n"},
        {{"cdsxml", "-n", "\"/Software/\"Sys"}, "/Software/System\\ Settings/\n/Software/Sys2\n"},
        {{"cdsxml", "-n", "'/Software/Sys'tem\\ \"Se\""}, "/Software/System\\ Settings/\n"},
        {{"cdsxml", "-p", "/Software/System\\ Settings/H"},
         "/Software/System\\ Settings/Hostname\n"},
        {{"cdsxml", "-f", "a"}, "a b.xml\nabc.xml\n"},
        {{"cdsxml", "-l", "'a "}, "a b.xml\n"},
        {{"cdsxml", "-i", ""}, ""},
        {{"cdsctl", "re"}, "restore\n"},
        {{"cdsctl", "set", "/x", "ui"}, "uint32\nuint64\n"},
        {{"cdsctl", "set", "--property", "1", "/x", "ui"}, "uint32\nuint64\n"},
        {{"cdsctl", "set", "--property=1", "--", "/x", "ui"}, "uint32\nuint64\n"},
        {{"cdsctl", "set", "--property", ""}, ""},
        {{"cdsctl", "mknode", "/x", "--p"}, "--property\n"},
        {{"cdsctl", "get", "/Hardware", ""}, ""},
        {{"cdsctl", "rm", "/Hardware", "/S"}, "/Software/\n"},
        {{"cdsctl", "backup", "su"}, "sub\n"},
        {{"cdsdiff", "-"}, "-c\n-r\n-s\n-e\n-x\n"},
        {{"cdsdiff", "-x", "/H"}, "/Hardware/\n"},
        {{"cdsdiff", "-e", "ab"}, "abc.xml\n"},
    };
    const std::string script =
        "PATH=${0%/*}:$PATH; . " COMPLETION "; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); "
        "_$1; printf '%s\\n' \"${COMPREPLY[@]}\" | grep .";
    for (const auto& [words, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(words));
        std::vector<std::string> args = {"-c", script, CDSCTL};
        args.insert(args.end(), words.begin(), words.end());
        ProgramRun run = run_in(temp, "s.db", "/bin/bash", args);
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err, "");
    }
}

} // namespace
