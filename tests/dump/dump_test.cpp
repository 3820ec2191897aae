// SPDX-License-Identifier: MIT
// What a dump writes: the leaf filter's rules, and the walk of the nodes
// when the store fails or changes under it.
#include "driver/run_options.h"
#include "dump/filter.h"
#include "dump/walker.h"
#include "tests/double/cds_double.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace
{

struct FilterCase {
    const char* path;
    bool dumped;           // without -s
    bool dumped_sensitive; // with -s
};

// The end-to-end golden dumps hold the usual cases; these are the edges.
const FilterCase filter_cases[] = {
    // Identity: never dumped.
    {"/Software/System Settings/Network/Interface/eth0/MAC Address", true, true},
    {"/Software/System Settings/Network/Interfaces/eth0/MAC Address/Value", true, true},
    {"/A/iMAC/Value", false, false},
    {"/SerialNumber/Value", false, false},
    {"/SerialNumber", true, true},
    {"/A/serialNumber/Value", true, true},
    {"/Software/Data Servers/Collective Notification/SequenceID", false, false},
    {"/Software/Data Servers/Collective Notification/SequenceIDs/Value", false, false},
    // Sensitive: dumped only with -s, tested on the canonical path.
    {"/Software/Data Servers/Web-Server/User/Password/Value", false, true},
    {"/Software/Data Servers/Web-Server//Admin/./Password/Value", false, true},
    {"/Software/Data Servers/Web-Server/Admin/Password/Values", true, true},
    {"/Software/Data Servers/Web-Server/Guest/Password/Value", true, true},
    {"/Software/Data Servers/Net-SNMP/Read Only Users/bob/Passphrase/Value", false, true},
    {"/Software/Data Servers/Net-SNMP/Read Write Users/bob/Passphrase/Value", false, true},
    {"/Software/Data Servers/Net-SNMP/Read Only Users/bob/Passphrase/Name", true, true},
    {"/Software/Data Servers/Net-SNMP/Users/bob/Passphrase/Value", true, true},
    {"/Software/Data Servers/Email/SMTP Password/Value", false, true},
    {"/Software/Data Servers/Email/X/../SMTP Password/Value", false, true},
    {"/software/Data Servers/Email/SMTP Password/Value", true, true},
    {"/Software/Data Servers/OpenVPN/Connections/c1/HTTP Proxy Password/Value", false, true},
    {"/Software/Data Servers/OpenVPN/ConnectionsBackup/x/HTTP Proxy Password/Value", false, true},
    {"/Software/Data Servers/OpenVPN/Connections/c1/HTTP Proxy User/Value", true, true},
    {"/Software/Data Servers/OpenVPN/Connection/c1/HTTP Proxy Password/Value", true, true},
    {"/A/Value", true, true},
    // No canonical form to test the rules on.
    {"/../Value", false, true},
};

TEST(Filter, RulesWithAndWithoutSensitive)
{
    cds_double::reset();
    for (bool sensitive : {false, true}) {
        run_options.include_sensitive = sensitive;
        for (const FilterCase& c : filter_cases)
            EXPECT_EQ(is_leaf_dumpable(c.path), sensitive ? c.dumped_sensitive : c.dumped)
                << c.path << " sensitive " << sensitive;
    }
    run_options.include_sensitive = false;
}

using cds_double::add_leaf;

struct Dump {
    int result;
    std::string text;
};

// What a walk from path writes, and what it returns.
Dump dump(const std::string& path)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    int result = dump_node(out, path, path, 1, 0, false);
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return {result, text};
}

struct FaultCase {
    const char* name;
    std::set<std::string> cds_double::Faults::*fault;
    const char* path;
    int result;
    const char* text;
    const char* error;
};

const char* const up_to_b = "\t<node root=\"/F\">\n"
                            "\t\t<attr name=\"a\" type=\"string\">1</attr>\n"
                            "\t\t<node name=\"B\">\n"
                            "\t\t\t<attr name=\"b\" type=\"string\">2</attr>\n"
                            "\t\t</node>\n";

const FaultCase fault_cases[] = {
    // Used to end the run with 0 and the later siblings silently missing.
    {"nested list_node fails", &cds_double::Faults::list_node, "/F/C", -1, "\t</node>\n",
     "Error: list_node() returned error on '/F/C'\n"},
    {"nested get_leaves fails", &cds_double::Faults::get_leaves, "/F/C/c", -1, "\t</node>\n",
     "Error: get_leaf('/F/C') failed: -1\n"},
    {"deeper list_node fails", &cds_double::Faults::list_node, "/F/C/E", -1,
     "\t\t<node name=\"C\">\n\t\t\t<attr name=\"c\" type=\"string\">3</attr>\n"
     "\t\t</node>\n\t</node>\n",
     "Error: list_node() returned error on '/F/C/E'\n"},
    // Used to drop every later sibling of a node deleted during the dump.
    {"nested node vanished", &cds_double::Faults::absent, "/F/C", 0,
     "\t\t<node name=\"D\">\n\t\t\t<attr name=\"d\" type=\"string\">5</attr>\n"
     "\t\t</node>\n\t</node>\n",
     ""},
    // Used to be written with type "invalid" and an empty value.
    {"data point gone after the listing", &cds_double::Faults::gone, "/F/D/d", 0,
     "\t\t<node name=\"C\">\n\t\t\t<attr name=\"c\" type=\"string\">3</attr>\n"
     "\t\t\t<node name=\"E\">\n\t\t\t\t<attr name=\"e\" type=\"string\">4</attr>\n"
     "\t\t\t</node>\n\t\t</node>\n\t</node>\n",
     ""},
};

TEST(Walker, FailingAndVanishedNestedNodes)
{
    for (const FaultCase& c : fault_cases) {
        cds_double::reset();
        add_leaf("/F/a", DATA_TYPE_STRING, "1");
        add_leaf("/F/B/b", DATA_TYPE_STRING, "2");
        add_leaf("/F/C/c", DATA_TYPE_STRING, "3");
        add_leaf("/F/C/E/e", DATA_TYPE_STRING, "4");
        add_leaf("/F/D/d", DATA_TYPE_STRING, "5");
        (cds_double::faults.*c.fault).insert(c.path);
        testing::internal::CaptureStderr();
        Dump d = dump("/F");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.error) << c.name;
        EXPECT_EQ(d.result, c.result) << c.name;
        EXPECT_EQ(d.text, std::string(up_to_b) + c.text) << c.name;
    }
}

} // namespace
