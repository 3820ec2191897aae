#pragma once

#include <string>

// Rewrites path to its canonical form: it must start with "/"; runs of "/"
// collapse; a trailing "/" goes (the root stays "/"); "." segments go and
// ".." removes the segment before it. Returns false, leaving path as it
// was, for an empty or relative path or one that climbs above the root.
bool canonicalize_cds_path(std::string& path);
