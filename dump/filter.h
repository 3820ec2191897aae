// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Whether a dump may write the data point at path, as the walker built it.
bool is_leaf_dumpable(const std::string& path);

// A data point that identifies the device, never dumped.
bool is_identity_leaf(const std::string& path);
// A data point holding a password, or one whose path has no canonical form.
bool is_sensitive_leaf(const std::string& path);
