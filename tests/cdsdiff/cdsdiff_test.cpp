// SPDX-License-Identifier: MIT
// The built cdsdiff against a small store made with cdsctl import, and
// against a second document.
#include "files.h"
#include "program.h"
#include "temp_store.h"

#include <gtest/gtest.h>

namespace
{

const std::string store_lines = "/A/p\tstring\t1\told\n"
                                "/A/n\tint32\t0\t7\n"
                                "/A/Pw/x\tstring\t0\tkept\n"
                                "/A/SerialNumber/Value\tstring\t0\tS1\n"
                                "/Software/Data Servers/Email/SMTP Password/Value\tstring\t1\tpw\n"
                                "/B/q\tstring\t0\tq\n";

std::string doc(const std::string& body)
{
    return "<dump><node root=\"/A\">" + body + "</node></dump>";
}

const std::string same = doc("<attr name=\"p\" type=\"string\" persist=\"true\">old</attr>"
                             "<attr name=\"n\" type=\"int32\">7</attr>");
const std::string mail = "<dump><node root=\"/Software/Data Servers/Email/SMTP Password\">"
                         "<attr name=\"Value\" type=\"string\">new</attr></node></dump>";

const std::string usage = "Usage:\ncdsdiff [-c] [-r] [-s] [-e] [-x <path>]... <file>\n"
                          "cdsdiff [-c] [-s] <old file> <new file>\n";

struct Case {
    const char* name;
    std::vector<std::string> args; // before the document
    std::string document;
    std::string out;
    int status;
    std::string err = "";
};

const Case cases[] = {
    {"unchanged", {}, same, "", 0},
    {"each kind of line",
     {},
     doc("<attr name=\"p\" type=\"int32\">5</attr><attr name=\"bad\" type=\"int32\">x</attr>"
         "<attr name=\"n\" type=\"int32\" persist=\"true\">7</attr>"
         "<attr name=\"new\" type=\"string\">a&#9;b</attr><attr name=\"t\" type=\"nope\"/>"),
     "~\t/A/p\told (string, persistent)\t5 (int32, persistent)\n"
     "!\t/A/bad\tinvalid value for type 'int32'\n"
     "~\t/A/n\t7 (int32)\t7 (int32, persistent)\n"
     "+\t/A/new\ta\\tb (string)\n"
     "!\t/A/t\tinvalid type 'nope'\n",
     1,
     "Warning: invalid value 'x' for type 'int32' in attr '/A/bad' is being ignored\n"
     "Warning: invalid type 'nope' in attr is being ignored\n"},
    // -c loads only persistent points; -r creates nothing.
    {"persistent only", {"-c"}, doc("<attr name=\"new\" type=\"string\">v</attr>"), "", 0},
    {"only existing", {"-r"}, doc("<attr name=\"new\" type=\"string\">v</attr>"), "", 0},
    {"exact", {"-e"}, same, "-\t/A/Pw/x\tkept (string)\n", 1},
    {"exact without the excluded", {"-e", "-x", "/A/Pw"}, same, "", 0},
    // The walk meets these out of document order, and must still find each.
    {"exact, document in another order",
     {"-e"},
     doc("<node name=\"Pw\"><attr name=\"x\" type=\"string\">kept</attr></node>"
         "<attr name=\"n\" type=\"int32\">7</attr>"
         "<attr name=\"p\" type=\"string\" persist=\"true\">old</attr>"),
     "",
     0},
    {"exact persistent only",
     {"-c", "-e"},
     doc("<attr name=\"p\" type=\"string\" persist=\"true\">old</attr>"),
     "",
     0},
    {"identity never reported",
     {"-e", "-x", "/A/Pw"},
     doc("<node name=\"SerialNumber\"><attr name=\"Value\" type=\"string\">S2</attr></node>"
         "<attr name=\"p\" type=\"string\" persist=\"true\">old</attr><attr name=\"n\" "
         "type=\"int32\">7</attr>"),
     "",
     0},
    {"sensitive value hidden",
     {},
     mail,
     "~\t/Software/Data Servers/Email/SMTP Password/Value\t<hidden> (string, persistent)\t"
     "<hidden, changed> (string, persistent)\n",
     1},
    {"sensitive left behind only with -s",
     {"-e"},
     "<dump><node root=\"/Software/Data Servers/Email\"></node></dump>",
     "",
     0},
    {"sensitive left behind with -s",
     {"-e", "-s"},
     "<dump><node root=\"/Software/Data Servers/Email\"></node></dump>",
     "-\t/Software/Data Servers/Email/SMTP Password/Value\t<hidden> (string, persistent)\n",
     1},
    // A cut document lists nothing as left behind.
    {"refused document",
     {"-e"},
     doc("<attr name=\"p\" type=\"string\">v</attr>").substr(0, 40),
     "",
     2,
     "XML_ParseBuffer() failed\nError: unclosed token at line 1, column 22\n"},
    {"usage: an empty exclude", {"-e", "-x", ""}, same, "", 2, usage},
    {"usage", {"-r", "-x", "/A"}, same, "", 2, usage},
};

TEST(Cdsdiff, AgainstTheStore)
{
    TempStore temp;
    ASSERT_EQ(run_program({{CDSCTL, "import"}}, store_lines).status, 0);
    const std::string file = temp.dir + "/doc.xml";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(file, c.document);
        Program diff{{CDSDIFF}};
        diff.args.insert(diff.args.end(), c.args.begin(), c.args.end());
        diff.args.push_back(file);
        ProgramRun run = run_program(diff);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(Cdsdiff, TwoDocuments)
{
    TempStore temp;
    const std::string old_file = temp.dir + "/old.xml", new_file = temp.dir + "/new.xml";
    write_file(
        old_file,
        doc("<attr name=\"p\" type=\"string\" persist=\"true\">old</attr>"
            "<attr name=\"gone\" type=\"string\">g</attr>"
            "<node name=\"SerialNumber\"><attr name=\"Value\" type=\"string\">S1</attr></node>"));
    write_file(new_file, doc("<attr name=\"p\" type=\"string\">new</attr>"));
    ProgramRun run = run_program({{CDSDIFF, old_file, new_file}});
    EXPECT_EQ(run.out, "~\t/A/p\told (string, persistent)\tnew (string, persistent)\n"
                       "-\t/A/gone\tg (string)\n");
    EXPECT_EQ(run.status, 1);
}

// The exact restore of cdsdiff(1): what the backup lacks under its root is
// removed in one call, even a name that cdsdiff escapes, and the rest kept.
TEST(Cdsdiff, ExactRestore)
{
    TempStore temp;
    ASSERT_EQ(run_program({{CDSCTL, "import"}}, store_lines + "/A/a\\b\tint32\t0\t1\n").status, 0);
    const std::string backup = temp.dir + "/backup.xml";
    write_file(backup, same);
    ProgramRun restore =
        run_program({{"/bin/sh", "-c",
                      "\"$0\" -e \"$3\" | grep '^-' | cut -f2 | \"$1\" rm - && \"$2\" -l \"$3\" &&"
                      " \"$0\" -e \"$3\"",
                      CDSDIFF, CDSCTL, CDSXML, backup}});
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(restore.out, "");
    std::string left = run_program({{CDSCTL, "export"}}).out;
    EXPECT_EQ(left.find("/A/Pw/x"), std::string::npos) << left;
    EXPECT_EQ(left.find("/A/a\\b"), std::string::npos) << left;
    for (const char* kept : {"/A/SerialNumber/Value\t", "/B/q\t", "SMTP Password/Value\t"})
        EXPECT_NE(left.find(kept), std::string::npos) << kept;
}

} // namespace
