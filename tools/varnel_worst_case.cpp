// varnel-worst-case: decodes every file it is given through LoadJpeg and measures, for each, the
// time and the peak heap held during the call (file image, pixel rows, bitmap, decoder record),
// then prints the worst cases: time per byte of input plus pixel of picture, heap per byte of
// input, and heap beyond the bitmap and the file image. Meant for the fuzz corpora and for
// files with extreme headers (scripts/worst-case-inputs.sh).
//
// Usage: varnel-worst-case [--reference] [--top N] FILE_OR_FOLDER...
// The heap is counted by wrapping the C allocator, so this tool is not built with sanitizers.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jpeg_decoder.h"
#include "load_jpeg_kernels.h"
#include "varnel.h"

// The heap meter: every allocation of the process goes through these, so the bytes held by
// varnel, the layer and the bitmap are counted alike.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<int64_t> held{0};
std::atomic<int64_t> peak{0};

void* Counted(void* pointer) {
    if (pointer != nullptr) {
        const int64_t now = held += static_cast<int64_t>(malloc_usable_size(pointer));
        int64_t seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
    }
    return pointer;
}

void Uncount(void* pointer) {
    if (pointer != nullptr) held -= static_cast<int64_t>(malloc_usable_size(pointer));
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
    return Counted(__libc_malloc(size));
}
void* calloc(size_t count, size_t size) {
    return Counted(__libc_calloc(count, size));
}
void* realloc(void* pointer, size_t size) {
    Uncount(pointer);
    void* moved = __libc_realloc(pointer, size);
    if (moved == nullptr && size != 0) return Counted(pointer);  // the old block stays
    return Counted(moved);
}
void free(void* pointer) {
    Uncount(pointer);
    __libc_free(pointer);
}
void* memalign(size_t alignment, size_t size) {
    return Counted(__libc_memalign(alignment, size));
}
void* aligned_alloc(size_t alignment, size_t size) {
    return Counted(__libc_memalign(alignment, size));
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    void* pointer = Counted(__libc_memalign(alignment, size));
    if (pointer == nullptr) return ENOMEM;
    *out = pointer;
    return 0;
}
}

namespace {

struct Measure {
    std::string file;
    int64_t bytes = 0;   // file size
    int64_t pixels = 0;  // width x height that the header claims (0 when none)
    int32_t width = 0;
    int32_t height = 0;
    bool decoded = false;
    double seconds = 0;
    int64_t heap = 0;    // peak heap held during the call, above what was held before
    int64_t bitmap = 0;  // bytes of the bitmap's rows when decoded
};

double NanosecondsPerUnit(const Measure& m) {
    return m.seconds * 1e9 / static_cast<double>(m.bytes + m.pixels);
}

double HeapPerByte(const Measure& m) {
    return static_cast<double>(m.heap) / static_cast<double>(std::max<int64_t>(m.bytes, 1));
}

int64_t HeapBeyond(const Measure& m) {
    return m.heap - m.bitmap - m.bytes;
}

Measure MeasureFile(const std::filesystem::path& path, varnel::Kernels kernels) {
    Measure m;
    m.file = path.string();
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    m.bytes = static_cast<int64_t>(data.size());
    varnel::JpegDecoder header;
    varnel::ConstructDecoder(&header);
    if (varnel::Attach(&header, data.data(), static_cast<int32_t>(data.size())) == 0) {
        m.width = header.width;
        m.height = header.height;
        m.pixels = int64_t{header.width} * header.height;
    }
    varnel::DestroyDecoder(&header);

    const std::string narrow = std::filesystem::absolute(path).string();
    const std::u16string wide(narrow.begin(), narrow.end());  // the corpora's paths are ASCII
    // Small files are decoded a few times and the fastest run is kept.
    const int runs = m.bytes + m.pixels < 200000 ? 5 : 1;
    m.seconds = 1e30;
    for (int run = 0; run < runs; ++run) {
        const int64_t base = held.load();
        peak = base;
        POINT size{0, 0};
        const auto start = std::chrono::steady_clock::now();
        HBITMAP bitmap = varnel::LoadJpegWithKernels(
            nullptr, reinterpret_cast<const WCHAR*>(wide.c_str()), &size, kernels);
        const auto stop = std::chrono::steady_clock::now();
        m.seconds = std::min(m.seconds, std::chrono::duration<double>(stop - start).count());
        m.heap = peak.load() - base;
        m.decoded = bitmap != nullptr;
        if (bitmap != nullptr) {
            m.bitmap = ((int64_t{size.x} * 24 + 31) / 32) * 4 * size.y;
            DeleteObject(bitmap);
        }
    }
    return m;
}

void PrintRow(const Measure& m) {
    std::printf(
        "  %-60s %9lld B %6d x %-6d %-4s %10.3f ms %8.1f ns/unit %12lld B heap %8.1f B/B "
        "%+12lld B beyond\n",
        m.file.c_str(), static_cast<long long>(m.bytes), m.width, m.height,
        m.decoded ? "ok" : "null", m.seconds * 1e3, NanosecondsPerUnit(m),
        static_cast<long long>(m.heap), HeapPerByte(m), static_cast<long long>(HeapBeyond(m)));
}

template <typename Key>
void PrintWorst(const char* title, std::vector<Measure> all, size_t top, Key key) {
    std::sort(all.begin(), all.end(),
              [&](const Measure& a, const Measure& b) { return key(a) > key(b); });
    std::printf("%s\n", title);
    for (size_t i = 0; i < std::min(top, all.size()); ++i) PrintRow(all[i]);
}

}  // namespace

int main(int argc, char** argv) {
    varnel::Kernels kernels = varnel::Kernels::Fast;
    size_t top = 5;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--reference") {
            kernels = varnel::Kernels::Reference;
        } else if (argument == "--top" && i + 1 < argc) {
            top = static_cast<size_t>(std::max(1, std::atoi(argv[++i])));
        } else if (std::filesystem::is_directory(argument)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argument)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr,
                     "usage: varnel-worst-case [--reference] [--top N] FILE_OR_FOLDER...\n");
        return 2;
    }
    std::sort(files.begin(), files.end());
    std::vector<Measure> all;
    for (const auto& file : files) all.push_back(MeasureFile(file, kernels));

    double seconds = 0;
    for (const Measure& m : all) seconds += m.seconds;
    std::printf("%zu files, %s kernels, %.2f s of decoding\n", all.size(),
                kernels == varnel::Kernels::Fast ? "fast" : "reference", seconds);
    PrintWorst("Slowest per byte of file plus pixel of picture:", all, top, NanosecondsPerUnit);
    PrintWorst("Most heap per byte of file:", all, top, HeapPerByte);
    PrintWorst("Most heap beyond the bitmap and the file image:", all, top, HeapBeyond);
    return 0;
}
