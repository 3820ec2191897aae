// libFuzzer target: arbitrary argument vectors run through the whole tool
// against a small in-memory CDS.
//
// Input: the arguments after the program name, each ended by a NUL (the
// last one may end with the input). Each run takes place in a private
// scratch directory holding two documents to load, "d.xml" (well formed)
// and "t.xml" (cut short); any file a run writes there is removed after it.
// An input whose -f or -l argument holds a '/' is rejected, so that no run
// reads or writes outside that directory.
#include "driver/run.h"
#include "fuzz/harness.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const std::pair<const char*, const char*> samples[] = {
    {"d.xml", "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
              "<dump><node root=\"/\"><node name=\"Device\">\n"
              "<attr name=\"Name\" type=\"string\">box &amp; &lt;co&gt;</attr>\n"
              "<attr name=\"Uptime\" type=\"uint32\" persist=\"true\">7</attr>\n"
              "<attr name=\"New\" type=\"int64\" persist=\"false\">-9</attr>\n"
              "</node></node></dump>\n"},
    {"t.xml", "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
              "<dump><node root=\"/\"><attr name=\"Name\" type=\"str"},
};

char program_name[] = "cdsxml";
fs::path scratch_path;
fs::path home_path;

std::vector<std::string> split_words(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> words;
    for (std::string word; std::getline(in, word, '\0');)
        words.push_back(word);
    return words;
}

// Every word after "-f" or "-l" is checked, whether the parser will take
// it as that option's argument or not.
bool leaves_scratch_directory(const std::vector<std::string>& words)
{
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        bool names_file = words[i] == "-f" || words[i] == "-l";
        if (names_file && words[i + 1].find('/') != std::string::npos)
            return true;
    }
    return false;
}

// Entered only for the length of a run: libFuzzer resolves the paths on its
// command line after initialization, against the directory it started in.
void enter_scratch_directory()
{
    fs::current_path(scratch_path);
    for (const auto& [name, text] : samples)
        std::ofstream(name) << text;
}

void leave_scratch_directory()
{
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        fs::remove_all(entry.path());
    fs::current_path(home_path);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    harness_init();
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
    std::vector<std::string> words = split_words(data, size);
    if (leaves_scratch_directory(words))
        return -1;
    std::vector<char*> argv = {program_name};
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    plant_tree(false);

    enter_scratch_directory();
    silence_start();
    int status = run_cdsxml(static_cast<int>(argv.size() - 1), argv.data());
    silence_end();
    leave_scratch_directory();
    if (status != 0 && status != 1 && status != -1) {
        std::fprintf(stderr, "exit status %d\n", status);
        std::abort();
    }
    return 0;
}
