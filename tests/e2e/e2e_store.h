// The built programs run in a test's temporary directory (TempStore), each
// against a store file named inside that directory.
#pragma once

#include "run_program.h"
#include "temp_store.h"

#include <string>
#include <vector>

inline std::string in_dir(const TempStore& temp, const std::string& name)
{
    return temp.dir + "/" + name;
}

inline ProgramRun cdsxml(const TempStore& temp, const std::string& store,
                         const std::vector<std::string>& args)
{
    return run_program(CDSXML, args, temp.dir, in_dir(temp, store));
}

inline ProgramRun cdsctl(const TempStore& temp, const std::string& store,
                         const std::vector<std::string>& args, const std::string& input = "")
{
    return run_program(CDSCTL, args, temp.dir, in_dir(temp, store), input);
}
