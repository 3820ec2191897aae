// SPDX-License-Identifier: MIT
// cdsctl import and export: one line per entry,
// PATH<TAB>TYPE<TAB>PROPERTY<TAB>VALUE, TYPE "node" with an empty VALUE for
// a node.
#include "cdsctl/cdsctl.h"
#include "common/escape.h"
#include "common/file_ptr.h"
#include "common/typed_element.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

using cds_store::Result;

namespace
{

// One import's progress, passed from line to line.
struct ImportState {
    pcd_handle_t handle;
    const char* file_name;
    std::size_t line_number = 0;
    pcd_timestamp_t time;
    // The current line's fields, kept so that a large import allocates once.
    std::string path;
    std::string value;
};

struct LineFields {
    std::string_view path;
    std::string_view type;
    std::string_view property;
    std::string_view value;
};

// Exactly four fields; a TAB in a value is written "\t".
bool split_fields(std::string_view line, LineFields& fields)
{
    std::size_t first = line.find('\t');
    std::size_t second = line.find('\t', first + 1);
    std::size_t third = line.find('\t', second + 1);
    if (first == std::string_view::npos || second == std::string_view::npos ||
        third == std::string_view::npos || line.find('\t', third + 1) != std::string_view::npos)
        return false;
    fields.path = line.substr(0, first);
    fields.type = line.substr(first + 1, second - first - 1);
    fields.property = line.substr(second + 1, third - second - 1);
    fields.value = line.substr(third + 1);
    return true;
}

int report_line_failure(const ImportState& state, const char* problem)
{
    return report_failure(EXIT_FAILURE_OTHER, "%s:%zu: %s: %s", state.file_name, state.line_number,
                          state.path.c_str(), problem);
}

// Writes the data point of a line whose value state.value holds unescaped.
Result import_leaf(ImportState& state, const LineFields& fields, int property)
{
    toolkit::CElement value;
    TextConversion conversion = typed_element(fields.type, state.value, value);
    if (conversion != TextConversion::ok)
        return conversion == TextConversion::unknown_type ? Result::bad_type : Result::bad_value;
    return cds_store::put_leaf(state.handle, state.path, value, property, "cdsctl", state.time);
}

int import_line(ImportState& state, std::string_view line)
{
    ++state.line_number;
    state.path.clear();
    if (line.empty())
        return EXIT_OK;
    LineFields fields;
    if (!split_fields(line, fields))
        return report_failure(EXIT_FAILURE_OTHER,
                              "%s:%zu: expected PATH<TAB>TYPE<TAB>PROPERTY<TAB>VALUE",
                              state.file_name, state.line_number);
    state.path.assign(fields.path);
    int property = 0;
    if (!read_property_number(fields.property, property))
        return report_line_failure(state, cds_store::describe(Result::bad_property));
    Result outcome;
    if (fields.type == "node") {
        if (!fields.value.empty())
            return report_line_failure(state, "a node has no value");
        outcome = cds_store::put_node(state.handle, state.path, property);
    } else {
        if (!unescape_value(fields.value, state.value))
            return report_line_failure(state, "the value has an unknown escape");
        outcome = import_leaf(state, fields, property);
    }
    if (outcome == Result::ok)
        return EXIT_OK;
    std::string where =
        std::string(state.file_name) + ":" + std::to_string(state.line_number) + ": " + state.path;
    return report_store_failure(state.handle, where, outcome);
}

int import_stream(ImportState& state, FILE* in)
{
    if (cds_store::begin_batch(state.handle) != Result::ok)
        return report_store_failure(state.handle, state.file_name, Result::store_failed);
    int status = for_each_line(in, [&](std::string_view line) { return import_line(state, line); });
    if (status == EXIT_OK && std::ferror(in))
        status =
            report_failure(EXIT_FAILURE_OTHER, "%s: %s", state.file_name, std::strerror(errno));
    if (status != EXIT_OK) {
        cds_store::rollback_batch(state.handle);
        return status;
    }
    if (cds_store::commit_batch(state.handle) != Result::ok)
        return report_store_failure(state.handle, state.file_name, Result::store_failed);
    return EXIT_OK;
}

void append_property(std::string& line, int property)
{
    char digits[8];
    auto result = std::to_chars(digits, digits + sizeof digits, property);
    line.append(digits, result.ptr);
}

void append_entry_line(std::string& line, const cds_store::Entry& entry)
{
    line.assign(entry.path);
    if (entry.kind == ELEMENT_TYPE_NODE) {
        line += "\tnode\t";
        append_property(line, entry.property);
        line += "\t\n";
        return;
    }
    line += '\t';
    line += type_name_or_invalid(entry.type);
    line += '\t';
    append_property(line, entry.property);
    line += '\t';
    if (entry.type == DATA_TYPE_BINARY)
        line += entry_value_text(entry);
    else
        append_escaped(line, entry.value);
    line += '\n';
}

} // namespace

int for_each_line(FILE* in, const std::function<int(std::string_view)>& on_line)
{
    std::string pending;
    char block[1 << 16];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        std::string_view data(block, got);
        std::size_t start = 0;
        std::size_t end;
        while ((end = data.find('\n', start)) != std::string_view::npos) {
            pending.append(data.substr(start, end - start));
            int status = on_line(pending);
            pending.clear();
            if (status != 0)
                return status;
            start = end + 1;
        }
        pending.append(data.substr(start));
    }
    return pending.empty() ? 0 : on_line(pending);
}

int run_import(toolkit::CCds& cds, const CommandArgs& args)
{
    ImportState state;
    state.handle = cds.handle;
    state.time = cds_store::now();
    if (args.operands.empty() || args.operands[0] == "-") {
        state.file_name = "stdin";
        return import_stream(state, stdin);
    }
    state.file_name = args.operands[0].c_str();
    FilePtr file(std::fopen(state.file_name, "rb"));
    if (!file)
        return report_failure(EXIT_FAILURE_OTHER, "%s: %s", state.file_name, std::strerror(errno));
    return import_stream(state, file.get());
}

int run_export(toolkit::CCds& cds, const CommandArgs& args)
{
    std::string path = args.operands.empty() ? "/" : args.operands[0];
    std::string line;
    bool write_failed = false;
    int write_error = 0;
    Result result = cds_store::walk(cds.handle, path, [&](const cds_store::Entry& entry) {
        // The root always exists; it has no line of its own.
        if (entry.path == "/")
            return true;
        append_entry_line(line, entry);
        write_failed = std::fwrite(line.data(), 1, line.size(), stdout) != line.size();
        write_error = errno;
        return !write_failed;
    });
    if (result == Result::missing)
        return report_store_failure(cds.handle, path, Result::missing);
    if (result == Result::store_failed)
        return report_store_failure(cds.handle, path, Result::store_failed);
    // A write that fails stops the walk; the rest of the output is checked
    // with every command's.
    if (write_failed)
        return report_output_failure(write_error);
    return EXIT_OK;
}
