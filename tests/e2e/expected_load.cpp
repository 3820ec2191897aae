#include "expected_load.h"

#include <map>
#include <sstream>
#include <vector>

namespace
{

struct ExportEntry {
    std::string path;
    std::string line; // without its LF
    bool is_node = false;
    int property = 0;
    std::vector<std::size_t> children; // indexes into the entry list
    bool kept = false;
};

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::string> path_segments(const std::string& path)
{
    std::vector<std::string> segments;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        segments.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

// Export paths are canonical, and a whole-store dump builds each data
// point's path from the root down exactly as the export writes it, so one
// string serves both the identity rules (path as built) and the sensitive
// rules (canonical path).
bool is_identity(const std::string& path)
{
    std::vector<std::string> segments = path_segments(path);
    std::string parent = segments.size() >= 2 ? segments[segments.size() - 2] : "";
    if (starts_with(path, "/Software/System Settings/Network/Interface/") &&
        parent == "MAC Address")
        return true;
    if (parent == "iMAC" || parent == "SerialNumber" || parent == "iDeviceGuid")
        return true;
    return starts_with(path, "/Software/Data Servers/Collective Notification/SequenceID");
}

bool is_sensitive(const std::string& path)
{
    const std::string servers = "/Software/Data Servers/";
    if (path == servers + "Web-Server/User/Password/Value" ||
        path == servers + "Web-Server/Admin/Password/Value" ||
        path == servers + "Email/SMTP Password/Value")
        return true;
    if ((starts_with(path, servers + "Net-SNMP/Read Only Users/") ||
         starts_with(path, servers + "Net-SNMP/Read Write Users/")) &&
        ends_with(path, "/Passphrase/Value"))
        return true;
    return starts_with(path, servers + "OpenVPN/Connections") &&
           path.find("/HTTP Proxy Password") != std::string::npos;
}

bool is_dumped(const ExportEntry& leaf, bool include_sensitive)
{
    if (leaf.property != 0 && leaf.property != 1)
        return false;
    if (is_identity(leaf.path))
        return false;
    return include_sensitive || !is_sensitive(leaf.path);
}

// Entry 0 is the root, which the export has no line for.
std::vector<ExportEntry> parse_export(const std::string& export_text)
{
    std::vector<ExportEntry> entries(1);
    entries[0].path = "/";
    entries[0].is_node = true;
    std::map<std::string, std::size_t> index_of = {{"/", 0}};
    std::istringstream lines(export_text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ExportEntry entry;
        std::string type;
        std::string property;
        std::getline(fields, entry.path, '\t');
        std::getline(fields, type, '\t');
        std::getline(fields, property, '\t');
        entry.line = line;
        entry.is_node = type == "node";
        entry.property = std::stoi(property);
        std::size_t slash = entry.path.rfind('/');
        std::string parent = slash == 0 ? "/" : entry.path.substr(0, slash);
        std::size_t index = entries.size();
        entries[index_of.at(parent)].children.push_back(index);
        index_of[entry.path] = index;
        entries.push_back(entry);
    }
    return entries;
}

// A node is kept when a dumped data point lies anywhere below it.
bool mark_kept(std::vector<ExportEntry>& entries, std::size_t index, bool include_sensitive)
{
    ExportEntry& entry = entries[index];
    if (!entry.is_node)
        return entry.kept = is_dumped(entry, include_sensitive);
    bool kept = false;
    for (std::size_t child : entry.children)
        kept |= mark_kept(entries, child, include_sensitive);
    return entries[index].kept = kept;
}

void write_loaded(const std::vector<ExportEntry>& entries, std::size_t index, std::string& out)
{
    for (std::size_t child : entries[index].children)
        if (entries[child].kept && !entries[child].is_node)
            out += entries[child].line + "\n";
    for (std::size_t child : entries[index].children) {
        if (entries[child].kept && entries[child].is_node) {
            out += entries[child].path + "\tnode\t0\t\n";
            write_loaded(entries, child, out);
        }
    }
}

} // namespace

std::string expected_export_after_load(const std::string& original_export, bool include_sensitive)
{
    std::vector<ExportEntry> entries = parse_export(original_export);
    mark_kept(entries, 0, include_sensitive);
    std::string out;
    write_loaded(entries, 0, out);
    return out;
}

std::string data_point_lines(const std::string& export_text)
{
    std::istringstream lines(export_text);
    std::string line;
    std::string out;
    while (std::getline(lines, line)) {
        std::size_t type = line.find('\t');
        if (line.compare(type + 1, 5, "node\t") != 0)
            out += line + "\n";
    }
    return out;
}
