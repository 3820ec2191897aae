// What the end-to-end tests check of what the programs leave behind.
#pragma once

#include <string>
#include <vector>

bool file_exists(const std::string& path);

// Empty when every document validates against the dump schema, otherwise
// xmllint's complaint.
std::string schema_errors(const std::vector<std::string>& documents, const std::string& dir);

// The first line where two texts differ, for readable failure messages.
std::string first_difference(const std::string& expected, const std::string& actual);
