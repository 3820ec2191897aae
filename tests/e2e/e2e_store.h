// The built programs run in a test's temporary directory (TempStore), each
// against a store file named inside that directory.
#pragma once

#include "files.h"
#include "program.h"
#include "temp_store.h"

#include <string>
#include <vector>

bool file_exists(const std::string& path);

// Empty when every document validates against the dump schema, otherwise
// xmllint's complaint.
std::string schema_errors(const std::vector<std::string>& documents, const std::string& dir);

inline std::string in_dir(const TempStore& temp, const std::string& name)
{
    return temp.dir + "/" + name;
}

inline Program in_temp(const TempStore& temp, const std::string& store, const char* program,
                       const std::vector<std::string>& args)
{
    Program run{{program}, temp.dir, in_dir(temp, store)};
    run.args.insert(run.args.end(), args.begin(), args.end());
    return run;
}

inline ProgramRun cdsxml(const TempStore& temp, const std::string& store,
                         const std::vector<std::string>& args)
{
    return run_program(in_temp(temp, store, CDSXML, args));
}

inline ProgramRun cdsctl(const TempStore& temp, const std::string& store,
                         const std::vector<std::string>& args, const std::string& input = "")
{
    return run_program(in_temp(temp, store, CDSCTL, args), input);
}
