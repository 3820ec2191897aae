#include "load/batch.h"

#include "driver/report.h"
#include "driver/run_options.h"
#include "load/xml_events.h"

#include <string>
#include <utility>
#include <vector>

namespace
{

// Bounds each CDS call, and the memory a large document takes.
const std::size_t batch_size = 128;

struct QueuedLeaf {
    std::string path;
    std::string type_name;
    std::string text;
    pcd_tribool_t persist;
};

struct CommitLists {
    std::vector<std::string> paths;
    std::vector<toolkit::CElement> elements;
    std::vector<pcd_tribool_t> persist;
};

std::vector<QueuedLeaf> queue;
int write_result = 0;

// Not canonicalized: the CDS gets the path exactly as the document spells it.
std::string open_leaf_path()
{
    std::string path = load_state.root_path;
    for (const std::string& name : load_state.node_names)
        path += "/" + name;
    return path + "/" + load_state.attr_name;
}

void queue_open_leaf()
{
    if (run_options.load_persistent_only && load_state.attr_persist != PCD_TRUE)
        return;
    queue.push_back(
        {open_leaf_path(), load_state.attr_type, load_state.text, load_state.attr_persist});
}

void add_to_commit(const QueuedLeaf& leaf, CommitLists& lists)
{
    data_type_t type = pcd_str_to_enum(leaf.type_name.c_str());
    if (type == DATA_TYPE_NONE) {
        report_warning("invalid type '%s' in attr is being ignored", leaf.type_name.c_str());
        return;
    }
    toolkit::CElement element(DATA_TYPE_STRING, toolkit::CElement::_invalid_time, leaf.text);
    if (element.convert_type(type) != 0) {
        report_warning("invalid value '%s' for type '%s' in attr '%s' is being ignored",
                       leaf.text.c_str(), leaf.type_name.c_str(), leaf.path.c_str());
        return;
    }
    lists.paths.push_back(leaf.path);
    lists.elements.push_back(element);
    lists.persist.push_back(leaf.persist);
}

// Under -r, drops the entries that do not exist yet.
void keep_existing(CommitLists& lists)
{
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> read;
    std::vector<element_property_t> properties;
    if (run_options.connection.get_leaves(lists.paths, statuses, read, properties) != 0) {
        report_error("get_leaves() returned error");
        write_result = -1;
        lists = CommitLists();
        return;
    }
    CommitLists kept;
    for (std::size_t i = 0; i < lists.paths.size(); ++i) {
        if (i >= statuses.size() || statuses[i] != API_STATUS_EXISTS)
            continue;
        kept.paths.push_back(std::move(lists.paths[i]));
        kept.elements.push_back(lists.elements[i]);
        kept.persist.push_back(lists.persist[i]);
    }
    lists = std::move(kept);
}

void write_leaves(const CommitLists& lists)
{
    std::vector<api_status_t> statuses;
    if (run_options.connection.set_leaves(lists.paths, lists.elements, lists.persist, statuses,
                                          run_options.source) != 0) {
        report("set_leaves() returned error");
        write_result = -1;
        return;
    }
    for (std::size_t i = 0; i < lists.paths.size(); ++i) {
        if (i < statuses.size() && statuses[i] == API_STATUS_EXISTS)
            continue;
        report_error("can't set '%s'", lists.paths[i].c_str());
        write_result = -1;
    }
}

void commit_queue()
{
    std::vector<QueuedLeaf> batch;
    batch.swap(queue);
    CommitLists lists;
    for (const QueuedLeaf& leaf : batch)
        add_to_commit(leaf, lists);
    if (!lists.paths.empty() && run_options.only_existing)
        keep_existing(lists);
    if (!lists.paths.empty())
        write_leaves(lists);
}

} // namespace

void flush_leaves(bool final)
{
    if (!final)
        queue_open_leaf();
    if (queue.size() >= batch_size || (final && !queue.empty()))
        commit_queue();
}

void clear_batch_queue()
{
    queue.clear();
    write_result = 0;
}

int batch_result()
{
    return write_result;
}
