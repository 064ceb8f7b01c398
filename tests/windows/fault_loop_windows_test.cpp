// The fault loop of LoadJpeg on Windows (under Wine): varnel.dll's imports of the calls that
// can fail (the local heap, the file calls, GetDC, CreateDIBSection, and the C heap under the
// decoder) are pointed at wrappers of this test, which count them and make the N-th fail, the
// way the Linux layer's fault plan does. Each run must give a null bitmap or the whole picture,
// and release every block, file, device context and bitmap it obtained.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#ifndef FAULT_LOOP_JPEG_DIR
#error "FAULT_LOOP_JPEG_DIR names the folder of the JPEG files made by cjpeg"
#endif

namespace {

using LoadJpegFunction = HBITMAP(WINAPI*)(HWND, const WCHAR*, POINT*);

// The plan: count every wrapped call; the one numbered `fail_at` fails (0: none fails).
struct Plan {
    int reached = 0;
    int fail_at = 0;
    const char* failed = nullptr;
    // What the calls obtained and did not give back yet.
    std::set<void*> local_blocks;
    std::set<void*> heap_blocks;
    std::set<HANDLE> files;
    std::set<HDC> dcs;
    std::set<HGDIOBJ> bitmaps;
};
Plan plan;

bool Fails(const char* name) {
    if (++plan.reached != plan.fail_at) return false;
    plan.failed = name;
    return true;
}

// The real functions, as varnel.dll's import table held them.
decltype(&LocalAlloc) real_local_alloc;
decltype(&LocalFree) real_local_free;
decltype(&CreateFileW) real_create_file;
decltype(&GetFileSize) real_get_file_size;
decltype(&ReadFile) real_read_file;
decltype(&CloseHandle) real_close_handle;
decltype(&GetDC) real_get_dc;
decltype(&ReleaseDC) real_release_dc;
decltype(&CreateDIBSection) real_create_dib_section;
decltype(&DeleteObject) real_delete_object;
void* (*real_malloc)(size_t);
void* (*real_calloc)(size_t, size_t);
void (*real_free)(void*);

HLOCAL WINAPI FaultLocalAlloc(UINT flags, SIZE_T bytes) {
    if (Fails("LocalAlloc")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HLOCAL block = real_local_alloc(flags, bytes);
    if (block != nullptr) plan.local_blocks.insert(block);
    return block;
}
HLOCAL WINAPI FaultLocalFree(HLOCAL block) {
    plan.local_blocks.erase(block);
    return real_local_free(block);
}
HANDLE WINAPI FaultCreateFile(LPCWSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE template_file) {
    if (Fails("CreateFileW")) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file =
        real_create_file(path, access, share, security, disposition, flags, template_file);
    if (file != INVALID_HANDLE_VALUE) plan.files.insert(file);
    return file;
}
DWORD WINAPI FaultGetFileSize(HANDLE file, LPDWORD high) {
    if (Fails("GetFileSize")) {
        SetLastError(ERROR_GEN_FAILURE);
        return INVALID_FILE_SIZE;
    }
    return real_get_file_size(file, high);
}
BOOL WINAPI FaultReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read,
                          LPOVERLAPPED overlapped) {
    if (Fails("ReadFile")) {
        // A short read that fails, as when the card is pulled out half-way.
        real_read_file(file, buffer, to_read / 2, read, overlapped);
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    return real_read_file(file, buffer, to_read, read, overlapped);
}
BOOL WINAPI FaultCloseHandle(HANDLE handle) {
    plan.files.erase(handle);
    return real_close_handle(handle);
}
HDC WINAPI FaultGetDC(HWND window) {
    if (Fails("GetDC")) return nullptr;
    HDC dc = real_get_dc(window);
    if (dc != nullptr) plan.dcs.insert(dc);
    return dc;
}
int WINAPI FaultReleaseDC(HWND window, HDC dc) {
    plan.dcs.erase(dc);
    return real_release_dc(window, dc);
}
HBITMAP WINAPI FaultCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                     HANDLE section, DWORD offset) {
    if (Fails("CreateDIBSection")) {
        if (bits != nullptr) *bits = nullptr;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HBITMAP bitmap = real_create_dib_section(dc, info, usage, bits, section, offset);
    if (bitmap != nullptr) plan.bitmaps.insert(bitmap);
    return bitmap;
}
BOOL WINAPI FaultDeleteObject(HGDIOBJ object) {
    plan.bitmaps.erase(object);
    return real_delete_object(object);
}
void* FaultMalloc(size_t bytes) {
    if (Fails("malloc")) return nullptr;
    void* block = real_malloc(bytes);
    if (block != nullptr) plan.heap_blocks.insert(block);
    return block;
}
void* FaultCalloc(size_t count, size_t size) {
    if (Fails("calloc")) return nullptr;
    void* block = real_calloc(count, size);
    if (block != nullptr) plan.heap_blocks.insert(block);
    return block;
}
void FaultFree(void* block) {
    plan.heap_blocks.erase(block);
    real_free(block);
}

struct Hook {
    const char* name;
    void* wrapper;
    void** real;
};

// Points each import of `module` named in `hooks` at its wrapper, keeping the real address.
// Returns how many imports were hooked.
int HookImports(HMODULE module, const std::vector<Hook>& hooks) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return 0;
    int hooked = 0;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* by_name =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Hook& hook : hooks) {
                if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), hook.name) != 0) {
                    continue;
                }
                DWORD protection = 0;
                VirtualProtect(&addresses->u1.Function, sizeof(addresses->u1.Function),
                               PAGE_READWRITE, &protection);
                *hook.real = reinterpret_cast<void*>(addresses->u1.Function);
                addresses->u1.Function = reinterpret_cast<ULONG_PTR>(hook.wrapper);
                VirtualProtect(&addresses->u1.Function, sizeof(addresses->u1.Function), protection,
                               &protection);
                ++hooked;
            }
        }
    }
    return hooked;
}

std::wstring WinePath(const std::string& unix_path) {
    std::wstring path = L"Z:";
    for (char c : unix_path) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    return path;
}

std::vector<uint8_t> Bits(HBITMAP bitmap) {
    DIBSECTION section{};
    if (GetObjectW(bitmap, sizeof(section), &section) != static_cast<int>(sizeof(section))) {
        return {};
    }
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
    return std::vector<uint8_t>(
        bits, bits + static_cast<size_t>(section.dsBm.bmWidthBytes) * section.dsBm.bmHeight);
}

class WindowsFaultLoop : public testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryW(L"varnel.dll");
        ASSERT_NE(module_, nullptr);
        load_jpeg_ = reinterpret_cast<LoadJpegFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "LoadJpeg")));
        ASSERT_NE(load_jpeg_, nullptr);
        const std::vector<Hook> hooks = {
            {"LocalAlloc", reinterpret_cast<void*>(FaultLocalAlloc),
             reinterpret_cast<void**>(&real_local_alloc)},
            {"LocalFree", reinterpret_cast<void*>(FaultLocalFree),
             reinterpret_cast<void**>(&real_local_free)},
            {"CreateFileW", reinterpret_cast<void*>(FaultCreateFile),
             reinterpret_cast<void**>(&real_create_file)},
            {"GetFileSize", reinterpret_cast<void*>(FaultGetFileSize),
             reinterpret_cast<void**>(&real_get_file_size)},
            {"ReadFile", reinterpret_cast<void*>(FaultReadFile),
             reinterpret_cast<void**>(&real_read_file)},
            {"CloseHandle", reinterpret_cast<void*>(FaultCloseHandle),
             reinterpret_cast<void**>(&real_close_handle)},
            {"GetDC", reinterpret_cast<void*>(FaultGetDC), reinterpret_cast<void**>(&real_get_dc)},
            {"ReleaseDC", reinterpret_cast<void*>(FaultReleaseDC),
             reinterpret_cast<void**>(&real_release_dc)},
            {"CreateDIBSection", reinterpret_cast<void*>(FaultCreateDIBSection),
             reinterpret_cast<void**>(&real_create_dib_section)},
            {"DeleteObject", reinterpret_cast<void*>(FaultDeleteObject),
             reinterpret_cast<void**>(&real_delete_object)},
            {"malloc", reinterpret_cast<void*>(FaultMalloc),
             reinterpret_cast<void**>(&real_malloc)},
            {"calloc", reinterpret_cast<void*>(FaultCalloc),
             reinterpret_cast<void**>(&real_calloc)},
            {"free", reinterpret_cast<void*>(FaultFree), reinterpret_cast<void**>(&real_free)},
        };
        hooked_ = HookImports(module_, hooks);
    }

    static HMODULE module_;
    static LoadJpegFunction load_jpeg_;
    static int hooked_;
};
HMODULE WindowsFaultLoop::module_ = nullptr;
LoadJpegFunction WindowsFaultLoop::load_jpeg_ = nullptr;
int WindowsFaultLoop::hooked_ = 0;

TEST_P(WindowsFaultLoop, LoadJpegGivesANullBitmapOrTheWholePictureAndKeepsNothing) {
    // Every call LoadJpeg relies on is imported by name and hooked (malloc and calloc: the
    // decoder's blocks, from the C runtime DLL).
    ASSERT_EQ(hooked_, 13);
    const std::wstring path =
        WinePath(std::string(FAULT_LOOP_JPEG_DIR) + "/" + GetParam() + ".jpg");
    plan = Plan{};
    POINT size{0, 0};
    HBITMAP whole = load_jpeg_(nullptr, path.c_str(), &size);
    ASSERT_NE(whole, nullptr);
    const std::vector<uint8_t> expected = Bits(whole);
    DeleteObject(whole);
    const int points = plan.reached;
    ASSERT_GT(points, 0);

    for (int nth = 1; nth <= points; ++nth) {
        plan = Plan{};
        plan.fail_at = nth;
        POINT got{-7, -7};
        HBITMAP bitmap = load_jpeg_(nullptr, path.c_str(), &got);
        SCOPED_TRACE(std::string(GetParam()) + ": call " + std::to_string(nth) + " of " +
                     std::to_string(points) + " fails (" +
                     (plan.failed != nullptr ? plan.failed : "never reached") + ")");
        EXPECT_NE(plan.failed, nullptr);
        if (bitmap != nullptr) {
            EXPECT_EQ(Bits(bitmap), expected) << "a picture that is not the file's";
            EXPECT_TRUE(got.x == size.x && got.y == size.y);
            plan.bitmaps.erase(bitmap);
            DeleteObject(bitmap);
        } else {
            EXPECT_TRUE((got.x == -7 && got.y == -7) || (got.x == size.x && got.y == size.y));
        }
        EXPECT_TRUE(plan.local_blocks.empty()) << plan.local_blocks.size() << " local blocks";
        EXPECT_TRUE(plan.heap_blocks.empty()) << plan.heap_blocks.size() << " heap blocks";
        EXPECT_TRUE(plan.files.empty()) << plan.files.size() << " files";
        EXPECT_TRUE(plan.dcs.empty()) << plan.dcs.size() << " device contexts";
        EXPECT_TRUE(plan.bitmaps.empty()) << plan.bitmaps.size() << " bitmaps";
    }
    plan = Plan{};
    std::printf("[fault loop] LoadJpeg under Wine, %s: %d failure points, each passed\n",
                GetParam(), points);
}

INSTANTIATE_TEST_SUITE_P(Files, WindowsFaultLoop,
                         testing::Values("baseline", "restart_interval", "greyscale"));

}  // namespace
