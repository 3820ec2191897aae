// SPDX-License-Identifier: MIT
#include "dump/filter.h"

#include "cds/cds.h"
#include "driver/run_options.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace
{

// Every data point of a dump passes these rules, so they look at the path in
// place rather than at copies of its parts.
using Text = std::string_view;

bool starts_with(Text text, Text prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(Text text, Text suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The component just before the last one; empty for a data point directly
// under the root and for a path with an empty component there.
Text parent_name(Text path)
{
    std::size_t last = path.rfind('/');
    if (last == Text::npos || last == 0)
        return Text();
    std::size_t prev = path.rfind('/', last - 1);
    if (prev == Text::npos || last - prev <= 1)
        return Text();
    return path.substr(prev + 1, last - prev - 1);
}

// Identity rules: data points that identify this very device, never dumped.

bool is_interface_mac_address(Text path, Text parent)
{
    return starts_with(path, "/Software/System Settings/Network/Interface/") &&
           parent == "MAC Address";
}

bool is_device_identity(Text parent)
{
    return parent == "iMAC" || parent == "SerialNumber" || parent == "iDeviceGuid";
}

// No closing "/": siblings such as SequenceIDs are meant to be caught too.
bool is_notification_sequence(Text path)
{
    return starts_with(path, "/Software/Data Servers/Collective Notification/SequenceID");
}

// Sensitive rules: passwords and pass phrases, dumped only with -s. They test
// the canonical path so that a spelling such as "//" cannot slip past them.

bool is_web_password(Text c)
{
    return c == "/Software/Data Servers/Web-Server/User/Password/Value" ||
           c == "/Software/Data Servers/Web-Server/Admin/Password/Value";
}

bool is_snmp_passphrase(Text c)
{
    return (starts_with(c, "/Software/Data Servers/Net-SNMP/Read Only Users/") ||
            starts_with(c, "/Software/Data Servers/Net-SNMP/Read Write Users/")) &&
           ends_with(c, "/Passphrase/Value");
}

bool is_mail_password(Text c)
{
    return c == "/Software/Data Servers/Email/SMTP Password/Value";
}

bool is_vpn_proxy_password(Text c)
{
    return starts_with(c, "/Software/Data Servers/OpenVPN/Connections") &&
           c.find("/HTTP Proxy Password") != Text::npos;
}

bool is_identity(Text path)
{
    Text parent = parent_name(path);
    return is_interface_mac_address(path, parent) || is_device_identity(parent) ||
           is_notification_sequence(path);
}

// Each sensitive rule lies under the data servers, so most paths need only
// that one test.
bool is_sensitive(Text c)
{
    return starts_with(c, "/Software/Data Servers/") &&
           (is_web_password(c) || is_snmp_passphrase(c) || is_mail_password(c) ||
            is_vpn_proxy_password(c));
}

// A path without a canonical form counts as sensitive. Every data point of a
// dump comes here, so a path of usual length is canonicalized on the stack.
bool is_sensitive_or_uncanonical(const std::string& path)
{
    char small[512];
    std::vector<char> large;
    char* buffer = small;
    if (path.size() >= sizeof small) {
        large.resize(path.size() + 1);
        buffer = large.data();
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    if (pcd_canonicalize_path(buffer, path.size()) == 0)
        return true;
    return is_sensitive(Text(buffer, std::strlen(buffer)));
}

} // namespace

bool is_leaf_dumpable(const std::string& path)
{
    if (is_identity(path))
        return false;
    return run_options.include_sensitive || !is_sensitive_or_uncanonical(path);
}

// The walker builds each path from a canonical node path and names the
// store lists, so it is canonical already: the sensitive rules test it as
// it stands, without a copy.
bool is_walked_leaf_dumpable(std::string_view path)
{
    if (is_identity(path))
        return false;
    return run_options.include_sensitive || !is_sensitive(path);
}

bool is_identity_leaf(const std::string& path)
{
    return is_identity(path);
}

bool is_sensitive_leaf(const std::string& path)
{
    return is_sensitive_or_uncanonical(path);
}
