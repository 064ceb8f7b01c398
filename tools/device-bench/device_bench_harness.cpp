// The device benchmark's program on the device's processor: decodes one JPEG file COUNT times
// with one decoder, as a caller would, and exits. scripts/device-bench.sh runs it under
// qemu-arm with the instruction-counting plugin for COUNT 0, 1 and 2: the differences are one
// decode's cost and the first call's extra cost, with process start-up taken out.
//
//   device-bench-harness DECODER COUNT FILE [MAP]
//
// DECODER: varnel (LoadJpeg from the file's path to its DIB section, freed after each call);
// turbo or turbo-fast (libjpeg-turbo's TurboJPEG from the same path: the file read into a
// fresh block, decoded bottom-up as BGR into a buffer of LoadJpeg's stride, i.e. rows rounded
// up to 4 bytes, with default flags or with TJFLAG_FASTUPSAMPLE, LoadJpeg's kind of
// upsampling). libjpeg-turbo runs its C code (JSIMD_FORCENONE=1): the devices have no SIMD.
// MAP, when given, receives the loaded objects' names and address ranges, for profiles.
#include <link.h>
#include <turbojpeg.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "varnel.h"

namespace {

bool DecodeVarnel(const std::u16string& path) {
    POINT size{};
    HBITMAP bitmap = LoadJpeg(nullptr, reinterpret_cast<const WCHAR*>(path.c_str()), &size);
    if (bitmap == nullptr) return false;
    DeleteObject(bitmap);
    return true;
}

bool DecodeTurbo(const char* path, int flags) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::fseek(file, 0, SEEK_END);
    const long length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    if (length <= 0) {
        std::fclose(file);
        return false;
    }
    const auto size = static_cast<unsigned long>(length);
    const std::unique_ptr<unsigned char[]> bytes(new unsigned char[size]);
    const bool read = std::fread(bytes.get(), 1, size, file) == size;
    std::fclose(file);
    if (!read) return false;
    tjhandle handle = tjInitDecompress();
    if (handle == nullptr) return false;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    bool ok = tjDecompressHeader3(handle, bytes.get(), size, &width, &height, &subsampling,
                                  &colorspace) == 0;
    if (ok) {
        const int pitch = (width * 3 + 3) & ~3;
        const std::unique_ptr<unsigned char[]> pixels(
            new unsigned char[static_cast<size_t>(pitch) * static_cast<size_t>(height)]);
        ok = tjDecompress2(handle, bytes.get(), size, pixels.get(), width, pitch, height, TJPF_BGR,
                           TJFLAG_BOTTOMUP | flags) == 0;
    }
    tjDestroy(handle);
    return ok;
}

// One line per loaded object: its path, then the start and end of each loaded segment that
// holds code, in hexadecimal.
int WriteObject(dl_phdr_info* info, size_t, void* data) {
    auto* out = static_cast<std::FILE*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
        const unsigned long start = info->dlpi_addr + segment.p_vaddr;
        std::fprintf(out, "object %lx %lx %lx %s\n", start, start + segment.p_memsz,
                     static_cast<unsigned long>(info->dlpi_addr),
                     info->dlpi_name[0] != '\0' ? info->dlpi_name : "-");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr,
                     "usage: device-bench-harness varnel|turbo|turbo-fast COUNT FILE [MAP]\n");
        return 2;
    }
    // The devices have no SIMD: libjpeg-turbo's C code, wherever this runs.
    setenv("JSIMD_FORCENONE", "1", 1);
    const std::string decoder = argv[1];
    const int count = std::atoi(argv[2]);
    const char* path = argv[3];
    const std::string narrow(path);
    const std::u16string wide(narrow.begin(), narrow.end());
    if (decoder != "varnel" && decoder != "turbo" && decoder != "turbo-fast") {
        std::fprintf(stderr, "device-bench-harness: unknown decoder %s\n", argv[1]);
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        const bool ok = decoder == "varnel"  ? DecodeVarnel(wide)
                        : decoder == "turbo" ? DecodeTurbo(path, 0)
                                             : DecodeTurbo(path, TJFLAG_FASTUPSAMPLE);
        if (!ok) {
            std::fprintf(stderr, "device-bench-harness: %s could not decode %s\n", argv[1], path);
            return 1;
        }
    }
    if (argc == 5) {
        std::FILE* map = std::fopen(argv[4], "w");
        if (map == nullptr) return 1;
        dl_iterate_phdr(WriteObject, map);
        std::fclose(map);
    }
    return 0;
}
