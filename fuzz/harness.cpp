// SPDX-License-Identifier: MIT
#include "fuzz/harness.h"

#include "tests/double/cds_double.h"

#include <unistd.h>

// The load pauses 1000 microseconds per data point, which would hold a
// fuzzer to a few hundred runs a second. This definition, being the
// executable's own, takes precedence over the C library's.
extern "C" int usleep(useconds_t)
{
    return 0;
}

void plant_tree(bool store_faults)
{
    cds_double::reset();
    if (store_faults) {
        cds_double::faults.set_leaves_call = 2;
        cds_double::faults.get_leaves.insert("/Network/LAN/IP");
    }
    cds_double::add_leaf("/Device/Name", DATA_TYPE_STRING, "gateway");
    cds_double::add_leaf("/Device/Uptime", DATA_TYPE_UINT32, "42", ELEMENT_PROPERTY_PERSISTENT);
    cds_double::add_leaf("/Device/Odd", DATA_TYPE_INT32, "-1", element_property_t(7));
    cds_double::add_leaf("/Network/LAN/IP", DATA_TYPE_IPV4, "192.168.1.1",
                         ELEMENT_PROPERTY_PERSISTENT);
    cds_double::add_leaf("/Network/LAN/MAC Address", DATA_TYPE_MAC, "00:11:22:33:44:55");
    cds_double::add_leaf("/Network/LAN/Enabled", DATA_TYPE_BOOL, "true");
    cds_double::add_leaf("/Network/WiFi/Deep/Deeper/Level", DATA_TYPE_DOUBLE, "0.5");
    cds_double::add_leaf("/Blob", DATA_TYPE_BINARY, "00ff");
    cds_double::add_leaf("/ a&b <c> /\"q\"", DATA_TYPE_STRING, "a<b>&\"c' \t\r\n ");
    cds_double::add_node("/Empty");
    // One of the identity rules and one of the sensitive ones.
    cds_double::add_leaf("/Hardware/SerialNumber/Value", DATA_TYPE_STRING, "hidden");
    cds_double::add_leaf("/Software/Data Servers/Web-Server/Admin/Password/Value", DATA_TYPE_STRING,
                         "hidden");
}
