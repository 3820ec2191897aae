// SPDX-License-Identifier: MIT
// Paths in the CDS: their canonical form, the store's limits on them and
// the names they are made of. Shared by every implementation of the client
// library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Rewrites path to its canonical form: it must start with "/"; runs of "/"
// collapse; a trailing "/" goes (the root stays "/"); "." segments go and
// ".." removes the segment before it. Returns false, leaving path as it
// was, for an empty or relative path or one that climbs above the root.
bool canonicalize_cds_path(std::string& path);

namespace cds_store
{

// Paths longer or deeper than this have no canonical form in the store.
constexpr std::size_t max_path_bytes = 4096;
constexpr std::size_t max_path_depth = 256;

// Canonicalizes path in place within the store's limits; false (path
// unchanged) when it has no canonical form.
bool canonical_store_path(std::string& path);
// Whether path is canonical and within the store's limits as it stands.
bool is_canonical_store_path(std::string_view path);
bool valid_entry_name(std::string_view name);
// Every segment of a canonical path is a valid name.
bool valid_path_names(std::string_view canonical_path);
// The number of names in a canonical path.
std::size_t path_depth(std::string_view canonical_path);

// The parent of a canonical path other than the root, and its last name.
inline std::string_view parent_of(std::string_view path)
{
    std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string_view("/") : path.substr(0, slash);
}
inline std::string_view name_of(std::string_view path)
{
    return path.substr(path.rfind('/') + 1);
}

} // namespace cds_store
