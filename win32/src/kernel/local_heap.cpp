// The local heap: LocalAlloc hands out fixed blocks from the C heap. Every live block is
// recorded, so LocalFree refuses a pointer it did not hand out (as Windows validates heap
// handles) and tests can count what is still allocated.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "win32/kernel.h"
#include "fault_plan.h"
#include "win32/test_probes.h"

namespace {

// Larger requests fail without asking the C heap: no machine the layer runs on can meet them,
// and a sanitizer's allocator aborts instead of returning null. With 32-bit sizes every request
// is asked of the C heap, which then answers null for what it cannot give.
constexpr SIZE_T kLargestBlock =
    sizeof(SIZE_T) >= 8 ? static_cast<SIZE_T>(uint64_t{1} << 40) : ~SIZE_T{0};

struct LocalHeap {
    std::mutex lock;
    std::unordered_set<void*> blocks;
};

LocalHeap& Heap() {
    static LocalHeap heap;
    return heap;
}

}  // namespace

extern "C" WIN32LAYER_API HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    if ((flags & ~static_cast<UINT>(LMEM_MOVEABLE | LMEM_ZEROINIT)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (FaultPlanFails(WIN32LAYER_FAULT_LOCAL_ALLOC)) return nullptr;
    if (bytes > kLargestBlock) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A request of zero bytes still yields a distinct, valid block, as on Windows.
    size_t size = bytes == 0 ? 1 : bytes;
    void* block = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    LocalHeap& heap = Heap();
    try {
        std::lock_guard<std::mutex> guard(heap.lock);
        heap.blocks.insert(block);
    } catch (const std::bad_alloc&) {
        std::free(block);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return block;
}

extern "C" WIN32LAYER_API HLOCAL WINAPI LocalFree(HLOCAL block) {
    if (block == nullptr) return nullptr;
    LocalHeap& heap = Heap();
    {
        std::lock_guard<std::mutex> guard(heap.lock);
        if (heap.blocks.erase(block) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return block;
        }
    }
    std::free(block);
    return nullptr;
}

extern "C" WIN32LAYER_API int Win32LayerLiveLocalBlockCount() {
    LocalHeap& heap = Heap();
    std::lock_guard<std::mutex> guard(heap.lock);
    return static_cast<int>(heap.blocks.size());
}
