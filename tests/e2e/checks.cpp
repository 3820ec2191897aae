#include "e2e_store.h"

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
