// SPDX-License-Identifier: MIT
#include "cdsdiff/compare.h"
#include "cdsdiff/path_set.h"

#include "common/escape.h"
#include "common/report.h"
#include "driver/run.h"
#include "driver/run_options.h"
#include "driver/streams.h"
#include "dump/filter.h"
#include "dump/walker.h"
#include "load/batch.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace
{

// A data point as a load would leave it.
struct Point {
    data_type_t type;
    std::string text;
    bool persistent;
};

// A data point of the old document, for a comparison of two; its path and
// text are kept in the comparison's old_bytes.
struct OldPoint {
    std::string_view path;
    std::string_view text;
    data_type_t type;
    bool persistent;
    bool seen;
};

// The state of one comparison: the lines of the batch in hand, what the
// exact side needs of the document, the old document when there are two.
struct Comparison {
    bool exact = false;
    bool differs = false;
    bool failed = false;
    // Lines of the batch's dropped points, each with the number of the
    // batch's converted points before it, so that lines keep document order.
    std::vector<std::pair<std::size_t, std::string>> skipped;
    std::string line;
    std::vector<std::string> roots;
    PathSet document_paths;
    // Reused for each data point: a comparison allocates only for a path or
    // value longer than any before.
    std::string store_path;
    Point before;
    Point after;
    KeptBytes old_bytes;
    std::deque<OldPoint> old_points; // grows without moving what it holds
    std::unordered_map<std::string_view, std::size_t> old_index;
};
Comparison comparison;

// The store's form of a path, as its listings spell it; empty when it has none.
void canonical_into(const std::string& path, std::string& store_path)
{
    if (path.empty())
        store_path.assign(1, '/');
    else
        store_path.assign(path);
    canonicalize_in_place(store_path);
}

std::string canonical(const std::string& path)
{
    std::string store_path;
    canonical_into(path, store_path);
    return store_path;
}

void put_line()
{
    comparison.line += '\n';
    std::fputs(comparison.line.c_str(), stdout);
    comparison.differs = true;
}

void start_line(char kind, const std::string& path)
{
    comparison.line.assign(1, kind);
    comparison.line += '\t';
    append_escaped(comparison.line, path);
}

// "value (type, persistent)"; a sensitive value is never shown.
void add_side(const std::string& path, const Point& point, bool changed_value = false)
{
    comparison.line += '\t';
    if (is_sensitive_leaf(path))
        comparison.line += changed_value ? "<hidden, changed>" : "<hidden>";
    else
        append_escaped(comparison.line, point.text);
    const char* type_name = pcd_enum_to_str(point.type);
    comparison.line += " (";
    comparison.line += type_name ? type_name : toolkit::CElement::_invalid;
    comparison.line += point.persistent ? ", persistent)" : ")";
}

const Point& point_into(Point& point, const toolkit::CElement& element, bool persistent)
{
    point.type = element.type();
    element.to_string(point.text);
    point.persistent = persistent;
    return point;
}

// The document's point as its load would leave it over what is there.
bool loaded_persistence(pcd_tribool_t persist, bool was_persistent)
{
    return persist == PCD_UNSPECIFIED ? was_persistent : persist == PCD_TRUE;
}

void compare_point(const std::string& path, const Point* before, const Point& after)
{
    if (!before) {
        start_line('+', path);
        add_side(path, after);
        put_line();
        return;
    }
    bool same_value = before->text == after.text;
    if (before->type == after.type && same_value && before->persistent == after.persistent)
        return;
    start_line('~', path);
    add_side(path, *before);
    add_side(path, after, !same_value);
    put_line();
}

void on_skip(std::size_t slot, const std::string& path, const std::string& type_name,
             bool type_known)
{
    start_line('!', path);
    comparison.line += type_known ? "\tinvalid value for type '" : "\tinvalid type '";
    append_escaped(comparison.line, type_name);
    comparison.line += "'\n";
    comparison.skipped.emplace_back(slot, comparison.line);
}

// The skipped points' lines that come before converted point slot.
void put_skipped_before(std::size_t slot)
{
    std::size_t done = 0;
    for (; done < comparison.skipped.size() && comparison.skipped[done].first <= slot; ++done) {
        std::fputs(comparison.skipped[done].second.c_str(), stdout);
        comparison.differs = true;
    }
    comparison.skipped.erase(comparison.skipped.begin(), comparison.skipped.begin() + done);
}

void on_root(const std::string& path)
{
    std::string root = canonical(path);
    if (!root.empty() &&
        std::find(comparison.roots.begin(), comparison.roots.end(), root) == comparison.roots.end())
        comparison.roots.push_back(root);
}

// A path the store has no form for would be refused by the write.
bool refused(const std::string& path, std::string& store_path)
{
    canonical_into(path, store_path);
    if (!store_path.empty())
        return false;
    start_line('!', path);
    comparison.line += "\tnot a path the store takes";
    put_line();
    return true;
}

// The store's side of the siblings in hand, and the parent listed last.
struct StoreReads {
    std::string listed;
    std::vector<ChildEntry> children;
    std::vector<std::string> paths;
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> elements;
    std::vector<element_property_t> properties;
};
StoreReads reads;

// The path up to its last name, as the document spells it; "/" for the root.
std::string_view spelled_parent(std::string_view path)
{
    std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string_view::npos ? "/" : path.substr(0, slash);
}

// The end of the run of paths from first on that share its parent.
std::size_t end_of_siblings(const std::vector<std::string>& paths, std::size_t first)
{
    std::string_view parent = spelled_parent(paths[first]);
    std::size_t end = first + 1;
    while (end < paths.size() && spelled_parent(paths[end]) == parent)
        ++end;
    return end;
}

// Siblings are read as a dump reads them: their parent listed, then their
// data points, which the client answers in one pass over that listing
// instead of finding each path on its own. A run that ends its batch may go
// on in the next, its node wider than any batch, and a pass for each batch
// would read the node again and again: such a run is looked up path by path.
// The listing only speeds the reading up, so its outcome is get_leaves' to
// tell.
int read_siblings(const std::vector<std::string>& paths, std::size_t first, std::size_t end)
{
    StoreReads& r = reads;
    std::string_view parent = spelled_parent(paths[first]);
    if (end < paths.size() && parent != r.listed) {
        r.listed.assign(parent);
        api_status_t status;
        run_options.connection.list_node(r.listed, status, r.children);
    }
    r.paths.resize(end - first);
    for (std::size_t i = first; i < end; ++i)
        r.paths[i - first].assign(paths[i]);
    if (run_options.connection.get_leaves(r.paths, r.statuses, r.elements, r.properties) != 0) {
        report_error("get_leaves() returned error");
        return -1;
    }
    return 0;
}

// Point i of the batch against what the store holds, read at index read.
void compare_with_store_point(const CommitLists& batch, std::size_t i, std::size_t read)
{
    Comparison& c = comparison;
    const std::string& path = batch.paths[i];
    if (is_identity_leaf(path) || refused(path, c.store_path))
        return;
    // Kept only for the exact side, so that memory stays flat without it.
    if (c.exact)
        add_path(c.document_paths, c.store_path);
    bool exists = reads.statuses[read] == API_STATUS_EXISTS;
    if (!exists && run_options.only_existing)
        return;
    bool was_persistent = exists && reads.properties[read] == ELEMENT_PROPERTY_PERSISTENT;
    const Point* before =
        exists ? &point_into(c.before, reads.elements[read], was_persistent) : nullptr;
    compare_point(path, before,
                  point_into(c.after, batch.elements[i],
                             loaded_persistence(batch.persist[i], was_persistent)));
}

void compare_batch_with_store(CommitLists& batch)
{
    for (std::size_t first = 0, end = 0; first < batch.paths.size(); first = end) {
        end = end_of_siblings(batch.paths, first);
        if (read_siblings(batch.paths, first, end) != 0) {
            comparison.failed = true;
            return;
        }
        std::size_t read =
            std::min({reads.statuses.size(), reads.elements.size(), reads.properties.size()});
        for (std::size_t i = first; i < end && i - first < read; ++i) {
            put_skipped_before(i);
            compare_with_store_point(batch, i, i - first);
        }
    }
    put_skipped_before(batch.paths.size());
}

// The exact side lists what is not in the document; the filter and walk are
// the dump's.
void list_left_behind(FILE*, int, const std::string& path, std::string_view,
                      const toolkit::CElement& element, element_property_t property)
{
    if (has_path(comparison.document_paths, path))
        return;
    start_line('-', path);
    add_side(path, point_into(comparison.before, element, property == ELEMENT_PROPERTY_PERSISTENT));
    put_line();
}

// A root inside another root is walked with it.
bool under_another_root(const std::string& root)
{
    for (const std::string& other : comparison.roots) {
        if (other != root && (other == "/" || (root.compare(0, other.size(), other) == 0 &&
                                               root[other.size()] == '/')))
            return true;
    }
    return false;
}

void walk_roots()
{
    leaf_step = list_left_behind;
    canonicalize_excludes();
    for (const std::string& root : comparison.roots) {
        if (under_another_root(root))
            continue;
        std::string path = root == "/" ? "" : root;
        if (dump_node(nullptr, path, path, 1, 0, run_options.load_persistent_only) < 0)
            comparison.failed = true;
    }
}

// The old document's point at a store path, if it has one.
OldPoint* find_old_point(const std::string& store_path)
{
    auto found = comparison.old_index.find(store_path);
    return found == comparison.old_index.end() ? nullptr : &comparison.old_points[found->second];
}

void record_old_batch(CommitLists& batch)
{
    Comparison& c = comparison;
    for (std::size_t i = 0; i < batch.paths.size(); ++i) {
        canonical_into(batch.paths[i], c.store_path);
        if (c.store_path.empty())
            continue;
        OldPoint* old = find_old_point(c.store_path);
        if (!old) {
            std::string_view path = keep_bytes(c.old_bytes, c.store_path);
            c.old_index.emplace(path, c.old_points.size());
            old = &c.old_points.emplace_back(OldPoint{path, {}, {}, false, false});
        }
        const Point& point = point_into(c.after, batch.elements[i], batch.persist[i] == PCD_TRUE);
        old->text = keep_bytes(c.old_bytes, point.text);
        old->type = point.type;
        old->persistent = point.persistent;
    }
}

const Point& old_point_into(Point& point, const OldPoint& old)
{
    point.type = old.type;
    point.text.assign(old.text);
    point.persistent = old.persistent;
    return point;
}

void compare_batch_with_old(CommitLists& batch)
{
    Comparison& c = comparison;
    for (std::size_t i = 0; i < batch.paths.size(); ++i) {
        put_skipped_before(i);
        const std::string& path = batch.paths[i];
        if (is_identity_leaf(path) || refused(path, c.store_path))
            continue;
        OldPoint* old = find_old_point(c.store_path);
        bool was_persistent = old && old->persistent;
        if (old)
            old->seen = true;
        compare_point(path, old ? &old_point_into(c.before, *old) : nullptr,
                      point_into(c.after, batch.elements[i],
                                 loaded_persistence(batch.persist[i], was_persistent)));
    }
    put_skipped_before(batch.paths.size());
}

// The old document's points that the new one lacks, as a dump with the
// same -s would carry them.
void list_old_left_behind()
{
    Comparison& c = comparison;
    for (const OldPoint& old : c.old_points) {
        c.store_path.assign(old.path);
        if (old.seen || !is_leaf_dumpable(c.store_path))
            continue;
        start_line('-', c.store_path);
        add_side(c.store_path, old_point_into(c.before, old));
        put_line();
    }
}

int outcome(int read)
{
    std::fflush(stdout);
    if (read != 0 || comparison.failed)
        return 2;
    return comparison.differs ? 1 : 0;
}

} // namespace

int compare_with_store(FILE* in, bool exact)
{
    comparison.exact = exact;
    int read =
        read_document(in, {compare_batch_with_store, on_skip, exact ? on_root : nullptr, false});
    if (read == 0 && exact)
        walk_roots();
    return outcome(read);
}

int compare_documents(FILE* old_in, FILE* new_in, const std::string& old_name,
                      const std::string& new_name)
{
    run_options.file_path = old_name;
    int read = read_document(old_in, {record_old_batch, nullptr, nullptr, false});
    if (read != 0)
        return 2;
    run_options.file_path = new_name;
    read = read_document(new_in, {compare_batch_with_old, on_skip, nullptr, false});
    if (read == 0)
        list_old_left_behind();
    return outcome(read);
}
