// Handle values: bits 0-1 are zero (as Windows handles are multiples of 4), then the slot index
// plus one, then the slot's generation. With 64-bit pointers the index has 24 bits (bits 2-25)
// and the generation 32 (bits 26-57); with 32-bit pointers, as on the device, the index has 16
// bits (bits 2-17, 65534 live handles, more than a Windows process may hold of its GDI objects)
// and the generation the 14 bits left (bits 18-31). A slot's generation advances every time it
// is released, so an old value of a reused slot no longer matches until the generation has
// come round again.
#include "handle_table.h"

#include <mutex>
#include <vector>

namespace {

constexpr uintptr_t kPointerBits = 8 * sizeof(uintptr_t);
constexpr uintptr_t kIndexBits = kPointerBits >= 64 ? 24 : 16;
constexpr uintptr_t kIndexMask = (uintptr_t{1} << kIndexBits) - 1;
constexpr uintptr_t kGenerationBits =
    kPointerBits - 2 - kIndexBits < 32 ? kPointerBits - 2 - kIndexBits : 32;
constexpr uint32_t kGenerationMask = static_cast<uint32_t>((uint64_t{1} << kGenerationBits) - 1);
constexpr size_t kMaxSlots = kIndexMask - 1;
static_assert(2 + kIndexBits + kGenerationBits <= kPointerBits, "handle values fit a pointer");

struct HandleSlot {
    void* object = nullptr;
    uint32_t generation = 1;
    HandleKind kind = HandleKind::Count;
    bool live = false;
    bool stock = false;
};

struct HandleTable {
    std::mutex lock;
    std::vector<HandleSlot> slots;
    std::vector<uint32_t> free_slots;
    int live_counts[static_cast<int>(HandleKind::Count)] = {};
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

HANDLE EncodeHandle(size_t index, uint32_t generation) {
    uintptr_t value = ((static_cast<uintptr_t>(generation) << kIndexBits) | (index + 1)) << 2;
    return reinterpret_cast<HANDLE>(value);
}

// The slot a handle value names, when it is live with the generation encoded; else null.
HandleSlot* FindSlot(HandleTable& table, const void* handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if ((value & 3) != 0) return nullptr;
    value >>= 2;
    uintptr_t index_plus_one = value & kIndexMask;
    uintptr_t generation = value >> kIndexBits;
    if (index_plus_one == 0 || index_plus_one > table.slots.size()) return nullptr;
    if (generation > kGenerationMask) return nullptr;
    HandleSlot& slot = table.slots[index_plus_one - 1];
    if (!slot.live || slot.generation != generation) return nullptr;
    return &slot;
}

HANDLE Create(HandleKind kind, void* object, bool stock) {
    if (kind >= HandleKind::Count || object == nullptr) return nullptr;
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    size_t index;
    if (!table.free_slots.empty()) {
        index = table.free_slots.back();
        table.free_slots.pop_back();
    } else {
        if (table.slots.size() >= kMaxSlots) return nullptr;
        table.slots.emplace_back();
        index = table.slots.size() - 1;
    }
    HandleSlot& slot = table.slots[index];
    slot.object = object;
    slot.kind = kind;
    slot.live = true;
    slot.stock = stock;
    if (!stock) ++table.live_counts[static_cast<int>(kind)];
    return EncodeHandle(index, slot.generation);
}

}  // namespace

HANDLE HandleCreate(HandleKind kind, void* object) {
    return Create(kind, object, false);
}

HANDLE HandleCreateStock(HandleKind kind, void* object) {
    return Create(kind, object, true);
}

void* HandleLookup(const void* handle, HandleKind kind) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    HandleSlot* slot = FindSlot(table, handle);
    if (slot == nullptr || slot->kind != kind) return nullptr;
    return slot->object;
}

void* HandleRelease(const void* handle, HandleKind kind) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    HandleSlot* slot = FindSlot(table, handle);
    if (slot == nullptr || slot->kind != kind || slot->stock) return nullptr;
    void* object = slot->object;
    slot->object = nullptr;
    slot->live = false;
    // Generation 0 is never issued, so a value with a wrapped generation cannot match.
    slot->generation = slot->generation == kGenerationMask ? 1 : slot->generation + 1;
    --table.live_counts[static_cast<int>(kind)];
    table.free_slots.push_back(static_cast<uint32_t>(slot - table.slots.data()));
    return object;
}

bool HandleKindOf(const void* handle, HandleKind* kind) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    HandleSlot* slot = FindSlot(table, handle);
    if (slot == nullptr) return false;
    if (kind != nullptr) *kind = slot->kind;
    return true;
}

bool HandleIsStock(const void* handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    HandleSlot* slot = FindSlot(table, handle);
    return slot != nullptr && slot->stock;
}

int HandleLiveCount(HandleKind kind) {
    if (kind >= HandleKind::Count) return -1;
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.live_counts[static_cast<int>(kind)];
}
