// libFuzzer target: random sequences of registry calls (create and open keys through up to four
// handles, set, query and delete values, delete keys with their trees, count what a key holds,
// close handles) checked call by call against a plain in-memory model of keys and values. Names
// compare without regard to ASCII case; a handle whose key was deleted fails with
// ERROR_KEY_DELETED, also when a key of the same path exists again; a value read into a buffer too
// small gives ERROR_MORE_DATA and leaves the buffer untouched. The database lives in memory; every
// input starts on an empty HKEY_CURRENT_USER and leaves it empty again, with every handle closed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "live_count_check.h"
#include "win32/host_services.h"

namespace {

struct ByteSource {
    const uint8_t* data;
    size_t size;
    size_t position = 0;
    bool Empty() const { return position >= size; }
    uint8_t Next() { return position < size ? data[position++] : 0; }
};

struct StoredValue {
    DWORD type = 0;
    std::vector<uint8_t> bytes;
};

struct KeyModel {
    int serial = 0;  // tells a key from one created later at the same path
    std::map<std::string, StoredValue> values;  // by lower-case name
};

struct Slot {
    HKEY key = nullptr;
    std::string path;  // lower case
    int serial = 0;
    REGSAM access = 0;
};

struct Model {
    std::map<std::string, KeyModel> keys;  // by lower-case path below HKEY_CURRENT_USER
    int next_serial = 1;
    Slot slots[4];
};

const char* const kKeyNames[] = {"a", "A", "Bb", "key c"};
const char* const kValueNames[] = {"", "Mode", "mode", "Path", "x"};
const DWORD kTypes[] = {REG_SZ, REG_DWORD, REG_BINARY, REG_NONE, 0x12345678};
const REGSAM kAccess[] = {KEY_ALL_ACCESS, KEY_READ, KEY_QUERY_VALUE, KEY_SET_VALUE, 0};

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

LPCWSTR W(const std::u16string& text) {
    return reinterpret_cast<LPCWSTR>(text.c_str());
}

// A path of one to three names, as written (the case varies) and as the model keys it.
std::string MakePath(ByteSource* source) {
    const int depth = 1 + source->Next() % 3;
    std::string path;
    for (int i = 0; i < depth; ++i) {
        if (i > 0) path += '\\';
        path += kKeyNames[source->Next() % 4];
    }
    return path;
}

std::string Join(const std::string& base, const std::string& sub) {
    return base.empty() ? sub : base + "\\" + sub;
}

std::string ParentOf(const std::string& path) {
    const size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

[[noreturn]] void Fail(const char* call, LONG got, LONG expected) {
    std::fprintf(stderr, "%s returned %ld, the model expects %ld\n", call, static_cast<long>(got),
                 static_cast<long>(expected));
    std::abort();
}

void Expect(const char* call, LONG got, LONG expected) {
    if (got != expected) Fail(call, got, expected);
}

// The status that a call through a slot meets before its own work: the handle's key must still
// exist and the handle must have the access the call needs.
LONG SlotStatus(const Model& model, const Slot& slot, REGSAM needed) {
    if (slot.key == nullptr) return ERROR_INVALID_HANDLE;
    auto it = model.keys.find(slot.path);
    if (it == model.keys.end() || it->second.serial != slot.serial) return ERROR_KEY_DELETED;
    if ((slot.access & needed) != needed) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

void CloseSlot(Slot* slot) {
    if (slot->key != nullptr) Expect("RegCloseKey", RegCloseKey(slot->key), ERROR_SUCCESS);
    *slot = Slot{};
}

void CreateKey(Model* model, ByteSource* source) {
    Slot& slot = model->slots[source->Next() % 4];
    const std::string sub = MakePath(source);
    const REGSAM access = kAccess[source->Next() % 5];
    // Below the root, or below another slot's key.
    Slot* base = (source->Next() & 1) != 0 ? &model->slots[source->Next() % 4] : nullptr;
    std::string base_path;
    LONG expected = ERROR_SUCCESS;
    if (base != nullptr) {
        if (base->key == nullptr) return;  // an invalid handle is not the model's business
        expected = SlotStatus(*model, *base, 0);
        base_path = base->path;
    }
    const std::string full = Lower(Join(base_path, sub));
    const bool exists = model->keys.count(full) != 0;
    if (expected == ERROR_SUCCESS && !exists && base != nullptr &&
        (base->access & KEY_CREATE_SUB_KEY) == 0) {
        // Something would have to be created below a handle without the right to.
        std::string walk = base_path;
        size_t start = 0;
        const std::string lower_sub = Lower(sub);
        while (start <= lower_sub.size()) {
            size_t end = lower_sub.find('\\', start);
            if (end == std::string::npos) end = lower_sub.size();
            walk = Join(walk, lower_sub.substr(start, end - start));
            if (model->keys.count(walk) == 0) {
                expected = ERROR_ACCESS_DENIED;
                break;
            }
            start = end + 1;
        }
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    const std::u16string wide = Wide(sub);
    const LONG got =
        RegCreateKeyExW(base != nullptr ? base->key : HKEY_CURRENT_USER, W(wide), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, access, nullptr, &key, &disposition);
    Expect("RegCreateKeyExW", got, expected);
    if (got != ERROR_SUCCESS) return;
    const DWORD expected_disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    if (disposition != expected_disposition)
        Fail("RegCreateKeyExW disposition", static_cast<LONG>(disposition),
             static_cast<LONG>(expected_disposition));
    // Every missing key on the way exists now.
    for (std::string walk = full; !walk.empty(); walk = ParentOf(walk)) {
        if (walk.size() <= Lower(base_path).size()) break;
        if (model->keys.count(walk) == 0) model->keys[walk].serial = model->next_serial++;
    }
    CloseSlot(&slot);
    slot = Slot{key, full, model->keys[full].serial, access};
}

void OpenKey(Model* model, ByteSource* source) {
    Slot& slot = model->slots[source->Next() % 4];
    const std::string path = MakePath(source);
    const REGSAM access = kAccess[source->Next() % 5];
    const std::string lower = Lower(path);
    const auto it = model->keys.find(lower);
    HKEY key = nullptr;
    const std::u16string wide = Wide(path);
    const LONG got = RegOpenKeyExW(HKEY_CURRENT_USER, W(wide), 0, access, &key);
    Expect("RegOpenKeyExW", got, it != model->keys.end() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    if (got != ERROR_SUCCESS) {
        if (key != nullptr) Fail("RegOpenKeyExW result on failure", 1, 0);
        return;
    }
    CloseSlot(&slot);
    slot = Slot{key, lower, it->second.serial, access};
}

void SetValue(Model* model, ByteSource* source) {
    Slot& slot = model->slots[source->Next() % 4];
    const std::string name = kValueNames[source->Next() % 5];
    const DWORD type = kTypes[source->Next() % 5];
    std::vector<uint8_t> bytes(source->Next() % 41);
    for (uint8_t& byte : bytes) byte = source->Next();
    if (slot.key == nullptr) return;
    const LONG expected = SlotStatus(*model, slot, KEY_SET_VALUE);
    const std::u16string wide = Wide(name);
    const LONG got =
        RegSetValueExW(slot.key, W(wide), 0, type, bytes.empty() ? nullptr : bytes.data(),
                       static_cast<DWORD>(bytes.size()));
    Expect("RegSetValueExW", got, expected);
    if (got == ERROR_SUCCESS) model->keys[slot.path].values[Lower(name)] = StoredValue{type, bytes};
}

void QueryValue(Model* model, ByteSource* source) {
    const Slot& slot = model->slots[source->Next() % 4];
    const std::string name = kValueNames[source->Next() % 5];
    const int buffer_choice = source->Next() % 5;
    if (slot.key == nullptr) return;
    LONG expected = SlotStatus(*model, slot, KEY_QUERY_VALUE);
    const StoredValue* stored = nullptr;
    if (expected == ERROR_SUCCESS) {
        const auto& values = model->keys[slot.path].values;
        const auto it = values.find(Lower(name));
        if (it == values.end()) {
            expected = ERROR_FILE_NOT_FOUND;
        } else {
            stored = &it->second;
        }
    }
    const DWORD size = stored != nullptr ? static_cast<DWORD>(stored->bytes.size()) : 8;
    // 0: size only; 1: exact; 2: one byte short; 3: room to spare; 4: type only.
    DWORD capacity = size;
    if (buffer_choice == 2) capacity = size > 0 ? size - 1 : 0;
    if (buffer_choice == 3) capacity = size + 8;
    if (stored != nullptr && buffer_choice == 2 && size > 0) expected = ERROR_MORE_DATA;
    std::vector<uint8_t> buffer(capacity + 4, 0xBD);
    DWORD type = 0xDEADBEEF;
    DWORD data_size = capacity;
    const std::u16string wide = Wide(name);
    const bool with_buffer = buffer_choice != 0 && buffer_choice != 4;
    const LONG got =
        RegQueryValueExW(slot.key, W(wide), nullptr, &type, with_buffer ? buffer.data() : nullptr,
                         buffer_choice == 4 ? nullptr : &data_size);
    Expect("RegQueryValueExW", got, expected);
    for (size_t i = capacity; i < buffer.size(); ++i) {
        if (buffer[i] != 0xBD) Fail("RegQueryValueExW wrote past the buffer", 1, 0);
    }
    if (stored == nullptr) return;
    if (type != stored->type)
        Fail("RegQueryValueExW type", static_cast<LONG>(type), static_cast<LONG>(stored->type));
    if (buffer_choice != 4 && data_size != size) {
        Fail("RegQueryValueExW size", static_cast<LONG>(data_size), static_cast<LONG>(size));
    }
    if (got == ERROR_MORE_DATA) {
        for (size_t i = 0; i < capacity; ++i) {
            if (buffer[i] != 0xBD) Fail("RegQueryValueExW wrote into a short buffer", 1, 0);
        }
    } else if (with_buffer && size > 0 &&
               std::memcmp(buffer.data(), stored->bytes.data(), size) != 0) {
        Fail("RegQueryValueExW bytes differ", 1, 0);
    }
}

void DeleteValue(Model* model, ByteSource* source) {
    Slot& slot = model->slots[source->Next() % 4];
    const std::string name = kValueNames[source->Next() % 5];
    if (slot.key == nullptr) return;
    LONG expected = SlotStatus(*model, slot, KEY_SET_VALUE);
    if (expected == ERROR_SUCCESS && model->keys[slot.path].values.erase(Lower(name)) == 0) {
        expected = ERROR_FILE_NOT_FOUND;
    }
    const std::u16string wide = Wide(name);
    Expect("RegDeleteValueW", RegDeleteValueW(slot.key, W(wide)), expected);
}

void DeleteKey(Model* model, ByteSource* source) {
    const std::string path = MakePath(source);
    const std::string lower = Lower(path);
    const LONG expected = model->keys.count(lower) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    const std::u16string wide = Wide(path);
    Expect("RegDeleteKeyW", RegDeleteKeyW(HKEY_CURRENT_USER, W(wide)), expected);
    if (expected != ERROR_SUCCESS) return;
    // The key goes with its whole tree, as on the device.
    const std::string prefix = lower + "\\";
    auto below = model->keys.lower_bound(prefix);
    while (below != model->keys.end() && below->first.compare(0, prefix.size(), prefix) == 0) {
        below = model->keys.erase(below);
    }
    model->keys.erase(lower);
}

void CountContents(Model* model, ByteSource* source) {
    const Slot& slot = model->slots[source->Next() % 4];
    if (slot.key == nullptr) return;
    const LONG expected = SlotStatus(*model, slot, KEY_QUERY_VALUE);
    DWORD sub_keys = 0xDEAD;
    DWORD values = 0xDEAD;
    const LONG got = RegQueryInfoKeyW(slot.key, nullptr, nullptr, nullptr, &sub_keys, nullptr,
                                      nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    Expect("RegQueryInfoKeyW", got, expected);
    if (got != ERROR_SUCCESS) return;
    DWORD expected_sub_keys = 0;
    const std::string prefix = slot.path + "\\";
    for (const auto& [path, key] : model->keys) {
        if (path.compare(0, prefix.size(), prefix) == 0 &&
            path.find('\\', prefix.size()) == std::string::npos) {
            ++expected_sub_keys;
        }
    }
    Expect("RegQueryInfoKeyW sub keys", static_cast<LONG>(sub_keys),
           static_cast<LONG>(expected_sub_keys));
    Expect("RegQueryInfoKeyW values", static_cast<LONG>(values),
           static_cast<LONG>(model->keys[slot.path].values.size()));
}

// Deletes every key the model holds, the deepest first, and checks that the root is empty.
void Empty(Model* model) {
    for (auto it = model->keys.rbegin(); it != model->keys.rend(); ++it) {
        const std::u16string wide = Wide(it->first);
        Expect("RegDeleteKeyW", RegDeleteKeyW(HKEY_CURRENT_USER, W(wide)), ERROR_SUCCESS);
    }
    model->keys.clear();
    DWORD sub_keys = 1;
    DWORD values = 1;
    Expect("RegQueryInfoKeyW",
           RegQueryInfoKeyW(HKEY_CURRENT_USER, nullptr, nullptr, nullptr, &sub_keys, nullptr,
                            nullptr, &values, nullptr, nullptr, nullptr, nullptr),
           ERROR_SUCCESS);
    Expect("keys left under the root", static_cast<LONG>(sub_keys), 0);
    Expect("values left under the root", static_cast<LONG>(values), 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    static const bool in_memory = [] {
        Win32LayerSetRegistryPath(":memory:");
        return true;
    }();
    (void)in_memory;
    const fuzzing::LiveCounts before = fuzzing::TakeLiveCounts();
    Model model;
    ByteSource source{data, size};
    while (!source.Empty()) {
        switch (source.Next() % 8) {
            case 0:
                CreateKey(&model, &source);
                break;
            case 1:
                OpenKey(&model, &source);
                break;
            case 2:
                SetValue(&model, &source);
                break;
            case 3:
                QueryValue(&model, &source);
                break;
            case 4:
                DeleteValue(&model, &source);
                break;
            case 5:
                DeleteKey(&model, &source);
                break;
            case 6:
                CountContents(&model, &source);
                break;
            default:
                CloseSlot(&model.slots[source.Next() % 4]);
                break;
        }
    }
    for (Slot& slot : model.slots) CloseSlot(&slot);
    Empty(&model);
    fuzzing::RequireSameLiveCounts(before, "registry calls");
    return 0;
}
