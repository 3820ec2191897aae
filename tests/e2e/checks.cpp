#include "checks.h"
#include "program.h"

#include <sstream>
#include <sys/stat.h>

bool file_exists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::string schema_errors(const std::vector<std::string>& documents, const std::string& dir)
{
    Program xmllint{{XMLLINT, "--noout", "--relaxng", DUMP_RNG}, dir, dir + "/.unused-store"};
    xmllint.args.insert(xmllint.args.end(), documents.begin(), documents.end());
    ProgramRun run = run_program(xmllint);
    return run.status == 0 ? "" : "xmllint exit " + std::to_string(run.status) + ": " + run.err;
}

std::string first_difference(const std::string& expected, const std::string& actual)
{
    std::istringstream want(expected);
    std::istringstream got(actual);
    std::string want_line;
    std::string got_line;
    for (int line = 1;; ++line) {
        bool more_wanted = static_cast<bool>(std::getline(want, want_line));
        bool more_got = static_cast<bool>(std::getline(got, got_line));
        if (!more_wanted && !more_got)
            return expected == actual ? "" : "texts differ only in their last newline";
        if (more_wanted != more_got || want_line != got_line)
            return "line " + std::to_string(line) + ": expected \"" +
                   (more_wanted ? want_line : "<end>") + "\", got \"" +
                   (more_got ? got_line : "<end>") + "\"";
    }
}
