// SPDX-License-Identifier: MIT
#include "load/batch.h"

#include "common/path.h"
#include "common/report.h"
#include "common/typed_element.h"
#include "driver/run_options.h"
#include "load/progress.h"
#include "load/xml_events.h"

#include <string>
#include <utility>
#include <vector>

LoadEnd load_end = writing_end;

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

// The queue and the lists last for the whole load, strings included, so that
// a long load does not allocate for each data point.
std::vector<QueuedLeaf> queue;
std::size_t queued = 0;
CommitLists lists;
int write_result = 0;

// Not canonicalized: the CDS gets the path exactly as the document spells it.
void write_open_leaf_path(std::string& path)
{
    path = load_state.root_path;
    for (const std::string& name : load_state.node_names)
        append_child_path(path, name);
    append_child_path(path, load_state.attr_name);
}

void queue_open_leaf()
{
    if (run_options.load_persistent_only && load_state.attr_persist != PCD_TRUE)
        return;
    if (queued == queue.size())
        queue.emplace_back();
    QueuedLeaf& leaf = queue[queued++];
    write_open_leaf_path(leaf.path);
    leaf.type_name = load_state.attr_type;
    leaf.text = load_state.text;
    leaf.persist = load_state.attr_persist;
}

// Swapped, not moved: the queue slot takes the list entry's string for its
// next path, so that the paths of later batches need no new strings.
void put_path(std::size_t index, std::string& path)
{
    if (index == lists.paths.size())
        lists.paths.emplace_back();
    lists.paths[index].swap(path);
}

void skip_leaf(const QueuedLeaf& leaf, TextConversion conversion)
{
    bool type_known = conversion == TextConversion::bad_value;
    if (type_known)
        report_warning("invalid value '%s' for type '%s' in attr '%s' is being ignored",
                       leaf.text.c_str(), leaf.type_name.c_str(), leaf.path.c_str());
    else
        report_warning("invalid type '%s' in attr is being ignored", leaf.type_name.c_str());
    if (load_end.skip)
        load_end.skip(lists.elements.size(), leaf.path, leaf.type_name, type_known);
}

void add_to_commit(QueuedLeaf& leaf)
{
    lists.elements.emplace_back();
    TextConversion conversion = typed_element(leaf.type_name, leaf.text, lists.elements.back());
    if (conversion != TextConversion::ok) {
        lists.elements.pop_back();
        skip_leaf(leaf, conversion);
        return;
    }
    put_path(lists.elements.size() - 1, leaf.path);
    lists.persist.push_back(leaf.persist);
}

void cut_commit_lists(CommitLists& batch, std::size_t length)
{
    batch.paths.resize(length);
    batch.elements.resize(length);
    batch.persist.resize(length);
}

// Converts the queued points the CDS can take into lists.
void fill_commit_lists()
{
    lists.elements.clear();
    lists.persist.clear();
    for (std::size_t i = 0; i < queued; ++i)
        add_to_commit(queue[i]);
    // Not cleared above: put_path swaps into these strings.
    lists.paths.resize(lists.elements.size());
}

void move_entry(CommitLists& batch, std::size_t from, std::size_t to)
{
    if (from == to)
        return;
    batch.paths[to].swap(batch.paths[from]);
    batch.elements[to] = batch.elements[from];
    batch.persist[to] = batch.persist[from];
}

// Under -r, drops the entries that do not exist yet.
void keep_existing(CommitLists& batch)
{
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> read;
    std::vector<element_property_t> properties;
    if (run_options.connection.get_leaves(batch.paths, statuses, read, properties) != 0) {
        report_error("get_leaves() returned error");
        write_result = -1;
        cut_commit_lists(batch, 0);
        return;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < batch.paths.size(); ++i) {
        if (i < statuses.size() && statuses[i] == API_STATUS_EXISTS)
            move_entry(batch, i, kept++);
    }
    cut_commit_lists(batch, kept);
}

// The number of data points written.
std::size_t write_leaves(const CommitLists& batch)
{
    std::vector<api_status_t> statuses;
    if (run_options.connection.set_leaves(batch.paths, batch.elements, batch.persist, statuses,
                                          run_options.source) != 0) {
        report("set_leaves() returned error");
        write_result = -1;
        return 0;
    }
    std::size_t written = 0;
    for (std::size_t i = 0; i < batch.paths.size(); ++i) {
        if (i < statuses.size() && statuses[i] == API_STATUS_EXISTS) {
            ++written;
            continue;
        }
        report_error("can't set '%s'", batch.paths[i].c_str());
        write_result = -1;
    }
    return written;
}

void commit_queue()
{
    fill_commit_lists();
    queued = 0;
    load_end.commit(lists);
}

} // namespace

void write_batch(CommitLists& batch)
{
    if (!batch.paths.empty() && run_options.only_existing)
        keep_existing(batch);
    note_written(batch.paths.empty() ? 0 : write_leaves(batch));
}

void flush_leaves(bool final)
{
    if (!load_end.commit)
        return;
    if (!final)
        queue_open_leaf();
    if (queued >= batch_size || (final && queued > 0))
        commit_queue();
}

void clear_batch_queue()
{
    queued = 0;
    write_result = 0;
}

int batch_result()
{
    return write_result;
}
