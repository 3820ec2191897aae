// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary argument vectors run through the whole tool
// against a small in-memory CDS.
//
// Input: the arguments after the program name, each ended by a NUL (the
// last one may end with the input). The word after a -f names out.xml and
// the word after a -l names d.xml, both in a private scratch directory, so
// that no run reads or writes anything else.
#include "driver/run.h"
#include "fuzz/harness.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{

std::string scratch;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/fuzz_command_line.XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror(pattern);
        std::abort();
    }
    scratch = pattern;
    std::atexit([] { std::filesystem::remove_all(scratch); });
    std::ofstream(scratch + "/d.xml") << "<dump><node root=\"/\"><node name=\"Device\">\n"
                                         "<attr name=\"Name\" type=\"string\">a &amp; b</attr>\n"
                                         "<attr name=\"Up\" type=\"uint32\" persist=\"true\">7"
                                         "</attr>\n</node></node></dump>\n";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> words;
    for (std::string word; std::getline(in, word, '\0');) {
        const std::string* before = words.empty() ? nullptr : &words.back();
        if (before && (*before == "-f" || *before == "-l"))
            word = scratch + (*before == "-f" ? "/out.xml" : "/d.xml");
        words.push_back(word);
    }
    std::vector<char*> argv = {const_cast<char*>("cdsxml")};
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    plant_tree(false);
    int status = run_cdsxml(static_cast<int>(argv.size() - 1), argv.data());
    std::remove((scratch + "/out.xml").c_str());
    if (status != 0 && status != 1 && status != -1) {
        std::fprintf(stderr, "exit status %d\n", status);
        std::abort();
    }
    return 0;
}
