#include "dump/filter.h"

#include "cds/cds.h"
#include "driver/run_options.h"

#include <cstring>

namespace
{

bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool ends_with(const std::string& text, const char* suffix)
{
    std::size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// The component just before the last one; empty for a data point directly
// under the root and for a path with an empty component there.
std::string parent_name(const std::string& path)
{
    std::size_t last = path.rfind('/');
    if (last == std::string::npos || last == 0)
        return "";
    std::size_t prev = path.rfind('/', last - 1);
    if (prev == std::string::npos || last - prev <= 1)
        return "";
    return path.substr(prev + 1, last - prev - 1);
}

// Identity rules: data points that identify this very device, never dumped.

bool is_interface_mac_address(const std::string& path, const std::string& parent)
{
    return starts_with(path, "/Software/System Settings/Network/Interface/") &&
           parent == "MAC Address";
}

bool is_device_identity(const std::string& parent)
{
    return parent == "iMAC" || parent == "SerialNumber" || parent == "iDeviceGuid";
}

// No closing "/": siblings such as SequenceIDs are meant to be caught too.
bool is_notification_sequence(const std::string& path)
{
    return starts_with(path, "/Software/Data Servers/Collective Notification/SequenceID");
}

// Sensitive rules: passwords and pass phrases, dumped only with -s. They test
// the canonical path so that a spelling such as "//" cannot slip past them.

bool is_web_password(const std::string& c)
{
    return c == "/Software/Data Servers/Web-Server/User/Password/Value" ||
           c == "/Software/Data Servers/Web-Server/Admin/Password/Value";
}

bool is_snmp_passphrase(const std::string& c)
{
    return (starts_with(c, "/Software/Data Servers/Net-SNMP/Read Only Users/") ||
            starts_with(c, "/Software/Data Servers/Net-SNMP/Read Write Users/")) &&
           ends_with(c, "/Passphrase/Value");
}

bool is_mail_password(const std::string& c)
{
    return c == "/Software/Data Servers/Email/SMTP Password/Value";
}

bool is_vpn_proxy_password(const std::string& c)
{
    return starts_with(c, "/Software/Data Servers/OpenVPN/Connections") &&
           c.find("/HTTP Proxy Password") != std::string::npos;
}

bool is_identity(const std::string& path)
{
    std::string parent = parent_name(path);
    return is_interface_mac_address(path, parent) || is_device_identity(parent) ||
           is_notification_sequence(path);
}

bool is_sensitive(const std::string& c)
{
    return is_web_password(c) || is_snmp_passphrase(c) || is_mail_password(c) ||
           is_vpn_proxy_password(c);
}

// False when the path has no canonical form.
bool canonical_copy(const std::string& path, std::string& canonical)
{
    canonical = path;
    if (pcd_canonicalize_path(canonical.data(), path.size()) == 0)
        return false;
    canonical.resize(std::strlen(canonical.c_str()));
    return true;
}

} // namespace

bool is_leaf_dumpable(const std::string& path)
{
    if (is_identity(path))
        return false;
    if (run_options.include_sensitive)
        return true;
    std::string canonical;
    return canonical_copy(path, canonical) && !is_sensitive(canonical);
}
