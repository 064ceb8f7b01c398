// The fault loop for the suites on the Linux layer: a scenario is run once to count the calls
// that can fail on its way (the layer's fault plan, win32/fault_points.h), then once for every
// N with the N-th of them failing, and checked after each run by the test. Also the layer's
// live counts (handles of every kind, local-heap blocks), which must end where they began.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "win32/test_probes.h"

namespace testsupport {

struct LiveCounts {
    std::vector<int> handles;  // by WIN32LAYER_KIND_ value
    int local_blocks = 0;
    bool operator==(const LiveCounts&) const = default;
};

inline LiveCounts TakeLiveCounts() {
    LiveCounts counts;
    for (int kind = 0; kind < WIN32LAYER_KIND_COUNT; ++kind) {
        counts.handles.push_back(Win32LayerLiveHandleCount(kind));
    }
    counts.local_blocks = Win32LayerLiveLocalBlockCount();
    return counts;
}

inline std::string DescribeLiveCounts(const LiveCounts& counts) {
    static const char* const kNames[] = {"files",   "bitmaps", "memory DCs",    "window DCs",
                                         "brushes", "windows", "registry keys", "modules"};
    static_assert(sizeof(kNames) / sizeof(kNames[0]) == WIN32LAYER_KIND_COUNT);
    std::string text;
    for (size_t i = 0; i < counts.handles.size(); ++i) {
        text += std::string(kNames[i]) + " " + std::to_string(counts.handles[i]) + ", ";
    }
    return text + "local blocks " + std::to_string(counts.local_blocks);
}

// The steps of a run between these two are under the plan; what comes before (setting up) and
// after (the checks) is not counted.
inline void BeginFaultSteps() {
    Win32LayerPauseFaultPlan(FALSE);
}
inline void EndFaultSteps() {
    Win32LayerPauseFaultPlan(TRUE);
}

// The failures reported so far in the running test.
inline int ReportCount() {
    return testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

// Runs `run(nth)` with nth 0 (no failure) to count the failure points, then for nth 1 to that
// count, each time with the plan set to fail the nth call and paused until the run's
// BeginFaultSteps. Each failing run's report names the call that failed. Stops after a few
// failing runs, so that one fault does not bury the others. Returns the count of points and
// prints one line for the reliability table.
inline int RunFaultLoop(const std::string& scenario, const std::function<void(int nth)>& run) {
    int failed_point = -1;
    auto run_with_plan = [&run, &failed_point](int nth) {
        Win32LayerSetFaultPlan(nullptr, nth);
        Win32LayerPauseFaultPlan(TRUE);
        run(nth);
        const int reached = Win32LayerFaultPlanReached();
        failed_point = Win32LayerFaultPlanFailedPoint();
        Win32LayerSetFaultPlan(nullptr, 0);
        Win32LayerPauseFaultPlan(TRUE);
        return reached;
    };
    // A first run makes what only the first makes (the database's journal, the window class),
    // so that the count is that of every later run.
    run_with_plan(0);
    const int points = run_with_plan(0);
    EXPECT_GT(points, 0) << scenario << ": no call that can fail was reached";
    int failing_runs = 0;
    std::vector<int> runs_by_point(WIN32LAYER_FAULT_POINT_COUNT, 0);
    for (int nth = 1; nth <= points && failing_runs < 5; ++nth) {
        const int reports_before = ReportCount();
        {
            std::string where = scenario + ": call " + std::to_string(nth) + " of " +
                                std::to_string(points) + " fails";
            SCOPED_TRACE(where);
            run_with_plan(nth);
        }
        // The runs are the same up to the failing call, so it is always reached.
        EXPECT_GE(failed_point, 0) << scenario << ": call " << nth << " was never reached";
        if (failed_point >= 0) ++runs_by_point[failed_point];
        if (ReportCount() != reports_before) {
            ++failing_runs;
            ADD_FAILURE() << scenario << ": the run failing call " << nth << " ("
                          << (failed_point >= 0 ? Win32LayerFaultPointName(failed_point) : "?")
                          << ") went wrong, as reported above";
        }
    }
    Win32LayerPauseFaultPlan(FALSE);
    if (!testing::Test::HasFailure()) {
        std::string by_point;
        for (int point = 0; point < WIN32LAYER_FAULT_POINT_COUNT; ++point) {
            if (runs_by_point[point] == 0) continue;
            by_point += std::string(by_point.empty() ? "" : ", ") +
                        Win32LayerFaultPointName(point) + " " +
                        std::to_string(runs_by_point[point]);
        }
        std::printf("[fault loop] %s: %d failure points, each passed (%s)\n", scenario.c_str(),
                    points, by_point.c_str());
    }
    return points;
}

}  // namespace testsupport
