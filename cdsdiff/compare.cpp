// SPDX-License-Identifier: MIT
#include "cdsdiff/compare.h"

#include "common/escape.h"
#include "common/report.h"
#include "driver/run.h"
#include "driver/run_options.h"
#include "driver/streams.h"
#include "dump/filter.h"
#include "dump/walker.h"
#include "load/batch.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace
{

// A data point as a load would leave it.
struct Point {
    data_type_t type;
    std::string text;
    bool persistent;
};

// A data point of the old document, for a comparison of two.
struct OldPoint {
    std::string path;
    Point point;
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
    std::unordered_set<std::string> document_paths;
    std::vector<OldPoint> old_points;
    std::unordered_map<std::string, std::size_t> old_index;
};
Comparison comparison;

// The store's form of a path, as its listings spell it; empty when it has none.
std::string canonical(const std::string& path)
{
    std::string copy = path.empty() ? "/" : path;
    canonicalize_in_place(copy);
    return copy;
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

Point point_of(const toolkit::CElement& element, bool persistent)
{
    Point point{element.type(), "", persistent};
    element.to_string(point.text);
    return point;
}

// The document's point as its load would leave it over what is there.
Point loaded_point(const toolkit::CElement& element, pcd_tribool_t persist, bool was_persistent)
{
    return point_of(element, persist == PCD_UNSPECIFIED ? was_persistent : persist == PCD_TRUE);
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
    store_path = canonical(path);
    if (!store_path.empty())
        return false;
    start_line('!', path);
    comparison.line += "\tnot a path the store takes";
    put_line();
    return true;
}

void compare_batch_with_store(CommitLists& batch)
{
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CElement> elements;
    std::vector<element_property_t> properties;
    if (!batch.paths.empty() &&
        run_options.connection.get_leaves(batch.paths, statuses, elements, properties) != 0) {
        report_error("get_leaves() returned error");
        comparison.failed = true;
        return;
    }
    std::string store_path;
    for (std::size_t i = 0; i < batch.paths.size() && i < statuses.size(); ++i) {
        put_skipped_before(i);
        const std::string& path = batch.paths[i];
        if (is_identity_leaf(path) || refused(path, store_path))
            continue;
        // Kept only for the exact side, so that memory stays flat without it.
        if (comparison.exact)
            comparison.document_paths.insert(store_path);
        bool exists = statuses[i] == API_STATUS_EXISTS;
        if (!exists && run_options.only_existing)
            continue;
        bool was_persistent = exists && properties[i] == ELEMENT_PROPERTY_PERSISTENT;
        Point before = point_of(elements[i], was_persistent);
        compare_point(path, exists ? &before : nullptr,
                      loaded_point(batch.elements[i], batch.persist[i], was_persistent));
    }
    put_skipped_before(batch.paths.size());
}

// The exact side lists what is not in the document; the filter and walk are
// the dump's.
void list_left_behind(FILE*, int, const std::string& path, const std::string&,
                      const toolkit::CElement& element, element_property_t property)
{
    if (comparison.document_paths.count(path))
        return;
    start_line('-', path);
    add_side(path, point_of(element, property == ELEMENT_PROPERTY_PERSISTENT));
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

void record_old_batch(CommitLists& batch)
{
    for (std::size_t i = 0; i < batch.paths.size(); ++i) {
        std::string path = canonical(batch.paths[i]);
        if (path.empty())
            continue;
        Point point = point_of(batch.elements[i], batch.persist[i] == PCD_TRUE);
        auto found = comparison.old_index.find(path);
        if (found != comparison.old_index.end()) {
            comparison.old_points[found->second].point = point;
            continue;
        }
        comparison.old_index.emplace(path, comparison.old_points.size());
        comparison.old_points.push_back({path, point, false});
    }
}

void compare_batch_with_old(CommitLists& batch)
{
    std::string store_path;
    for (std::size_t i = 0; i < batch.paths.size(); ++i) {
        put_skipped_before(i);
        const std::string& path = batch.paths[i];
        if (is_identity_leaf(path) || refused(path, store_path))
            continue;
        auto found = comparison.old_index.find(store_path);
        OldPoint* old =
            found == comparison.old_index.end() ? nullptr : &comparison.old_points[found->second];
        bool was_persistent = old && old->point.persistent;
        if (old)
            old->seen = true;
        compare_point(path, old ? &old->point : nullptr,
                      loaded_point(batch.elements[i], batch.persist[i], was_persistent));
    }
    put_skipped_before(batch.paths.size());
}

// The old document's points that the new one lacks, as a dump with the
// same -s would carry them.
void list_old_left_behind()
{
    for (const OldPoint& old : comparison.old_points) {
        if (old.seen || !is_leaf_dumpable(old.path))
            continue;
        start_line('-', old.path);
        add_side(old.path, old.point);
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
    int read = load_from(in, {compare_batch_with_store, on_skip, exact ? on_root : nullptr, false});
    if (read == 0 && exact)
        walk_roots();
    return outcome(read);
}

int compare_documents(FILE* old_in, FILE* new_in, const std::string& old_name,
                      const std::string& new_name)
{
    run_options.file_path = old_name;
    int read = load_from(old_in, {record_old_batch, nullptr, nullptr, false});
    if (read != 0)
        return 2;
    run_options.file_path = new_name;
    read = load_from(new_in, {compare_batch_with_old, on_skip, nullptr, false});
    if (read == 0)
        list_old_left_behind();
    return outcome(read);
}
