#include "driver/run_options.h"
#include "dump/filter.h"
#include "tests/double/cds_double.h"

#include <gtest/gtest.h>

namespace
{

struct FilterCase {
    const char* path;
    bool dumped;           // without -s
    bool dumped_sensitive; // with -s
};

const FilterCase filter_cases[] = {
    // Identity: never dumped.
    {"/Software/System Settings/Network/Interface/eth0/MAC Address/Value", false, false},
    {"/Software/System Settings/Network/Interface/eth0/MAC Address", true, true},
    {"/Software/System Settings/Network/Interfaces/eth0/MAC Address/Value", true, true},
    {"/A/SerialNumber/Value", false, false},
    {"/A/iMAC/Value", false, false},
    {"/A/iDeviceGuid/Value", false, false},
    {"/SerialNumber/Value", false, false},
    {"/A/SerialNumber", true, true},
    {"/SerialNumber", true, true},
    {"/A/serialNumber/Value", true, true},
    {"/Software/Data Servers/Collective Notification/SequenceID", false, false},
    {"/Software/Data Servers/Collective Notification/SequenceID/Value", false, false},
    {"/Software/Data Servers/Collective Notification/SequenceIDs/Value", false, false},
    {"/Software/Data Servers/Collective Notification/Sequence/Value", true, true},
    // Sensitive: dumped only with -s, tested on the canonical path.
    {"/Software/Data Servers/Web-Server/User/Password/Value", false, true},
    {"/Software/Data Servers/Web-Server/Admin/Password/Value", false, true},
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
};

class FilterTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        cds_double::reset();
    }
    void TearDown() override
    {
        run_options.include_sensitive = false;
    }
};

TEST_F(FilterTest, RulesWithAndWithoutSensitive)
{
    for (bool sensitive : {false, true}) {
        run_options.include_sensitive = sensitive;
        for (const FilterCase& c : filter_cases)
            EXPECT_EQ(is_leaf_dumpable(c.path), sensitive ? c.dumped_sensitive : c.dumped)
                << c.path << " sensitive " << sensitive;
    }
}

TEST_F(FilterTest, PathWithoutCanonicalFormIsLeftOutUnlessSensitive)
{
    cds_double::faults.canonicalize.insert("/A/Value");
    EXPECT_FALSE(is_leaf_dumpable("/A/Value"));
    run_options.include_sensitive = true;
    EXPECT_TRUE(is_leaf_dumpable("/A/Value"));
}

} // namespace
