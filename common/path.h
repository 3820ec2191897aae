// SPDX-License-Identifier: MIT
// The one way a child's path is built from its parent's path and its name,
// for the dump, the load, the store and its double alike.
#pragma once

#include <string>
#include <string_view>

// Turns path, a node's path, into the path of its child called name. The
// root, "" or "/", gives "/name"; any other path gets "/" and name, so that
// a path ending in "/" gives a doubled "/", as callers that never
// canonicalize expect.
void append_child_path(std::string& path, std::string_view name);

std::string child_path(std::string_view parent, std::string_view name);
