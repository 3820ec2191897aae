#pragma once

#include <string>

// The whole content of a file; empty when it can't be read.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
