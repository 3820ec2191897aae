// SPDX-License-Identifier: MIT
#include "tests/double/cds_double.h"

#include "common/path.h"
#include "libcds/path.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <map>
#include <new>
#include <set>

using cds_double::faults;

namespace
{

struct Entry {
    bool is_node = true;
    element_property_t property = ELEMENT_PROPERTY_ORDINARY;
    toolkit::CElement value;
    std::vector<std::string> children; // names, in order of creation
};

std::map<std::string, Entry> tree;
std::vector<cds_double::Call> call_log;
int open_connections = 0;
pcd_connection* const the_handle = reinterpret_cast<pcd_connection*>(&open_connections);

std::string canonical(const std::string& path)
{
    std::string copy = path;
    return canonicalize_cds_path(copy) ? copy : std::string();
}

std::string parent_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

// Creates the nodes down to path; false when a data point is in the way.
bool make_nodes(const std::string& path)
{
    auto found = tree.find(path);
    if (found != tree.end())
        return found->second.is_node;
    if (!make_nodes(parent_of(path)))
        return false;
    tree[parent_of(path)].children.push_back(name_of(path));
    tree[path] = Entry();
    return true;
}

bool set_one(const std::string& raw_path, const toolkit::CElement& element, pcd_tribool_t persist)
{
    std::string path = canonical(raw_path);
    if (path.empty() || path == "/" || faults.refused.count(raw_path) ||
        element.type() == DATA_TYPE_NONE || !make_nodes(parent_of(path)))
        return false;
    auto found = tree.find(path);
    if (found == tree.end()) {
        tree[parent_of(path)].children.push_back(name_of(path));
        found = tree.emplace(path, Entry()).first;
        found->second.is_node = false;
    } else if (found->second.is_node) {
        return false;
    }
    found->second.value = element;
    if (persist != PCD_UNSPECIFIED)
        found->second.property = static_cast<element_property_t>(persist);
    return true;
}

} // namespace

namespace cds_double
{

Faults faults;

void reset()
{
    tree.clear();
    tree["/"] = Entry();
    faults = Faults();
    call_log.clear();
    open_connections = 0;
}

void add_node(const std::string& path)
{
    make_nodes(path);
}

void add_leaf(const std::string& path, data_type_t type, const std::string& text,
              element_property_t property)
{
    toolkit::CElement value(DATA_TYPE_STRING, toolkit::CElement::_invalid_time, text);
    if (type != DATA_TYPE_STRING && value.convert_type(type) != 0)
        value = toolkit::CElement(type, toolkit::CElement::_invalid_time, "");
    set_one(path, value, PCD_FALSE);
    tree[path].property = property;
}

bool has_leaf(const std::string& path)
{
    auto found = tree.find(path);
    return found != tree.end() && !found->second.is_node;
}

toolkit::CElement leaf_value(const std::string& path)
{
    return has_leaf(path) ? tree[path].value : toolkit::CElement();
}

const std::vector<Call>& calls()
{
    return call_log;
}

int count_calls(const std::string& operation)
{
    return static_cast<int>(std::count_if(call_log.begin(), call_log.end(),
                                          [&](const Call& c) { return c.operation == operation; }));
}

bool connection_open()
{
    return open_connections > 0;
}

} // namespace cds_double

pcd_handle_t pcd_init()
{
    if (faults.init)
        return nullptr;
    ++open_connections;
    return the_handle;
}

void pcd_close(pcd_handle_t handle)
{
    if (handle == the_handle && open_connections > 0)
        --open_connections;
}

int pcd_is_store_file(pcd_handle_t, const char*)
{
    return 0;
}

std::size_t pcd_canonicalize_path(char* buffer, std::size_t length)
{
    std::string path(buffer, strnlen(buffer, length));
    if (!canonicalize_cds_path(path))
        return 0;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return path.size();
}

namespace toolkit
{

CCds::~CCds()
{
    if (handle)
        pcd_close(handle);
}

int CCds::list_node(const std::string& path, api_status_t& status,
                    std::vector<ChildEntry>& children)
{
    call_log.push_back({"list_node", {path}, {}, {}});
    children.clear();
    status = API_STATUS_ABSENT;
    if (faults.list_node.count(path))
        return -1;
    if (path == faults.signal_at)
        raise(faults.signal_number);
    if (path == faults.out_of_memory_at)
        throw std::bad_alloc();
    auto found = tree.find(canonical(path));
    if (faults.absent.count(path) || found == tree.end() || !found->second.is_node)
        return 0;
    status = API_STATUS_EXISTS;
    for (const std::string& name : found->second.children) {
        const Entry& child = tree.at(child_path(found->first, name));
        children.push_back(
            {name, child.is_node ? ELEMENT_TYPE_NODE : ELEMENT_TYPE_LEAF, child.property});
    }
    return 0;
}

int CCds::get_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     std::vector<CElement>& elements, std::vector<element_property_t>& properties)
{
    call_log.push_back({"get_leaves", paths, {}, {}});
    statuses.clear();
    elements.clear();
    properties.clear();
    for (const std::string& path : paths)
        if (faults.get_leaves.count(path))
            return -1;
    for (const std::string& path : paths) {
        std::string key = canonical(path);
        bool exists = cds_double::has_leaf(key) && !faults.gone.count(path);
        statuses.push_back(exists ? API_STATUS_EXISTS : API_STATUS_ABSENT);
        elements.push_back(exists ? tree[key].value : CElement());
        properties.push_back(exists ? tree[key].property : ELEMENT_PROPERTY_ORDINARY);
    }
    return 0;
}

int CCds::set_leaves(const std::vector<std::string>& paths, const std::vector<CElement>& elements,
                     const std::vector<pcd_tribool_t>& persist, std::vector<api_status_t>& statuses,
                     const std::string& source)
{
    call_log.push_back({"set_leaves", paths, persist, source});
    statuses.clear();
    int n = cds_double::count_calls("set_leaves");
    if (faults.set_leaves_call == 0 || faults.set_leaves_call == n)
        return -1;
    for (std::size_t i = 0; i < paths.size(); ++i)
        statuses.push_back(set_one(paths[i], elements[i], persist[i]) ? API_STATUS_EXISTS
                                                                      : API_STATUS_ABSENT);
    return 0;
}

} // namespace toolkit
