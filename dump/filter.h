// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// Whether a dump may write the data point at path.
bool is_leaf_dumpable(const std::string& path);
// The same for a path the walk of the store built, which is canonical.
bool is_walked_leaf_dumpable(std::string_view path);

// A data point that identifies the device, never dumped.
bool is_identity_leaf(const std::string& path);
// A data point holding a password, or one whose path has no canonical form.
bool is_sensitive_leaf(const std::string& path);
