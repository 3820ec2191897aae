// SPDX-License-Identifier: MIT
#include "cdsdiff/path_set.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace
{

const std::size_t block_size = std::size_t{1} << 20;
const std::size_t first_slot_count = 1024;
const std::uint32_t no_block = UINT32_MAX;

std::uint64_t hash_of(std::string_view path)
{
    return std::hash<std::string_view>{}(path);
}

const char* path_at(const PathSet& set, PathPlace place)
{
    return set.paths.blocks[place.block].get() + place.offset;
}

bool is_path_at(const PathSet& set, PathPlace place, std::string_view path)
{
    const char* kept = path_at(set, place);
    return std::strncmp(kept, path.data(), path.size()) == 0 && kept[path.size()] == '\0';
}

// The place of the path after the one of size bytes at place; past the last
// block after the last path.
PathPlace place_after(const PathSet& set, PathPlace place, std::size_t size)
{
    place.offset += static_cast<std::uint32_t>(size + 1);
    if (*path_at(set, place) == '\0')
        place = {place.block + 1, 0};
    return place;
}

// The slot that holds path, or the free slot where it would go.
PathSlot& slot_of(PathSet& set, std::uint64_t hash, std::string_view path)
{
    std::size_t mask = set.slots.size() - 1;
    std::size_t i = hash & mask;
    while (set.slots[i].place.block != no_block &&
           !(set.slots[i].hash == hash && is_path_at(set, set.slots[i].place, path)))
        i = (i + 1) & mask;
    return set.slots[i];
}

// At most three quarters full, so that probes stay short.
void build_table(PathSet& set)
{
    std::size_t size = first_slot_count;
    while (size * 3 < set.count * 4)
        size *= 2;
    set.slots.assign(size, PathSlot{0, {no_block, 0}});
    for (PathPlace place{0, 0}; place.block < set.paths.blocks.size();) {
        std::string_view path = path_at(set, place);
        std::uint64_t hash = hash_of(path);
        PathSlot& slot = slot_of(set, hash, path);
        if (slot.place.block == no_block)
            slot = {hash, place};
        place = place_after(set, place, path.size());
    }
}

} // namespace

std::string_view keep_bytes(KeptBytes& kept, std::string_view text)
{
    std::size_t size = text.size() + 1;
    if (size > kept.room) {
        std::size_t block = std::max(block_size, size + 1);
        kept.blocks.emplace_back(new char[block]);
        kept.used = 0;
        kept.room = block - 1;
    }
    char* at = kept.blocks.back().get() + kept.used;
    std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    at[size] = '\0';
    kept.used += size;
    kept.room -= size;
    return {at, text.size()};
}

void add_path(PathSet& set, std::string_view path)
{
    keep_bytes(set.paths, path);
    ++set.count;
    set.slots.clear();
}

bool has_path(PathSet& set, std::string_view path)
{
    if (set.next.block < set.paths.blocks.size() && is_path_at(set, set.next, path)) {
        set.next = place_after(set, set.next, path.size());
        return true;
    }
    if (set.count == 0)
        return false;
    if (set.slots.empty())
        build_table(set);
    const PathSlot& slot = slot_of(set, hash_of(path), path);
    if (slot.place.block == no_block)
        return false;
    set.next = place_after(set, slot.place, path.size());
    return true;
}
