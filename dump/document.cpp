#include "dump/document.h"

namespace
{

void write_indent(FILE* out, int depth)
{
    for (int i = 0; i < depth; ++i)
        std::fputc('\t', out);
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
void write_data_point(FILE* out, int depth, const std::string& escaped_name, const char* type_name,
                      bool persistent, const std::string& escaped_value)
{
    write_indent(out, depth);
    std::fputs("<attr name=\"", out);
    write_text(out, escaped_name);
    std::fprintf(out, "\" type=\"%s\"", type_name);
    if (persistent)
        std::fputs(" persist=\"true\"", out);
    std::fputc('>', out);
    write_text(out, escaped_value);
    std::fputs("</attr>\n", out);
}

void write_node_end(FILE* out, int depth)
{
    write_indent(out, depth);
    std::fputs("</node>\n", out);
}
