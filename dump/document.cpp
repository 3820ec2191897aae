// SPDX-License-Identifier: MIT
#include "dump/document.h"

#include <algorithm>

namespace
{

void write_indent(FILE* out, int depth)
{
    static const char tabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    const int most = sizeof tabs - 1;
    for (; depth > most; depth -= most)
        std::fwrite(tabs, 1, most, out);
    if (depth > 0)
        std::fwrite(tabs, 1, static_cast<std::size_t>(depth), out);
}

// Not "%s": names and values are byte strings and are written whole.
void write_text(FILE* out, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), out);
}

} // namespace

void write_declaration(FILE* out)
{
    std::fputs("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n", out);
}

void write_document_start(FILE* out)
{
    std::fputs("<dump>\n", out);
}

void write_document_end(FILE* out)
{
    std::fputs("</dump>\n", out);
}

void write_root_node_start(FILE* out, const std::string& escaped_path)
{
    write_indent(out, 1);
    std::fputs("<node root=\"", out);
    write_text(out, escaped_path);
    std::fputs("\">\n", out);
}

void write_node_start(FILE* out, int depth, const std::string& escaped_name)
{
    write_indent(out, depth);
    std::fputs("<node name=\"", out);
    write_text(out, escaped_name);
    std::fputs("\">\n", out);
}

// A data point that is not persistent gets no persist attribute at all.
// These lines are most of a dump, so each is put together in line, a
// buffer the caller holds, and written with one call.
void write_data_point(FILE* out, std::string& line, int depth, const std::string& escaped_name,
                      const char* type_name, bool persistent, const std::string& escaped_value)
{
    line.assign(static_cast<std::size_t>(std::max(depth, 0)), '\t');
    line += "<attr name=\"";
    line += escaped_name;
    line += "\" type=\"";
    line += type_name;
    line += persistent ? "\" persist=\"true\">" : "\">";
    line += escaped_value;
    line += "</attr>\n";
    write_text(out, line);
}

void write_node_end(FILE* out, int depth)
{
    write_indent(out, depth);
    std::fputs("</node>\n", out);
}
