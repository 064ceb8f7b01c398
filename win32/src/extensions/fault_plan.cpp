// The fault plan: "fail the N-th call", counted over every call of the layer that can fail or
// over one named call, so that a test (or a person running a program) can walk through every
// failure a decode, a paint or a save can meet. The table of points is fault_points.h.
//
// WIN32LAYER_FAULT_PLAN sets a plan for a whole program: "N" (every point) or "Name:N"; N 0
// only counts. The program then says on stderr which call failed, or, at exit, how many it
// counted, so that a person can go through them one by one.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "fault_plan.h"
#include "win32/kernel.h"
#include "win32/test_probes.h"

namespace {

struct FaultPointRow {
    const char* name;
    const char* returns;
    DWORD error;
    Win32LayerFaultReport report;
};

constexpr FaultPointRow kPoints[] = {
#define WIN32LAYER_FAULT_ROW(ID, Name, returns, error, report) \
    {#Name, returns, static_cast<DWORD>(error), WIN32LAYER_FAULT_BY_##report},
    WIN32LAYER_FAULT_POINTS(WIN32LAYER_FAULT_ROW)
#undef WIN32LAYER_FAULT_ROW
};
static_assert(sizeof(kPoints) / sizeof(kPoints[0]) == WIN32LAYER_FAULT_POINT_COUNT);

constexpr int kEveryPoint = -1;

// The plan. Calls of the user-interface thread and SQLite's come here; the counters are atomic
// so that two threads never lose a count, and exactly one call takes the failure.
struct FaultPlan {
    std::atomic<int> point{kEveryPoint};
    std::atomic<int> nth{0};
    std::atomic<int> reached{0};
    std::atomic<int> failed{-1};
    std::atomic<bool> paused{false};
    bool from_environment = false;
};

FaultPlan& Plan() {
    static FaultPlan plan;
    return plan;
}

int PointByName(const char* name, size_t length) {
    for (int i = 0; i < WIN32LAYER_FAULT_POINT_COUNT; ++i) {
        if (std::strlen(kPoints[i].name) == length &&
            std::strncmp(kPoints[i].name, name, length) == 0) {
            return i;
        }
    }
    return -2;
}

void ReportAtExit() {
    FaultPlan& plan = Plan();
    if (plan.from_environment && plan.failed.load() < 0) {
        std::fprintf(stderr, "win32layer: fault plan: %d calls that can fail were reached\n",
                     plan.reached.load());
    }
}

// Reads WIN32LAYER_FAULT_PLAN once, before the first call is counted.
void ReadEnvironmentPlan() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* text = std::getenv("WIN32LAYER_FAULT_PLAN");
        if (text == nullptr || text[0] == '\0') return;
        const char* colon = std::strchr(text, ':');
        int point = kEveryPoint;
        const char* number = text;
        if (colon != nullptr) {
            point = PointByName(text, static_cast<size_t>(colon - text));
            number = colon + 1;
        }
        char* end = nullptr;
        const long nth = std::strtol(number, &end, 10);
        if (point == -2 || end == number || *end != '\0' || nth < 0 || nth > 0x7fffffff) {
            std::fprintf(stderr,
                         "win32layer: WIN32LAYER_FAULT_PLAN \"%s\" is not N or NAME:N (N from 0, "
                         "NAME a point such as LocalAlloc); no call is made to fail\n",
                         text);
            return;
        }
        FaultPlan& plan = Plan();
        plan.point = point;
        plan.nth = static_cast<int>(nth);
        plan.from_environment = true;
        std::atexit(ReportAtExit);
    });
}

}  // namespace

bool FaultPlanFails(Win32LayerFaultPoint point) {
    ReadEnvironmentPlan();
    FaultPlan& plan = Plan();
    if (plan.paused.load(std::memory_order_relaxed)) return false;
    const int planned = plan.point.load(std::memory_order_relaxed);
    if (planned != kEveryPoint && planned != point) return false;
    const int count = plan.reached.fetch_add(1) + 1;
    if (count != plan.nth.load(std::memory_order_relaxed)) return false;
    plan.failed = point;
    const FaultPointRow& row = kPoints[point];
    if (plan.from_environment) {
        std::fprintf(stderr, "win32layer: fault plan: call %d, %s, fails\n", count, row.name);
    }
    if (row.report == WIN32LAYER_FAULT_BY_LAST_ERROR) SetLastError(row.error);
    return true;
}

DWORD FaultPointError(Win32LayerFaultPoint point) {
    return kPoints[point].error;
}

extern "C" WIN32LAYER_API BOOL Win32LayerFaultPointFails(int point) {
    if (point < 0 || point >= WIN32LAYER_FAULT_POINT_COUNT) return FALSE;
    return FaultPlanFails(static_cast<Win32LayerFaultPoint>(point)) ? TRUE : FALSE;
}

extern "C" WIN32LAYER_API BOOL Win32LayerSetFaultPlan(const char* point_name, int nth) {
    ReadEnvironmentPlan();
    FaultPlan& plan = Plan();
    const int point =
        point_name == nullptr ? kEveryPoint : PointByName(point_name, std::strlen(point_name));
    // Stop counting while the plan changes, so that no call fails by the old plan's number.
    plan.nth = 0;
    plan.from_environment = false;
    plan.reached = 0;
    plan.failed = -1;
    plan.paused = false;
    if (point == -2 || nth < 0) {
        plan.point = kEveryPoint;
        return FALSE;
    }
    plan.point = point;
    plan.nth = nth;
    return TRUE;
}

extern "C" WIN32LAYER_API void Win32LayerPauseFaultPlan(BOOL paused) {
    Plan().paused = paused != FALSE;
}

extern "C" WIN32LAYER_API int Win32LayerFaultPlanReached() {
    return Plan().reached.load();
}

extern "C" WIN32LAYER_API int Win32LayerFaultPlanFailedPoint() {
    return Plan().failed.load();
}

extern "C" WIN32LAYER_API const char* Win32LayerFaultPointName(int point) {
    return point >= 0 && point < WIN32LAYER_FAULT_POINT_COUNT ? kPoints[point].name : nullptr;
}

extern "C" WIN32LAYER_API const char* Win32LayerFaultPointReturns(int point) {
    return point >= 0 && point < WIN32LAYER_FAULT_POINT_COUNT ? kPoints[point].returns : nullptr;
}

extern "C" WIN32LAYER_API DWORD Win32LayerFaultPointError(int point) {
    return point >= 0 && point < WIN32LAYER_FAULT_POINT_COUNT ? kPoints[point].error : 0;
}
