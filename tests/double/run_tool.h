#pragma once

#include <string>
#include <vector>

struct ToolResult {
    int status;
    std::string out;
    std::string err;
};

// Runs cdsxml in-process, against the in-memory double, with args after the
// program name "cdsxml"; captures standard output and standard error.
ToolResult run_tool(const std::vector<std::string>& args);
