#include "fuzz/harness.h"

#include "tests/double/cds_double.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

// The load pauses 1000 microseconds per data point, which would hold a
// fuzzer to a few hundred runs a second. This definition, being the
// executable's own, takes precedence over the C library's.
extern "C" int usleep(useconds_t)
{
    return 0;
}

namespace
{

int null_fd = -1;
int real_stdout = -1;
int real_stderr = -1;

int checked(int fd, const char* what)
{
    if (fd < 0) {
        std::perror(what);
        std::abort();
    }
    return fd;
}

} // namespace

void harness_init()
{
    null_fd = checked(open("/dev/null", O_WRONLY | O_CLOEXEC), "/dev/null");
    real_stdout = checked(fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3), "stdout");
    real_stderr = checked(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3), "stderr");
    // A crash happens while standard error is silenced: its report must
    // still be seen.
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(real_stderr)));
}

void plant_tree(bool store_faults)
{
    cds_double::reset();
    if (store_faults) {
        cds_double::fail_set_leaves(2);
        cds_double::fail_get_leaves("/Network");
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
    for (const char* path : {
             "/Software/System Settings/Network/Interface/eth0/MAC Address/Value",
             "/Hardware/SerialNumber/Value",
             "/Hardware/iMAC/Value",
             "/Hardware/iDeviceGuid/Value",
             "/Software/Data Servers/Collective Notification/SequenceIDs",
             "/Software/Data Servers/Web-Server/Admin/Password/Value",
             "/Software/Data Servers/Net-SNMP/Read Write Users/u1/Passphrase/Value",
             "/Software/Data Servers/Email/SMTP Password/Value",
             "/Software/Data Servers/OpenVPN/Connections/c1/HTTP Proxy Password/Value",
         })
        cds_double::add_leaf(path, DATA_TYPE_STRING, "hidden");
}

// Silenced per run rather than once for the process, so that libFuzzer's
// own progress lines, written between runs, stay visible.
void silence_start()
{
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
}

void silence_end()
{
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(real_stdout, STDOUT_FILENO);
    dup2(real_stderr, STDERR_FILENO);
}
