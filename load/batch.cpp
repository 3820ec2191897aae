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

std::vector<QueuedLeaf> queue;
int write_result = 0;

// Not canonicalized: the CDS gets the path exactly as the document spells it.
std::string open_leaf_path()
{
    std::string path = load_state.root_path;
    for (const std::string& name : load_state.node_names)
        append_child_path(path, name);
    append_child_path(path, load_state.attr_name);
    return path;
}

void queue_open_leaf()
{
    if (run_options.load_persistent_only && load_state.attr_persist != PCD_TRUE)
        return;
    queue.push_back(
        {open_leaf_path(), load_state.attr_type, load_state.text, load_state.attr_persist});
}

// slot: the number of the batch's points converted before this one.
void skip_leaf(std::size_t slot, const QueuedLeaf& leaf, TextConversion conversion)
{
    bool type_known = conversion == TextConversion::bad_value;
    if (type_known)
        report_warning("invalid value '%s' for type '%s' in attr '%s' is being ignored",
                       leaf.text.c_str(), leaf.type_name.c_str(), leaf.path.c_str());
    else
        report_warning("invalid type '%s' in attr is being ignored", leaf.type_name.c_str());
    if (load_end.skip)
        load_end.skip(slot, leaf.path, leaf.type_name, type_known);
}

void add_to_commit(CommitLists& lists, QueuedLeaf& leaf)
{
    lists.elements.emplace_back();
    TextConversion conversion = typed_element(leaf.type_name, leaf.text, lists.elements.back());
    if (conversion != TextConversion::ok) {
        lists.elements.pop_back();
        skip_leaf(lists.elements.size(), leaf, conversion);
        return;
    }
    lists.paths.push_back(std::move(leaf.path));
    lists.persist.push_back(leaf.persist);
}

void cut_commit_lists(CommitLists& batch, std::size_t length)
{
    batch.paths.resize(length);
    batch.elements.resize(length);
    batch.persist.resize(length);
}

void move_entry(CommitLists& batch, std::size_t from, std::size_t to)
{
    if (from == to)
        return;
    batch.paths[to] = std::move(batch.paths[from]);
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

// The queued points the CDS can take, converted, end the batch.
void commit_queue()
{
    CommitLists lists;
    for (QueuedLeaf& leaf : queue)
        add_to_commit(lists, leaf);
    queue.clear();
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
