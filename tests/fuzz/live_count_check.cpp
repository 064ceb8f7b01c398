#include "live_count_check.h"

#include <cstdio>
#include <cstdlib>

#include "win32/test_probes.h"

namespace fuzzing {

namespace {

const char* const kKindNames[] = {"files",   "bitmaps", "memory DCs",    "window DCs",
                                  "brushes", "windows", "registry keys", "modules"};
static_assert(sizeof(kKindNames) / sizeof(kKindNames[0]) ==
              sizeof(LiveCounts::handles) / sizeof(LiveCounts::handles[0]));

}  // namespace

LiveCounts TakeLiveCounts() {
    LiveCounts counts;
    for (int kind = 0; kind < 8; ++kind) counts.handles[kind] = Win32LayerLiveHandleCount(kind);
    counts.local_blocks = Win32LayerLiveLocalBlockCount();
    return counts;
}

void RequireSameLiveCounts(const LiveCounts& before, const char* operation) {
    const LiveCounts now = TakeLiveCounts();
    bool same = true;
    for (int kind = 0; kind < 8; ++kind) {
        if (now.handles[kind] != before.handles[kind]) {
            std::fprintf(stderr, "%s: live %s went from %d to %d\n", operation, kKindNames[kind],
                         before.handles[kind], now.handles[kind]);
            same = false;
        }
    }
    if (now.local_blocks != before.local_blocks) {
        std::fprintf(stderr, "%s: live local blocks went from %d to %d\n", operation,
                     before.local_blocks, now.local_blocks);
        same = false;
    }
    if (!same) std::abort();
}

}  // namespace fuzzing
