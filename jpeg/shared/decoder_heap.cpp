// The decoder's allocations and their fault hook.
#include "decoder_heap.h"

#include <atomic>
#include <cstdlib>

namespace varnel {

namespace {
std::atomic<DecoderHeapFaultHook> fault_hook{nullptr};

bool Fails() {
    const DecoderHeapFaultHook hook = fault_hook.load(std::memory_order_relaxed);
    return hook != nullptr && hook();
}
}  // namespace

void SetDecoderHeapFaultHook(DecoderHeapFaultHook hook) {
    fault_hook.store(hook, std::memory_order_relaxed);
}

void* DecoderAllocate(size_t bytes) {
    return Fails() ? nullptr : std::malloc(bytes);
}

void* DecoderAllocateZeroed(size_t count, size_t size) {
    return Fails() ? nullptr : std::calloc(count, size);
}

}  // namespace varnel
