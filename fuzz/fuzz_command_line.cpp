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
#include "tests/double/cds_double.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct Sample {
    const char* name;
    const char* text;
};

const Sample samples[] = {
    {"d.xml", "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
              "<dump>\n"
              "\t<node root=\"/\">\n"
              "\t\t<node name=\"Device\">\n"
              "\t\t\t<attr name=\"Name\" type=\"string\">box &amp; &lt;co&gt;</attr>\n"
              "\t\t\t<attr name=\"Uptime\" type=\"uint32\" persist=\"true\">7</attr>\n"
              "\t\t\t<attr name=\"New\" type=\"int64\" persist=\"false\">-9</attr>\n"
              "\t\t\t<attr name=\"Bad\" type=\"nosuch\">1</attr>\n"
              "\t\t</node>\n"
              "\t</node>\n"
              "\t<node root=\"/\">\n"
              "\t\t<attr name=\"Device\" type=\"string\">a node already</attr>\n"
              "\t</node>\n"
              "\t<node root=\"/Network/LAN\">\n"
              "\t\t<attr name=\"IP\" type=\"ipv4\" persist=\"true\">10.0.0.1</attr>\n"
              "\t\t<attr name=\"Password\" type=\"string\">secret</attr>\n"
              "\t</node>\n"
              "</dump>\n"},
    {"t.xml", "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
              "<dump>\n"
              "\t<node root=\"/\">\n"
              "\t\t<attr name=\"Loose\" type=\"string\">x</attr>\n"
              "\t\t<node name=\"Device\">\n"
              "\t\t\t<attr name=\"Name\" type=\"str"},
};

char program_name[] = "cdsxml";
std::string scratch_path;
int home_fd = -1;

void plant_tree()
{
    cds_double::reset();
    cds_double::add_leaf("/Device/Name", DATA_TYPE_STRING, "gateway");
    cds_double::add_leaf("/Device/Uptime", DATA_TYPE_UINT32, "42", ELEMENT_PROPERTY_PERSISTENT);
    cds_double::add_leaf("/Device/SerialNumber", DATA_TYPE_STRING, "SN1");
    cds_double::add_leaf("/Device/Odd", DATA_TYPE_INT32, "-1", element_property_t(7));
    cds_double::add_leaf("/Network/LAN/IP", DATA_TYPE_IPV4, "192.168.1.1",
                         ELEMENT_PROPERTY_PERSISTENT);
    cds_double::add_leaf("/Network/LAN/MAC Address", DATA_TYPE_MAC, "00:11:22:33:44:55");
    cds_double::add_leaf("/Network/WiFi/Passphrase", DATA_TYPE_STRING, "a<b>&\"c'");
    cds_double::add_leaf("/Network/WiFi/Deep/Deeper/Level", DATA_TYPE_DOUBLE, "0.5");
    cds_double::add_leaf("/Blob", DATA_TYPE_BINARY, "00ff");
    cds_double::add_leaf("/ a&b <c> /\"q\"", DATA_TYPE_STRING, " \t\r\n ");
    cds_double::add_node("/Empty");
    // Paths the leaf filter keeps out of a dump, with or without -s.
    const char* const filtered[] = {
        "/Software/System Settings/Network/Interface/eth0/MAC Address/Value",
        "/Hardware/SerialNumber/Value",
        "/Hardware/iMAC/Value",
        "/Hardware/iDeviceGuid/Value",
        "/Software/Data Servers/Collective Notification/SequenceIDs",
        "/Software/Data Servers/Web-Server/Admin/Password/Value",
        "/Software/Data Servers/Net-SNMP/Read Write Users/u1/Passphrase/Value",
        "/Software/Data Servers/Email/SMTP Password/Value",
        "/Software/Data Servers/OpenVPN/Connections/c1/HTTP Proxy Password/Value",
    };
    for (const char* path : filtered)
        cds_double::add_leaf(path, DATA_TYPE_STRING, "hidden");
}

std::vector<std::string> split_words(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words;
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t start = 0;
    while (start < size) {
        const void* nul = std::memchr(text + start, '\0', size - start);
        std::size_t end =
            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : size;
        words.emplace_back(text + start, end - start);
        start = end + 1;
    }
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

void fail(const char* what)
{
    std::perror(what);
    std::abort();
}

void write_samples()
{
    for (const Sample& sample : samples) {
        FILE* file = std::fopen(sample.name, "w");
        if (!file)
            fail(sample.name);
        std::fputs(sample.text, file);
        std::fclose(file);
    }
}

void remove_files()
{
    DIR* dir = opendir(".");
    if (!dir)
        fail("opendir");
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            unlink(entry->d_name);
    }
    closedir(dir);
}

void remove_scratch_directory()
{
    if (chdir(scratch_path.c_str()) == 0)
        remove_files();
    if (fchdir(home_fd) != 0 || rmdir(scratch_path.c_str()) != 0)
        std::perror(scratch_path.c_str());
}

// Entered only for the length of a run: libFuzzer resolves the paths on its
// command line after initialization, against the directory it started in.
void enter_scratch_directory()
{
    if (chdir(scratch_path.c_str()) != 0)
        fail(scratch_path.c_str());
    write_samples();
}

void leave_scratch_directory()
{
    remove_files();
    if (fchdir(home_fd) != 0)
        fail("fchdir");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    harness_init();
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_command_line.XXXXXX";
    if (!mkdtemp(pattern.data()))
        fail(pattern.c_str());
    scratch_path = pattern;
    home_fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (home_fd < 0)
        fail("open .");
    std::atexit(remove_scratch_directory);
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
    plant_tree();

    enter_scratch_directory();
    silence_start();
    run_cdsxml(static_cast<int>(argv.size() - 1), argv.data());
    silence_end();
    leave_scratch_directory();
    return 0;
}
