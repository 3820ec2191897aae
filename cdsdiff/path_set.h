// SPDX-License-Identifier: MIT
// The set of a document's paths that the exact side looks its walk up in.
// A million paths must cost little more than their bytes: no allocation per
// path, and no table at all while the walk meets them in document order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Where a kept path starts: its block, and its offset there.
struct PathPlace {
    std::uint32_t block;
    std::uint32_t offset;
};

// A free slot has no block.
struct PathSlot {
    std::uint64_t hash;
    PathPlace place;
};

struct PathSet {
    // Paths in the order added, each ended by a NUL (no name holds one) and
    // each block's last by a second, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> blocks;
    std::size_t used = 0; // of the last block
    std::size_t room = 0; // left in the last block, its closing NUL aside
    std::size_t count = 0;
    // The path after the one found last: a walk of a store that holds what
    // the document holds meets the paths in the order added.
    PathPlace next{0, 0};
    // Built at the first path the walk meets out of that order; open
    // addressing with linear probing, a power of two in size.
    std::vector<PathSlot> slots;
};

// Adds path; one added twice is kept twice.
void add_path(PathSet& set, std::string_view path);

// Exact: a hash hit counts only once the bytes agree.
bool has_path(PathSet& set, std::string_view path);
