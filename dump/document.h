// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <string>

// One writer per kind of line of the dump document. Names, paths and values
// arrive already escaped; depth is the element's nesting level, a root node
// being at depth 1, and sets its indentation in TABs.
void write_declaration(FILE* out);
void write_document_start(FILE* out);
void write_document_end(FILE* out);
void write_root_node_start(FILE* out, const std::string& escaped_path);
void write_node_start(FILE* out, int depth, const std::string& escaped_name);
// line is a buffer the caller holds for the whole dump.
void write_data_point(FILE* out, std::string& line, int depth, const std::string& escaped_name,
                      const char* type_name, bool persistent, const std::string& escaped_value);
void write_node_end(FILE* out, int depth);
