// SPDX-License-Identifier: MIT
#pragma once

#include "cds/cds.h"

#include <cstddef>
#include <string>
#include <vector>

// One batch of the data points that converted, in document order.
struct CommitLists {
    std::vector<std::string> paths;
    std::vector<toolkit::CElement> elements;
    std::vector<pcd_tribool_t> persist;
};

// What a load does with what it reads: write it, only check that the whole
// document reads, or compare it with the store. Every reading of a document
// goes through the same callbacks, batching and conversions, and differs
// only here. Chosen once per reading, before start_load.
struct LoadEnd {
    // Each batch, also one that lost all its points to the conversion; null
    // for a reading that only checks the document, which queues nothing.
    void (*commit)(CommitLists& batch);
    // Each data point the conversion drops, with the number of its batch's
    // converted points before it; type_known is false for an unknown type.
    // May be null.
    void (*skip)(std::size_t slot, const std::string& path, const std::string& type_name,
                 bool type_known);
    // Told of each root path as its node starts. May be null.
    void (*root)(const std::string& path);
    // Accepting a data point pauses, to spare the CDS service a flood.
    bool pause;
};

extern LoadEnd load_end;

// The load's own end of a batch: under -r it keeps the points that exist,
// then writes them to the CDS.
void write_batch(CommitLists& batch);

inline const LoadEnd writing_end = {write_batch, nullptr, nullptr, true};
inline const LoadEnd checking_end = {nullptr, nullptr, nullptr, false};

// Queues the open data point (final false) and ends the queue's batch when
// it is full, or (final true) ends whatever is queued.
void flush_leaves(bool final);

// Empties the queue and forgets earlier write failures.
void clear_batch_queue();

// -1 when a write of this load failed in whole or in part, else 0.
int batch_result();
