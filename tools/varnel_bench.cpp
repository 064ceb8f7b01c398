// varnel-bench: decodes a corpus of JPEG files with varnel's fast and reference kernels,
// libjpeg-turbo through TurboJPEG (default flags, and fast upsampling with the fast DCT) and
// stb_image, each to 24-bit BGR in memory on one thread, in interleaved repetitions. Prints
// per file and overall (geometric mean) the median megapixels per second of thread CPU time
// (steadier than wall-clock time on a shared machine) and each decoder's ratio to
// libjpeg-turbo, then the peak memory of one decode of each file, measured as the growth of
// the resident set in a child process.
//
// Usage: varnel-bench [--reps N] [--files TEXT] [--decoders TEXT] [--no-memory] [CORPUS_DIR]
// (default build/bench-corpus, 3 repetitions). --files keeps the files whose name contains
// TEXT, --decoders the decoders whose name contains TEXT (for a profiler run of one decoder).
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#elif defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wshadow"
#pragma clang diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#elif defined(__clang__)
#pragma clang diagnostic pop
#endif

#include "fast_scan.h"
#include "jpeg_decoder.h"
#include "load_jpeg_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

int64_t Stride(int32_t width) {
    return ((int64_t{width} * 24 + 31) >> 5) * 4;
}

// varnel's two paths as LoadJpeg runs them, from the file image in memory to BGR rows.
bool DecodeVarnel(const Bytes& file, bool fast, Bytes* out) {
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);
    bool ok = false;
    if (varnel::Attach(&decoder, file.data(), static_cast<int32_t>(file.size())) == 0) {
        if (fast) {
            if (varnel::IsDecodable(&decoder)) {
                const int64_t stride = Stride(decoder.width);
                out->resize(static_cast<size_t>(stride * decoder.height));
                ok = varnel::DecodeScanToRows(&decoder, out->data(), stride);
            }
        } else if (varnel::Decode(&decoder) == 0) {
            const int64_t stride = Stride(decoder.width);
            out->assign(static_cast<size_t>(stride * decoder.height), 0);
            for (int32_t y = 0; y < decoder.height; ++y) {
                uint8_t* row = out->data() + (decoder.height - 1 - y) * stride;
                const size_t at = static_cast<size_t>(y) * static_cast<size_t>(decoder.width);
                for (int32_t x = 0; x < decoder.width; ++x) {
                    *row++ = decoder.planes[2][at + x];
                    *row++ = decoder.planes[1][at + x];
                    *row++ = decoder.planes[0][at + x];
                }
            }
            ok = true;
        }
    }
    varnel::DestroyDecoder(&decoder);
    return ok;
}

bool DecodeTurbo(const Bytes& file, int flags, Bytes* out) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    bool ok = tjDecompressHeader3(handle, file.data(), file.size(), &width, &height, &subsampling,
                                  &colorspace) == 0;
    if (ok) {
        out->resize(static_cast<size_t>(width) * height * 3);
        ok = tjDecompress2(handle, file.data(), file.size(), out->data(), width, 0, height,
                           TJPF_BGR, flags) == 0;
    }
    tjDestroy(handle);
    return ok;
}

bool DecodeStb(const Bytes& file, Bytes* out) {
    int width = 0, height = 0, channels = 0;
    uint8_t* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width,
                                            &height, &channels, 3);
    if (pixels == nullptr) return false;
    // stb_image gives red, green, blue: swap to blue, green, red like the others.
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i) std::swap(pixels[3 * i], pixels[3 * i + 2]);
    out->assign(pixels, pixels + count * 3);
    stbi_image_free(pixels);
    return true;
}

struct Decoder {
    const char* name;
    bool (*decode)(const Bytes& file, Bytes* out);
};

const Decoder kDecoders[] = {
    {"varnel fast", [](const Bytes& f, Bytes* o) { return DecodeVarnel(f, true, o); }},
    {"varnel ref", [](const Bytes& f, Bytes* o) { return DecodeVarnel(f, false, o); }},
    {"turbo", [](const Bytes& f, Bytes* o) { return DecodeTurbo(f, 0, o); }},
    {"turbo fast",
     [](const Bytes& f, Bytes* o) {
         return DecodeTurbo(f, TJFLAG_FASTUPSAMPLE | TJFLAG_FASTDCT, o);
     }},
    {"stb_image", [](const Bytes& f, Bytes* o) { return DecodeStb(f, o); }},
};
constexpr int kDecoderCount = sizeof(kDecoders) / sizeof(kDecoders[0]);
constexpr int kTurbo = 2;

int64_t ReadStatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atoll(line.c_str() + std::strlen(field));
    }
    return -1;
}

// Peak memory of one decode, in KiB: a fresh process (this program with --measure) reads the
// file, notes its resident set, decodes once and reports how far the peak resident set grew.
// decoder -1 is LoadJpeg, which reads the file itself.
int64_t MeasureInChild(int decoder, const std::filesystem::path& path) {
    // The shell that popen runs would be /proc/self/exe itself: name this program.
    static const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command =
        "'" + self + "' --measure " + std::to_string(decoder) + " '" + path.string() + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    long long kib = -1;
    if (std::fscanf(pipe, "%lld", &kib) != 1) kib = -1;
    pclose(pipe);
    return kib;
}

int Measure(int decoder, const char* path) {
    Bytes bytes;
    if (decoder >= 0) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const int64_t before = ReadStatusKib("VmRSS:");
    if (decoder < 0) {
        const std::string narrow = path;
        const std::u16string wide(narrow.begin(), narrow.end());
        HBITMAP bitmap = varnel::LoadJpegWithKernels(
            nullptr, reinterpret_cast<const WCHAR*>(wide.c_str()), nullptr, varnel::Kernels::Fast);
        if (bitmap != nullptr) DeleteObject(bitmap);
    } else {
        Bytes decoded;
        kDecoders[decoder].decode(bytes, &decoded);
    }
    std::printf("%lld\n", static_cast<long long>(ReadStatusKib("VmHWM:") - before));
    return 0;
}

// CPU time of this thread: on a shared machine it leaves out the time the decode waits for
// a core, which wall-clock time would count.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool Selected(int decoder, const std::string& filter) {
    return std::string(kDecoders[decoder].name).find(filter) != std::string::npos;
}

double Median(std::vector<double> values) {
    if (values.empty()) return std::nan("");  // a decoder left out by --decoders
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) {
        return Measure(std::atoi(argv[2]), argv[3]);
    }
    int reps = 3;
    std::string file_filter;
    std::string decoder_filter;
    bool memory = true;
    std::filesystem::path corpus = "build/bench-corpus";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            file_filter = argv[++i];
        } else if (std::strcmp(argv[i], "--decoders") == 0 && i + 1 < argc) {
            decoder_filter = argv[++i];
        } else if (std::strcmp(argv[i], "--no-memory") == 0) {
            memory = false;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "Usage: varnel-bench [--reps N] [--files TEXT] [--decoders TEXT] [--no-memory] "
                "[CORPUS_DIR]\n"
                "Make the corpus first with scripts/make-bench-corpus.sh.\n");
            return 0;
        } else {
            corpus = argv[i];
        }
    }
    std::vector<std::filesystem::path> paths;
    if (std::filesystem::is_directory(corpus)) {
        for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
            if (entry.path().extension() == ".jpg" &&
                entry.path().filename().string().find(file_filter) != std::string::npos) {
                paths.push_back(entry.path());
            }
        }
    }
    std::sort(paths.begin(), paths.end());
    if (paths.empty()) {
        std::fprintf(stderr,
                     "varnel-bench: no .jpg files in %s; run scripts/make-bench-corpus.sh\n",
                     corpus.string().c_str());
        return 1;
    }

    struct FileRun {
        std::string name;
        Bytes bytes;
        int width = 0, height = 0;
        std::vector<double> seconds[kDecoderCount];
    };
    std::vector<FileRun> files;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        FileRun run;
        run.name = path.filename().string();
        run.bytes.assign(std::istreambuf_iterator<char>(in), {});
        tjhandle handle = tjInitDecompress();
        int subsampling = 0, colorspace = 0;
        tjDecompressHeader3(handle, run.bytes.data(), run.bytes.size(), &run.width, &run.height,
                            &subsampling, &colorspace);
        tjDestroy(handle);
        files.push_back(std::move(run));
    }

    // Interleaved: every repetition decodes every file with every decoder in turn.
    Bytes out;
    for (int rep = 0; rep < reps; ++rep) {
        for (FileRun& file : files) {
            for (int d = 0; d < kDecoderCount; ++d) {
                if (!Selected(d, decoder_filter)) continue;
                const double start = ThreadSeconds();
                const bool ok = kDecoders[d].decode(file.bytes, &out);
                const double stop = ThreadSeconds();
                if (!ok)
                    std::fprintf(stderr, "%s failed on %s\n", kDecoders[d].name, file.name.c_str());
                file.seconds[d].push_back(stop - start);
            }
        }
        std::fprintf(stderr, "repetition %d of %d done\n", rep + 1, reps);
    }

    std::printf(
        "Median megapixels per second of thread CPU time over %d interleaved repetitions, "
        "one thread; "
        "(x) = ratio to turbo\n\n",
        reps);
    std::printf("%-31s", "file");
    for (const Decoder& d : kDecoders) std::printf(" %18s", d.name);
    std::printf("\n");
    double log_sum[kDecoderCount] = {};
    double log_ratio_sum[kDecoderCount] = {};
    for (const FileRun& file : files) {
        std::printf("%-31s", file.name.c_str());
        const double megapixels = file.width * double(file.height) / 1e6;
        const double turbo = megapixels / Median(file.seconds[kTurbo]);
        for (int d = 0; d < kDecoderCount; ++d) {
            const double rate = megapixels / Median(file.seconds[d]);
            log_sum[d] += std::log(rate);
            log_ratio_sum[d] += std::log(rate / turbo);
            std::printf(" %10.1f (%4.2fx)", rate, rate / turbo);
        }
        std::printf("\n");
    }
    std::printf("%-31s", "geometric mean");
    for (int d = 0; d < kDecoderCount; ++d) {
        std::printf(" %10.1f (%4.2fx)", std::exp(log_sum[d] / files.size()),
                    std::exp(log_ratio_sum[d] / files.size()));
    }
    if (!memory) {
        std::printf("\n");
        return 0;
    }
    std::printf(
        "\n\nPeak memory of one decode in MiB (growth of the resident set; the input is "
        "already in memory except for LoadJpeg, which reads the file)\n\n");
    std::printf("%-31s %9s %9s", "file", "file", "bitmap");
    for (const Decoder& d : kDecoders) std::printf(" %11s", d.name);
    std::printf(" %11s %11s\n", "LoadJpeg", "budget");
    for (size_t f = 0; f < files.size(); ++f) {
        const FileRun& file = files[f];
        const double mib = 1024.0 * 1024.0;
        const double bitmap_bytes = static_cast<double>(Stride(file.width) * file.height);
        std::printf("%-31s %9.2f %9.2f", file.name.c_str(), file.bytes.size() / mib,
                    bitmap_bytes / mib);
        for (int d = 0; d < kDecoderCount; ++d) {
            std::printf(" %11.2f", MeasureInChild(d, paths[f]) / 1024.0);
        }
        const int64_t load_kib = MeasureInChild(-1, paths[f]);
        std::printf(" %11.2f %11.2f\n", load_kib / 1024.0,
                    (file.bytes.size() + bitmap_bytes) / mib + 1.0);
    }
    return 0;
}
