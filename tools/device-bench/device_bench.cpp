// The device benchmark's driver, built for this machine by scripts/device-bench.sh: runs
// device-bench-harness (built for the device's processor) under qemu-arm with the
// instruction-counting plugin on every file of a corpus, for each decoder, decoding each file
// zero, one and two times, and prints instructions per pixel, libjpeg-turbo's instructions
// over varnel's, the split into multiplies, loads, stores and branches, the first call's extra
// cost and geometric means. With --profile FILE it prints one decode's instructions per
// function instead. Counts of the same program on the same input are the same on every run.
//
// One decode's cost is the count of a run that decodes twice minus one that decodes once;
// the first call's extra cost (tables built on first use) is (once - zero) - (twice - once).
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string harness, plugin, qemu = "qemu-arm", cpu = "pxa250", prefix, library_path;
    std::string nm = "arm-linux-gnueabi-nm", work = "/tmp", corpus, profile, files;
    std::string profile_decoder = "varnel";
    int jobs = 2;
    int top = 25;
    bool check_alignment = false;
};

// What the plugin counted in one run.
struct Counts {
    int64_t instructions = 0, multiplies = 0, loads = 0, stores = 0, branches = 0;
};
Counts operator-(const Counts& a, const Counts& b) {
    return {a.instructions - b.instructions, a.multiplies - b.multiplies, a.loads - b.loads,
            a.stores - b.stores, a.branches - b.branches};
}

// What the benchmark needs of a file's frame header.
struct JpegInfo {
    int width = 0, height = 0;
    std::string kind;  // grey, 4:2:0, 4:2:2, 4:4:4 or other
    int restart_interval = 0;
    bool baseline = false;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

// The markers up to the first scan: the frame (SOF0/SOF1) and the restart interval (DRI).
JpegInfo ParseJpeg(const std::vector<uint8_t>& b) {
    JpegInfo info;
    size_t p = 2;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return info;
    while (p + 4 <= b.size()) {
        if (b[p] != 0xFF) return info;
        const int marker = b[p + 1];
        if (marker == 0xFF) {
            ++p;
            continue;
        }
        const size_t length = static_cast<size_t>(b[p + 2]) << 8 | b[p + 3];
        const size_t body = p + 4;
        if (body + length - 2 > b.size() || length < 2) return info;
        if ((marker == 0xC0 || marker == 0xC1) && length >= 8) {
            info.baseline = true;
            info.height = b[body + 1] << 8 | b[body + 2];
            info.width = b[body + 3] << 8 | b[body + 4];
            const int components = b[body + 5];
            if (components == 1) {
                info.kind = "grey";
            } else if (components == 3 && length >= 8 + 9) {
                const int h = b[body + 7] >> 4, v = b[body + 7] & 15;
                const bool chroma_1x1 = b[body + 10] == 0x11 && b[body + 13] == 0x11;
                info.kind = !chroma_1x1        ? "other"
                            : h == 2 && v == 2 ? "4:2:0"
                            : h == 2 && v == 1 ? "4:2:2"
                            : h == 1 && v == 1 ? "4:4:4"
                                               : "other";
            } else {
                info.kind = "other";
            }
        } else if (marker == 0xC2 || marker == 0xC3 ||
                   (marker >= 0xC5 && marker <= 0xCF && marker != 0xC8 && marker != 0xCC)) {
            info.baseline = false;
            return info;
        } else if (marker == 0xDD && length >= 4) {
            info.restart_interval = b[body] << 8 | b[body + 1];
        } else if (marker == 0xDA) {
            return info;
        }
        p = body + length - 2;
    }
    return info;
}

// One run of the harness under qemu.
struct Run {
    std::string decoder, file, counts_path, map_path;
    int count = 0;
    bool profile = false;
    bool align = false;
};

// Starts a run; the guest sees an environment of LD_LIBRARY_PATH alone, the same for every
// run, so that start-up costs the same whatever this program's environment holds.
pid_t Start(const Options& o, const Run& run) {
    std::vector<std::string> args = {o.qemu, "-cpu", o.cpu};
    if (!o.prefix.empty()) args.insert(args.end(), {"-L", o.prefix});
    if (!o.library_path.empty())
        args.insert(args.end(), {"-E", "LD_LIBRARY_PATH=" + o.library_path});
    args.insert(args.end(), {"-plugin", o.plugin + ",out=" + run.counts_path +
                                            (run.profile ? ",profile=on" : "") +
                                            (run.align ? ",align=on" : "")});
    args.insert(args.end(), {o.harness, run.decoder, std::to_string(run.count), run.file});
    if (!run.map_path.empty()) args.push_back(run.map_path);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        char* envp[] = {nullptr};
        execvpe(argv[0], argv.data(), envp);
        std::perror(argv[0]);
        _exit(127);
    }
    return pid;
}

// Runs them all, jobs at a time; false when one failed.
bool RunAll(const Options& o, const std::vector<Run>& runs) {
    size_t next = 0, running = 0;
    bool ok = true;
    while (next < runs.size() || running > 0) {
        while (running < static_cast<size_t>(o.jobs) && next < runs.size()) {
            if (Start(o, runs[next]) < 0) return false;
            ++next;
            ++running;
        }
        int status = 0;
        if (wait(&status) < 0) break;
        --running;
        if (isatty(STDERR_FILENO)) {
            std::fprintf(stderr, "\r%zu of %zu runs done", next - running, runs.size());
            if (next == runs.size() && running == 0) std::fprintf(stderr, "\n");
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
    }
    return ok;
}

bool ReadCounts(const std::string& path, Counts* counts) {
    std::ifstream in(path);
    std::string name;
    int64_t value = 0;
    int seen = 0;
    while (in >> name >> value) {
        if (name == "instructions")
            counts->instructions = value, ++seen;
        else if (name == "multiplies")
            counts->multiplies = value, ++seen;
        else if (name == "loads")
            counts->loads = value, ++seen;
        else if (name == "stores")
            counts->stores = value, ++seen;
        else if (name == "branches")
            counts->branches = value, ++seen;
        else
            break;
    }
    return seen == 5;
}

std::string Base(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The quality a file's name gives ("...-q75-..."), or "-".
std::string QualityOf(const std::string& name) {
    const size_t q = name.find("-q");
    if (q == std::string::npos || q + 2 >= name.size() || !std::isdigit(name[q + 2])) return "-";
    size_t end = q + 2;
    while (end < name.size() && std::isdigit(name[end])) ++end;
    return name.substr(q + 2, end - q - 2);
}

const std::array<std::string, 3> kDecoders = {"varnel", "turbo", "turbo-fast"};

double GeoMean(const std::vector<double>& v) {
    if (v.empty()) return 0;
    double sum = 0;
    for (double x : v) sum += std::log(x);
    return std::exp(sum / static_cast<double>(v.size()));
}

struct FileResult {
    std::string path, name;
    JpegInfo info;
    std::array<Counts, 3> one, first_extra;  // per decoder
};

int Benchmark(const Options& o, const std::vector<std::string>& files) {
    std::vector<FileResult> results;
    std::vector<Run> runs;
    for (const auto& path : files) {
        FileResult r;
        r.path = path;
        r.name = Base(path);
        r.info = ParseJpeg(ReadFile(path));
        if (!r.info.baseline || r.info.width == 0) {
            std::fprintf(stderr, "note: %s is not a baseline JPEG file; left out\n",
                         r.name.c_str());
            continue;
        }
        for (size_t d = 0; d < kDecoders.size(); ++d) {
            for (int count = 0; count <= 2; ++count) {
                Run run;
                run.decoder = kDecoders[d];
                run.file = path;
                run.count = count;
                run.counts_path = o.work + "/" + std::to_string(results.size()) + "-" +
                                  kDecoders[d] + "-" + std::to_string(count) + ".counts";
                runs.push_back(run);
            }
        }
        results.push_back(r);
    }
    if (results.empty()) {
        std::fprintf(stderr, "device-bench: no baseline JPEG files to measure\n");
        return 1;
    }
    std::fprintf(stderr, "device-bench: %zu runs under %s -cpu %s, %d at a time\n", runs.size(),
                 o.qemu.c_str(), o.cpu.c_str(), o.jobs);
    if (!RunAll(o, runs)) {
        std::fprintf(stderr, "device-bench: a run failed (see above)\n");
        return 1;
    }
    for (size_t f = 0; f < results.size(); ++f) {
        for (size_t d = 0; d < kDecoders.size(); ++d) {
            std::array<Counts, 3> c;
            for (int count = 0; count <= 2; ++count) {
                const std::string path = o.work + "/" + std::to_string(f) + "-" + kDecoders[d] +
                                         "-" + std::to_string(count) + ".counts";
                if (!ReadCounts(path, &c[count])) {
                    std::fprintf(stderr, "device-bench: no counts in %s\n", path.c_str());
                    return 1;
                }
            }
            results[f].one[d] = c[2] - c[1];
            results[f].first_extra[d] = (c[1] - c[0]) - (c[2] - c[1]);
        }
    }

    std::printf(
        "Instructions per pixel of one decode under qemu-arm -cpu %s (ARM code; varnel: "
        "LoadJpeg, path to DIB section;\nturbo: TurboJPEG's C code, default flags; fast: "
        "with TJFLAG_FASTUPSAMPLE; both from the path, bottom-up BGR at LoadJpeg's stride)\n\n",
        o.cpu.c_str());
    std::printf("%-42s %9s %5s %3s %3s %7s %7s %7s %7s %7s  %9s %9s\n", "file", "size", "kind", "q",
                "rst", "varnel", "turbo", "fast", "t/v", "f/v", "1st varnel", "1st turbo");
    std::map<std::string, std::vector<double>> ratios_by_kind;
    std::vector<double> ratios, fast_ratios, per_pixel[3];
    double worst = 1e9;
    std::string worst_name;
    for (const auto& r : results) {
        const double pixels = static_cast<double>(r.info.width) * r.info.height;
        double ipp[3];
        for (int d = 0; d < 3; ++d) {
            ipp[d] = static_cast<double>(r.one[d].instructions) / pixels;
            per_pixel[d].push_back(ipp[d]);
        }
        const double ratio = ipp[1] / ipp[0], fast_ratio = ipp[2] / ipp[0];
        ratios.push_back(ratio);
        fast_ratios.push_back(fast_ratio);
        ratios_by_kind[r.info.kind].push_back(ratio);
        if (ratio < worst) worst = ratio, worst_name = r.name;
        const std::string size = std::to_string(r.info.width) + "x" + std::to_string(r.info.height);
        std::printf("%-42s %9s %5s %3s %3s %7.1f %7.1f %7.1f %6.2fx %6.2fx  %8.2fM %8.2fM\n",
                    r.name.c_str(), size.c_str(), r.info.kind.c_str(), QualityOf(r.name).c_str(),
                    r.info.restart_interval > 0 ? "yes" : "-", ipp[0], ipp[1], ipp[2], ratio,
                    fast_ratio, r.first_extra[0].instructions / 1e6,
                    r.first_extra[1].instructions / 1e6);
    }
    std::printf("%-42s %9s %5s %3s %3s %7.1f %7.1f %7.1f %6.2fx %6.2fx\n", "geometric mean", "", "",
                "", "", GeoMean(per_pixel[0]), GeoMean(per_pixel[1]), GeoMean(per_pixel[2]),
                GeoMean(ratios), GeoMean(fast_ratios));
    std::printf("\nlibjpeg-turbo / varnel (default decode), geometric means: %.2fx overall",
                GeoMean(ratios));
    for (const auto& [kind, v] : ratios_by_kind) {
        std::printf(", %s %.2fx (%zu)", kind.c_str(), GeoMean(v), v.size());
    }
    std::printf("; lowest %.2fx (%s)\n", worst, worst_name.c_str());

    std::printf("\nThe split, per pixel: multiplies, loads, stores, branches\n\n");
    std::printf("%-42s%29s%29s\n", "file", "varnel mul/ld/st/br", "turbo mul/ld/st/br");
    for (const auto& r : results) {
        const double pixels = static_cast<double>(r.info.width) * r.info.height;
        std::printf("%-42s", r.name.c_str());
        for (int d = 0; d < 2; ++d) {
            const Counts& c = r.one[d];
            std::printf("   %5.1f %6.1f %6.1f %6.1f", c.multiplies / pixels, c.loads / pixels,
                        c.stores / pixels, c.branches / pixels);
        }
        std::printf("\n");
    }
    return 0;
}

// --- Profiles ---

struct Object {
    uint64_t start = 0, end = 0, base = 0;
    std::string path;
};

struct Symbol {
    uint64_t address = 0;
    std::string name;
};

std::string Exists(const std::string& path) {
    return access(path.c_str(), R_OK) == 0 ? path : "";
}

// The code symbols of an object file, by address: its full symbol table, or the dynamic one
// when it has been stripped.
std::vector<Symbol> SymbolsOf(const Options& o, const std::string& path) {
    std::vector<Symbol> symbols;
    for (const char* dynamic : {"", "-D "}) {
        const std::string command =
            o.nm + " -C -n --defined-only " + dynamic + "'" + path + "' 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) break;
        char line[4096];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            char* end = nullptr;
            const uint64_t address = std::strtoull(line, &end, 16);
            if (end == line || end[0] != ' ' || end[1] == '\0') continue;
            const char type = end[1];
            if (std::strchr("tTwWi", type) == nullptr || end[2] != ' ') continue;
            std::string name = end + 3;
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
            // A C++ function's name without its parameter list, which makes the table wide.
            if (!name.empty() && name.back() == ')') {
                int depth = 0;
                for (size_t i = name.size(); i-- > 0;) {
                    depth += name[i] == ')' ? 1 : name[i] == '(' ? -1 : 0;
                    if (depth == 0) {
                        if (i > 0) name.erase(i);
                        break;
                    }
                }
            }
            symbols.push_back({address, name});
        }
        pclose(pipe);
        if (!symbols.empty()) break;
    }
    // The PLT's stubs lie between _init and the first function: named as what they are.
    std::string readelf = o.nm;
    if (readelf.size() >= 2 && readelf.compare(readelf.size() - 2, 2, "nm") == 0) {
        readelf.replace(readelf.size() - 2, 2, "readelf");
        FILE* pipe = popen((readelf + " -SW '" + path + "' 2>/dev/null").c_str(), "r");
        char line[4096];
        while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
            std::istringstream fields(std::strchr(line, ']') ? std::strchr(line, ']') + 1 : line);
            std::string name, type;
            uint64_t address = 0, offset = 0, size = 0;
            if (!(fields >> name >> type >> std::hex >> address >> offset >> size)) continue;
            if (name == ".plt") {
                symbols.push_back({address, "(calls through the PLT)"});
                symbols.push_back({address + size, "(after the PLT)"});
            }
        }
        if (pipe != nullptr) pclose(pipe);
    }
    std::stable_sort(symbols.begin(), symbols.end(),
                     [](const Symbol& a, const Symbol& b) { return a.address < b.address; });
    return symbols;
}

// Names code addresses of one run as "object: function", from the run's map of its loaded
// objects and their symbol tables.
class Symbolizer {
public:
    Symbolizer(const Options& o, const std::string& map_path) : options_(o) {
        std::ifstream map(map_path);
        std::string word;
        while (map >> word) {
            Object object;
            map >> std::hex >> object.start >> object.end >> object.base >> std::dec;
            std::getline(map, object.path);
            object.path.erase(0, object.path.find_first_not_of(' '));
            if (object.path == "-") object.path = o.harness;
            // A path that qemu found under its prefix.
            if (Exists(object.path).empty() && !Exists(o.prefix + object.path).empty()) {
                object.path = o.prefix + object.path;
            }
            objects_.push_back(object);
        }
    }
    bool Empty() const { return objects_.empty(); }

    std::string NameOf(uint64_t address) {
        for (const auto& object : objects_) {
            if (address < object.start || address >= object.end) continue;
            auto found = symbols_.find(object.path);
            if (found == symbols_.end()) {
                found = symbols_.emplace(object.path, SymbolsOf(options_, object.path)).first;
            }
            const auto& table = found->second;
            const uint64_t offset = address - object.base;
            auto it = std::upper_bound(table.begin(), table.end(), offset,
                                       [](uint64_t a, const Symbol& s) { return a < s.address; });
            return Base(object.path) + ": " + (it == table.begin() ? "?" : std::prev(it)->name);
        }
        return "?";
    }

private:
    const Options& options_;
    std::vector<Object> objects_;
    std::map<std::string, std::vector<Symbol>> symbols_;
};

// Instructions per function ("object: function") of one profiled run.
bool ProfileOf(const Options& o, const std::string& counts_path, const std::string& map_path,
               std::map<std::string, int64_t>* per_function) {
    Symbolizer symbolizer(o, map_path);
    if (symbolizer.Empty()) return false;
    std::ifstream in(counts_path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("block ", 0) != 0) continue;
        std::istringstream fields(line.substr(6));
        uint64_t address = 0;
        int64_t instructions = 0, executions = 0;
        fields >> std::hex >> address >> std::dec >> instructions >> executions;
        (*per_function)[symbolizer.NameOf(address)] += instructions * executions;
    }
    return true;
}

// --check-alignment: one decode of every file by each decoder, every load and store watched;
// fails when varnel's code (the harness, libvarnel, the layer) made a misaligned access.
int CheckAlignment(const Options& o, const std::vector<std::string>& files) {
    std::vector<Run> runs;
    for (size_t f = 0; f < files.size(); ++f) {
        for (const auto& decoder : kDecoders) {
            Run run;
            run.decoder = decoder;
            run.file = files[f];
            run.count = 1;
            run.align = true;
            run.counts_path = o.work + "/" + std::to_string(f) + "-" + decoder + ".align";
            run.map_path = o.work + "/" + std::to_string(f) + "-" + decoder + ".map";
            runs.push_back(run);
        }
    }
    std::fprintf(stderr, "device-bench: %zu runs watching every access\n", runs.size());
    if (!RunAll(o, runs)) {
        std::fprintf(stderr, "device-bench: a run failed (see above)\n");
        return 1;
    }
    int ours = 0;
    std::map<std::string, int64_t> seen;  // "decoder, object: function (size)" -> accesses
    for (const auto& run : runs) {
        Symbolizer symbolizer(o, run.map_path);
        std::ifstream in(run.counts_path);
        std::string word;
        while (in >> word) {
            if (word != "misaligned") continue;
            uint64_t address = 0;
            int size = 0;
            int64_t count = 0;
            in >> std::hex >> address >> std::dec >> size >> count;
            const std::string name = symbolizer.NameOf(address);
            seen[run.decoder + ", " + name + " (" + std::to_string(size) + " bytes)"] += count;
            if (name.rfind("libvarnel", 0) == 0 || name.rfind("libwin32layer", 0) == 0 ||
                name.rfind(Base(o.harness), 0) == 0) {
                ++ours;
            }
        }
    }
    std::printf("Misaligned halfword and word accesses in one decode of each of %zu files:\n",
                files.size());
    for (const auto& [where, count] : seen) {
        std::printf("%12lld  %s\n", static_cast<long long>(count), where.c_str());
    }
    if (seen.empty()) std::printf("none\n");
    return ours > 0 ? 1 : 0;
}

int Profile(const Options& o) {
    const JpegInfo info = ParseJpeg(ReadFile(o.profile));
    if (!info.baseline || info.width == 0) {
        std::fprintf(stderr, "device-bench: %s is not a baseline JPEG file\n", o.profile.c_str());
        return 1;
    }
    std::vector<Run> runs;
    for (int count = 1; count <= 2; ++count) {
        Run run;
        run.decoder = o.profile_decoder;
        run.file = o.profile;
        run.count = count;
        run.profile = true;
        run.counts_path = o.work + "/profile-" + std::to_string(count) + ".counts";
        run.map_path = o.work + "/profile-" + std::to_string(count) + ".map";
        runs.push_back(run);
    }
    if (!RunAll(o, runs)) {
        std::fprintf(stderr, "device-bench: a profiled run failed (see above)\n");
        return 1;
    }
    std::map<std::string, int64_t> once, twice;
    if (!ProfileOf(o, runs[0].counts_path, runs[0].map_path, &once) ||
        !ProfileOf(o, runs[1].counts_path, runs[1].map_path, &twice)) {
        std::fprintf(stderr, "device-bench: the profiled runs left no map of their objects\n");
        return 1;
    }
    std::vector<std::pair<int64_t, std::string>> rows;
    int64_t total = 0;
    for (const auto& [name, count] : twice) {
        const auto it = once.find(name);
        const int64_t one = count - (it == once.end() ? 0 : it->second);
        if (one != 0) rows.emplace_back(one, name);
        total += one;
    }
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    const double pixels = static_cast<double>(info.width) * info.height;
    std::printf("One decode of %s (%dx%d, %s) by %s: %.1f instructions per pixel, %lld in all\n\n",
                Base(o.profile).c_str(), info.width, info.height, info.kind.c_str(),
                o.profile_decoder.c_str(), total / pixels, static_cast<long long>(total));
    std::printf("%14s %6s %8s  %s\n", "instructions", "share", "per px", "object: function");
    int64_t rest = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (static_cast<int>(i) >= o.top) {
            rest += rows[i].first;
            continue;
        }
        std::printf("%14lld %5.1f%% %8.2f  %s\n", static_cast<long long>(rows[i].first),
                    100.0 * rows[i].first / total, rows[i].first / pixels, rows[i].second.c_str());
    }
    if (rest != 0) {
        std::printf("%14lld %5.1f%% %8.2f  (%zu more functions)\n", static_cast<long long>(rest),
                    100.0 * rest / total, rest / pixels, rows.size() - o.top);
    }
    return 0;
}

void Usage(FILE* out) {
    std::fprintf(
        out,
        "usage: device-bench --harness PROGRAM --plugin PLUGIN.so [options] CORPUS_DIR\n"
        "       device-bench --harness PROGRAM --plugin PLUGIN.so [options] --profile FILE\n"
        "options: --qemu PATH (qemu-arm)  --cpu MODEL (pxa250)  --prefix DIR (qemu -L)\n"
        "         --library-path DIRS (the guest's LD_LIBRARY_PATH)  --nm PROGRAM\n"
        "         --work DIR (the runs' counts files)  --jobs N (2)  --files TEXT\n"
        "         --decoder varnel|turbo|turbo-fast (what --profile profiles)  --top N (25)\n"
        "         --check-alignment (instead of counting: every file decoded once with every\n"
        "           load and store watched for misaligned halfwords and words)\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "device-bench: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            *out = argv[++i];
        };
        std::string number;
        if (a == "--harness")
            value(&o.harness);
        else if (a == "--plugin")
            value(&o.plugin);
        else if (a == "--qemu")
            value(&o.qemu);
        else if (a == "--cpu")
            value(&o.cpu);
        else if (a == "--prefix")
            value(&o.prefix);
        else if (a == "--library-path")
            value(&o.library_path);
        else if (a == "--nm")
            value(&o.nm);
        else if (a == "--work")
            value(&o.work);
        else if (a == "--profile")
            value(&o.profile);
        else if (a == "--decoder")
            value(&o.profile_decoder);
        else if (a == "--files")
            value(&o.files);
        else if (a == "--jobs")
            value(&number), o.jobs = std::max(1, std::atoi(number.c_str()));
        else if (a == "--top")
            value(&number), o.top = std::max(1, std::atoi(number.c_str()));
        else if (a == "--check-alignment")
            o.check_alignment = true;
        else if (a == "--help" || a == "-h")
            return Usage(stdout), 0;
        else if (!a.empty() && a[0] == '-')
            return Usage(stderr), 2;
        else
            o.corpus = a;
    }
    if (o.harness.empty() || o.plugin.empty() || (o.corpus.empty() == o.profile.empty())) {
        Usage(stderr);
        return 2;
    }
    if (std::find(kDecoders.begin(), kDecoders.end(), o.profile_decoder) == kDecoders.end()) {
        std::fprintf(stderr, "device-bench: unknown decoder %s\n", o.profile_decoder.c_str());
        return 2;
    }
    if (!o.profile.empty()) return Profile(o);
    std::vector<std::string> files;
    if (DIR* dir = opendir(o.corpus.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0 &&
                (o.files.empty() || name.find(o.files) != std::string::npos)) {
                files.push_back(o.corpus + "/" + name);
            }
        }
        closedir(dir);
    } else {
        std::fprintf(stderr, "device-bench: cannot read %s\n", o.corpus.c_str());
        return 2;
    }
    std::sort(files.begin(), files.end());
    if (o.check_alignment) return CheckAlignment(o, files);
    return Benchmark(o, files);
}
