#include "tests/double/run_tool.h"

#include "driver/run.h"

#include <cstdio>
#include <gtest/gtest.h>

ToolResult run_tool(const std::vector<std::string>& args)
{
    std::vector<std::string> words = {"cdsxml"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = run_cdsxml(static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    return {status, out, err};
}
