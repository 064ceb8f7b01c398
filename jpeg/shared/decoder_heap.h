// The decoder's heap blocks (its reader, comment, Huffman arrays, planes and scan buffers) all
// come from here: the general-purpose heap, behind a hook that a platform may set to make
// chosen allocations fail, so that every failure path of a decode can be walked through.
#pragma once

#include <cstddef>

namespace varnel {

// Asked before each allocation; true makes it fail. Null (the default) never fails one.
using DecoderHeapFaultHook = bool (*)();
void SetDecoderHeapFaultHook(DecoderHeapFaultHook hook);

// std::malloc and std::calloc, unless the hook says the allocation fails; std::free releases.
void* DecoderAllocate(size_t bytes);
void* DecoderAllocateZeroed(size_t count, size_t size);

}  // namespace varnel
