// The layer's live handle and local-block counts, taken before an operation and compared
// after it: an operation that keeps something it obtained aborts the fuzz target.
#pragma once

namespace fuzzing {

struct LiveCounts {
    // Files, bitmaps, memory DCs, window DCs, brushes, windows, registry keys, modules.
    int handles[8] = {};
    int local_blocks = 0;
};

LiveCounts TakeLiveCounts();

// Aborts, naming the kinds that differ, unless now equals before.
void RequireSameLiveCounts(const LiveCounts& before, const char* operation);

}  // namespace fuzzing
