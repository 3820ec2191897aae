// SPDX-License-Identifier: MIT
// What cdsdiff keeps per data point of a document: the paths the exact side
// looks its walk up in, and the old document's paths and texts. A million
// of them must cost little more than their bytes: no allocation per path,
// and no table at all while the walk meets the paths in document order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Texts kept back to back, each ended by a NUL and each block's last by a
// second, in blocks that never move: what is kept stays where it is, and a
// million small texts cost one allocation per block.
struct KeptBytes {
    std::vector<std::unique_ptr<char[]>> blocks;
    std::size_t used = 0; // of the last block
    std::size_t room = 0; // left in the last block, its closing NUL aside
};

std::string_view keep_bytes(KeptBytes& kept, std::string_view text);

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
    KeptBytes paths; // in the order added; no name holds a NUL
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
