#pragma once

// Queues the open data point (final false) and writes the queue to the CDS
// when it holds a full batch, or (final true) writes whatever is queued.
void flush_leaves(bool final);

// Empties the queue and forgets earlier write failures.
void clear_batch_queue();

// -1 when a write of this load failed in whole or in part, else 0.
int batch_result();
