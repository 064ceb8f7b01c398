// varnel-bench: varnel against libjpeg-turbo (through TurboJPEG, with its default flags and
// with fast upsampling and the fast DCT; and with its SIMD switched off) and stb_image, on one
// thread, in interleaved repetitions. It prints three tables, per file and as geometric means:
//
// 1. What a caller gets, the headline: LoadJpeg from the file's path to the DIB section, and
//    each peer from the path to its pixels in memory, every decode allocating its output
//    afresh as a one-shot caller does (and freeing it); the median of wall-clock time.
// 2. The decoder alone, from the file image in memory to BGR rows in a reused buffer; the
//    median of the thread's CPU time (steadier than wall-clock time on a shared machine).
// 3. The peak memory of one decode of each file, measured as the growth of the resident set
//    in a child process.
//
// Ratios are to TurboJPEG's default decode; the last column of the first two tables is
// varnel's ratio to libjpeg-turbo without SIMD, which is what the product's devices are up
// against. libjpeg-turbo reads JSIMD_FORCENONE once, so its SIMD-less decodes run in a child
// process of this program started with it in the environment, which takes its turn in the
// interleaving and times its own decodes. The header names varnel's kernel set (portable in a
// VARNEL_PORTABLE_KERNELS build) and the load average before and after.
//
// Usage: varnel-bench [--reps N] [--files TEXT] [--decoders TEXT] [--kernels SET] [--no-memory]
//                     [CORPUS_DIR]
// (default build/bench-corpus, 3 repetitions). --files keeps the files whose name contains
// TEXT, --decoders the decoders whose name contains TEXT, or those of a comma-separated list of
// whole names ("varnel,turbo"), for a profiler run of one decoder; the figures of a decoder left
// out, and the ratios to it, print as "-". --kernels portable, sse2 or avx2 runs varnel's columns
// of both timed tables with that kernel set, where the build and the processor have it: what
// LoadJpeg gives on a processor whose best set that is (sse2: older x86 and the 32-bit Windows
// build).
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
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

#include "fast_kernels.h"
#include "fast_scan.h"
#include "jpeg_decoder.h"
#include "load_jpeg_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

int64_t Stride(int32_t width) {
    return ((int64_t{width} * 24 + 31) >> 5) * 4;
}

double Seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// --- Decoders from the file image in memory (the decoder-only table) ---

// The kernel set of varnel's columns (--kernels); by default the one LoadJpeg runs here.
varnel::KernelSet g_kernel_set = varnel::BestKernelSet();

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
                ok = varnel::DecodeScanToRows(&decoder, out->data(), stride,
                                              varnel::KernelsOf(g_kernel_set));
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

// --- Decoders from the file's path, output allocated per call (the headline table) ---

bool LoadVarnel(const std::string& path) {
    const std::u16string wide(path.begin(), path.end());
    POINT size{};
    HBITMAP bitmap = varnel::LoadJpegWithKernelSet(
        nullptr, reinterpret_cast<const WCHAR*>(wide.c_str()), &size, g_kernel_set);
    if (bitmap == nullptr) return false;
    DeleteObject(bitmap);
    return true;
}

// The whole file in a fresh block, as a caller of TurboJPEG reads it.
std::unique_ptr<uint8_t[]> ReadWhole(const std::string& path, size_t* size) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    std::fseek(file, 0, SEEK_END);
    const long length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    std::unique_ptr<uint8_t[]> bytes(length > 0 ? new uint8_t[static_cast<size_t>(length)]
                                                : nullptr);
    *size = length > 0 && std::fread(bytes.get(), 1, static_cast<size_t>(length), file) ==
                              static_cast<size_t>(length)
                ? static_cast<size_t>(length)
                : 0;
    std::fclose(file);
    return bytes;
}

bool LoadTurbo(const std::string& path, int flags) {
    size_t size = 0;
    const std::unique_ptr<uint8_t[]> file = ReadWhole(path, &size);
    if (size == 0) return false;
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    bool ok = tjDecompressHeader3(handle, file.get(), size, &width, &height, &subsampling,
                                  &colorspace) == 0;
    if (ok) {
        const std::unique_ptr<uint8_t[]> pixels(
            new uint8_t[static_cast<size_t>(width) * height * 3]);
        ok = tjDecompress2(handle, file.get(), size, pixels.get(), width, 0, height, TJPF_BGR,
                           flags) == 0;
    }
    tjDestroy(handle);
    return ok;
}

// stb_image reads the file itself and gives red, green, blue, which a caller takes as it is.
bool LoadStb(const std::string& path) {
    int width = 0, height = 0, channels = 0;
    uint8_t* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr) return false;
    stbi_image_free(pixels);
    return true;
}

constexpr int kFastFlags = TJFLAG_FASTUPSAMPLE | TJFLAG_FASTDCT;

// One decoder of the tables. `load` times the path-to-pixels decode (table 1), `decode` the
// in-memory one (table 2); either may be missing. A decoder with `in_worker` runs in the
// child process without libjpeg-turbo's SIMD.
struct Decoder {
    const char* name;
    bool (*load)(const std::string& path);
    bool (*decode)(const Bytes& file, Bytes* out);
    bool in_worker;
};

const Decoder kDecoders[] = {
    {"varnel", LoadVarnel, [](const Bytes& f, Bytes* o) { return DecodeVarnel(f, true, o); },
     false},
    {"varnel ref", nullptr, [](const Bytes& f, Bytes* o) { return DecodeVarnel(f, false, o); },
     false},
    {"turbo", [](const std::string& p) { return LoadTurbo(p, 0); },
     [](const Bytes& f, Bytes* o) { return DecodeTurbo(f, 0, o); }, false},
    {"turbo fast", [](const std::string& p) { return LoadTurbo(p, kFastFlags); },
     [](const Bytes& f, Bytes* o) { return DecodeTurbo(f, kFastFlags, o); }, false},
    {"stb_image", LoadStb, DecodeStb, false},
    {"turbo nosimd", [](const std::string& p) { return LoadTurbo(p, 0); },
     [](const Bytes& f, Bytes* o) { return DecodeTurbo(f, 0, o); }, true},
};
constexpr int kDecoderCount = sizeof(kDecoders) / sizeof(kDecoders[0]);
constexpr int kVarnel = 0;
constexpr int kTurbo = 2;
constexpr int kTurboNoSimd = 5;

// --- The child process without libjpeg-turbo's SIMD ---

// Serves requests on stdin: "load F" or "decode F" for file number F of its arguments, each
// answered on stdout with the wall-clock and thread CPU seconds of that decode, or "-1 -1".
int ServeWorker(int argc, char** argv) {
    std::vector<Bytes> files;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const Decoder& decoder = kDecoders[kTurboNoSimd];
    char kind[16];
    int index = 0;
    Bytes out;
    while (std::scanf("%15s %d", kind, &index) == 2) {
        if (index < 0 || index >= static_cast<int>(files.size())) break;
        const bool load = std::strcmp(kind, "load") == 0;
        const double wall = Seconds(CLOCK_MONOTONIC);
        const double cpu = Seconds(CLOCK_THREAD_CPUTIME_ID);
        const bool ok = load ? decoder.load(argv[2 + index]) : decoder.decode(files[index], &out);
        const double cpu_used = Seconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
        const double wall_used = Seconds(CLOCK_MONOTONIC) - wall;
        if (ok) {
            std::printf("%.9f %.9f\n", wall_used, cpu_used);
        } else {
            std::printf("-1 -1\n");
        }
        std::fflush(stdout);
    }
    return 0;
}

struct Worker {
    pid_t pid = -1;
    std::FILE* requests = nullptr;
    std::FILE* answers = nullptr;
};

Worker StartWorker(const std::vector<std::filesystem::path>& paths) {
    Worker worker;
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0) return worker;
    if (pipe(from_child) != 0) {
        close(to_child[0]);
        close(to_child[1]);
        return worker;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> args = {self, "--worker"};
    for (const auto& path : paths) args.push_back(path.string());
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        close(to_child[0]);
        close(to_child[1]);
        close(from_child[0]);
        close(from_child[1]);
        setenv("JSIMD_FORCENONE", "1", 1);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(self.c_str(), argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    if (pid < 0) {
        close(to_child[1]);
        close(from_child[0]);
        return worker;
    }
    worker.pid = pid;
    worker.requests = fdopen(to_child[1], "w");
    worker.answers = fdopen(from_child[0], "r");
    return worker;
}

// The worker's wall-clock or CPU seconds for one decode; negative when it failed.
double AskWorker(const Worker& worker, bool load, int file, bool wall) {
    if (worker.requests == nullptr || worker.answers == nullptr) return -1;
    std::fprintf(worker.requests, "%s %d\n", load ? "load" : "decode", file);
    std::fflush(worker.requests);
    double wall_seconds = -1, cpu_seconds = -1;
    if (std::fscanf(worker.answers, "%lf %lf", &wall_seconds, &cpu_seconds) != 2) return -1;
    return wall ? wall_seconds : cpu_seconds;
}

void StopWorker(Worker* worker) {
    if (worker->requests != nullptr) std::fclose(worker->requests);
    if (worker->answers != nullptr) std::fclose(worker->answers);
    if (worker->pid > 0) waitpid(worker->pid, nullptr, 0);
}

// --- Peak memory ---

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
        LoadVarnel(path);
    } else {
        Bytes decoded;
        kDecoders[decoder].decode(bytes, &decoded);
    }
    std::printf("%lld\n", static_cast<long long>(ReadStatusKib("VmHWM:") - before));
    return 0;
}

// `filter` is a part of a decoder's name, or a comma-separated list of whole names.
bool Selected(int decoder, const std::string& filter) {
    if (filter.empty()) return true;
    size_t start = 0;
    while (start <= filter.size()) {
        const size_t comma = std::min(filter.find(',', start), filter.size());
        const std::string part = filter.substr(start, comma - start);
        const std::string name = kDecoders[decoder].name;
        const bool list = filter.find(',') != std::string::npos;
        if (!part.empty() && (list ? name == part : name.find(part) != std::string::npos)) {
            return true;
        }
        start = comma + 1;
    }
    return false;
}
double Median(std::vector<double> values) {
    if (values.empty()) return std::nan("");  // a decoder left out by --decoders
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct FileRun {
    std::string name;
    std::string path;
    Bytes bytes;
    int width = 0, height = 0;
    std::vector<double> load_seconds[kDecoderCount];    // wall-clock, path to pixels
    std::vector<double> decode_seconds[kDecoderCount];  // thread CPU, in memory
};

// "12.3 (0.98x)" in a column of 18, or "-" where the decoder or the one of the ratio was left out.
void PrintRate(double rate, double ratio) {
    if (std::isnan(rate)) {
        std::printf(" %18s", "-");
    } else if (std::isnan(ratio)) {
        std::printf(" %10.1f %7s", rate, "(-)");
    } else {
        std::printf(" %10.1f (%4.2fx)", rate, ratio);
    }
}

// " 1.23x" right-aligned in a column of `width` characters, or "-".
void PrintRatio(int width, double ratio) {
    if (std::isnan(ratio)) {
        std::printf(" %*s", width, "-");
    } else {
        std::printf(" %*.2fx", width - 1, ratio);
    }
}

// One table: per file and as geometric means, the megapixels per second of each decoder's
// median time with its ratio to turbo, and varnel's ratio to turbo without SIMD.
void PrintTable(const std::vector<FileRun>& files, bool load) {
    std::printf("%-42s", "file");
    for (const Decoder& d : kDecoders) {
        if ((load ? d.load != nullptr : d.decode != nullptr)) std::printf(" %18s", d.name);
    }
    std::printf(" %13s\n", "varnel/nosimd");
    double log_sum[kDecoderCount] = {};
    double log_ratio_sum[kDecoderCount] = {};
    double log_nosimd_sum = 0;
    double worst_ratio = std::nan(""), worst_nosimd = std::nan("");  // fmin skips nan
    for (const FileRun& file : files) {
        std::printf("%-42s", file.name.c_str());
        const double megapixels = file.width * double(file.height) / 1e6;
        const auto rate = [&](int d) {
            return megapixels / Median(load ? file.load_seconds[d] : file.decode_seconds[d]);
        };
        const double turbo = rate(kTurbo);
        for (int d = 0; d < kDecoderCount; ++d) {
            if (load ? kDecoders[d].load == nullptr : kDecoders[d].decode == nullptr) continue;
            log_sum[d] += std::log(rate(d));
            log_ratio_sum[d] += std::log(rate(d) / turbo);
            PrintRate(rate(d), rate(d) / turbo);
        }
        const double nosimd = rate(kVarnel) / rate(kTurboNoSimd);
        log_nosimd_sum += std::log(nosimd);
        worst_ratio = std::fmin(worst_ratio, rate(kVarnel) / turbo);
        worst_nosimd = std::fmin(worst_nosimd, nosimd);
        PrintRatio(13, nosimd);
        std::printf("\n");
    }
    const double n = static_cast<double>(files.size());
    std::printf("%-42s", "geometric mean");
    for (int d = 0; d < kDecoderCount; ++d) {
        if (load ? kDecoders[d].load == nullptr : kDecoders[d].decode == nullptr) continue;
        PrintRate(std::exp(log_sum[d] / n), std::exp(log_ratio_sum[d] / n));
    }
    PrintRatio(13, std::exp(log_nosimd_sum / n));
    std::printf("\nlowest ratio of varnel:");
    PrintRatio(5, worst_ratio);
    std::printf(" to turbo,");
    PrintRatio(5, worst_nosimd);
    std::printf(" to turbo nosimd\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) {
        return Measure(std::atoi(argv[2]), argv[3]);
    }
    if (argc >= 2 && std::strcmp(argv[1], "--worker") == 0) return ServeWorker(argc, argv);
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
        } else if (std::strcmp(argv[i], "--kernels") == 0 && i + 1 < argc) {
            const std::string name = argv[++i];
            bool known = false;
            for (const varnel::KernelSet set :
                 {varnel::KernelSet::kPortable, varnel::KernelSet::kSse2,
                  varnel::KernelSet::kAvx2}) {
                if (name == varnel::KernelSetName(set) && varnel::KernelSetRuns(set)) {
                    g_kernel_set = set;
                    known = true;
                }
            }
            if (!known) {
                std::fprintf(stderr, "varnel-bench: this build or processor has no kernel set %s\n",
                             name.c_str());
                return 2;
            }
        } else if (std::strcmp(argv[i], "--no-memory") == 0) {
            memory = false;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "Usage: varnel-bench [--reps N] [--files TEXT] [--decoders TEXT] [--kernels SET] "
                "[--no-memory] "
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

    std::vector<FileRun> files;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        FileRun run;
        run.name = path.filename().string();
        run.path = path.string();
        run.bytes.assign(std::istreambuf_iterator<char>(in), {});
        tjhandle handle = tjInitDecompress();
        int subsampling = 0, colorspace = 0;
        tjDecompressHeader3(handle, run.bytes.data(), run.bytes.size(), &run.width, &run.height,
                            &subsampling, &colorspace);
        tjDestroy(handle);
        files.push_back(std::move(run));
    }
    Worker worker;
    if (Selected(kTurboNoSimd, decoder_filter)) worker = StartWorker(paths);

    const std::string load_before = LoadAverage();
    // Interleaved: every repetition decodes every file with every decoder in turn, first from
    // the path, then from memory. The decoder that starts a file changes from one repetition to
    // the next: the first decode after a file of another size meets freshly mapped pages for
    // its output (the blocks of the larger file before went back to the system), which costs a
    // 1920 x 1080 decode half its speed, while the decoders after it reuse the pages it freed.
    // With the turn moving on, no decoder's median carries that cost for the others.
    Bytes out;
    for (int rep = 0; rep < reps; ++rep) {
        for (FileRun& file : files) {
            for (int turn = 0; turn < kDecoderCount; ++turn) {
                const int d = (rep + turn) % kDecoderCount;
                const Decoder& decoder = kDecoders[d];
                if (!Selected(d, decoder_filter)) continue;
                for (const bool load : {true, false}) {
                    if (load ? decoder.load == nullptr : decoder.decode == nullptr) continue;
                    double seconds = 0;
                    if (decoder.in_worker) {
                        seconds =
                            AskWorker(worker, load, static_cast<int>(&file - files.data()), load);
                    } else {
                        const clockid_t clock = load ? CLOCK_MONOTONIC : CLOCK_THREAD_CPUTIME_ID;
                        const double start = Seconds(clock);
                        const bool ok =
                            load ? decoder.load(file.path) : decoder.decode(file.bytes, &out);
                        seconds = ok ? Seconds(clock) - start : -1;
                    }
                    if (seconds < 0) {
                        std::fprintf(stderr, "%s failed on %s\n", decoder.name, file.name.c_str());
                        continue;
                    }
                    (load ? file.load_seconds : file.decode_seconds)[d].push_back(seconds);
                }
            }
        }
        std::fprintf(stderr, "repetition %d of %d done\n", rep + 1, reps);
    }
    StopWorker(&worker);

    std::printf(
        "varnel kernels: %s (this processor's best: %s); %d interleaved repetitions, one "
        "thread; load average %s before, %s after; (x) = ratio to turbo\n\n",
        varnel::KernelSetName(g_kernel_set), varnel::KernelSetName(varnel::BestKernelSet()), reps,
        load_before.c_str(), LoadAverage().c_str());
    std::printf(
        "1. From the file's path to the picture, as a caller gets it (varnel: LoadJpeg's "
        "DIB section), output allocated afresh: megapixels per second of the median "
        "wall-clock time\n\n");
    PrintTable(files, true);
    std::printf(
        "\n2. The decoder alone, file image in memory to BGR rows: megapixels per second "
        "of the median thread CPU time\n\n");
    PrintTable(files, false);
    if (!memory) return 0;
    std::printf(
        "\n3. Peak memory of one decode in MiB (growth of the resident set; the input is "
        "already in memory except for LoadJpeg, which reads the file)\n\n");
    std::printf("%-42s %9s %9s", "file", "file", "bitmap");
    for (const Decoder& d : kDecoders) {
        if (!d.in_worker) std::printf(" %11s", d.name);
    }
    std::printf(" %11s %11s\n", "LoadJpeg", "budget");
    for (size_t f = 0; f < files.size(); ++f) {
        const FileRun& file = files[f];
        const double mib = 1024.0 * 1024.0;
        const double bitmap_bytes = static_cast<double>(Stride(file.width) * file.height);
        std::printf("%-42s %9.2f %9.2f", file.name.c_str(), file.bytes.size() / mib,
                    bitmap_bytes / mib);
        for (int d = 0; d < kDecoderCount; ++d) {
            if (!kDecoders[d].in_worker) {
                std::printf(" %11.2f", MeasureInChild(d, paths[f]) / 1024.0);
            }
        }
        const int64_t load_kib = MeasureInChild(-1, paths[f]);
        std::printf(" %11.2f %11.2f\n", load_kib / 1024.0,
                    (file.bytes.size() + bitmap_bytes) / mib + 1.0);
    }
    return 0;
}
