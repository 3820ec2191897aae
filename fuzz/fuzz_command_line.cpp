// libFuzzer target: arbitrary argument vectors run through the whole tool
// against a small in-memory CDS.
//
// Input: the arguments after the program name, each ended by a NUL (the
// last one may end with the input). Each run takes place in a private
// scratch directory holding "d.xml", a document to load; what a run writes
// there is removed after it. An input whose -f or -l argument holds a '/'
// is rejected, so that no run reads or writes outside that directory.
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

namespace fs = std::filesystem;

namespace
{

fs::path scratch_path;
fs::path home_path;

// Every word after "-f" or "-l" is checked, whether the parser will take
// it as that option's argument or not.
bool leaves_scratch_directory(const std::vector<std::string>& words)
{
    for (std::size_t i = 0; i + 1 < words.size(); ++i)
        if ((words[i] == "-f" || words[i] == "-l") && words[i + 1].find('/') != std::string::npos)
            return true;
    return false;
}

// Entered only for the length of a run: libFuzzer resolves the paths on its
// command line after initialization, against the directory it started in.
int run_in_scratch_directory(std::vector<char*>& argv)
{
    fs::current_path(scratch_path);
    std::ofstream("d.xml") << "<dump><node root=\"/\"><node name=\"Device\">\n"
                              "<attr name=\"Name\" type=\"string\">box &amp; co</attr>\n"
                              "<attr name=\"Up\" type=\"uint32\" persist=\"true\">7</attr>\n"
                              "</node></node></dump>\n";
    int status = run_cdsxml(static_cast<int>(argv.size() - 1), argv.data());
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        fs::remove_all(entry.path());
    fs::current_path(home_path);
    return status;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "fuzz_command_line.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror(pattern.c_str());
        std::abort();
    }
    scratch_path = pattern;
    home_path = fs::current_path();
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(scratch_path, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> words;
    for (std::string word; std::getline(in, word, '\0');)
        words.push_back(word);
    if (leaves_scratch_directory(words))
        return -1;
    std::vector<char*> argv = {const_cast<char*>("cdsxml")};
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    plant_tree(false);
    int status = run_in_scratch_directory(argv);
    if (status != 0 && status != 1 && status != -1) {
        std::fprintf(stderr, "exit status %d\n", status);
        std::abort();
    }
    return 0;
}
