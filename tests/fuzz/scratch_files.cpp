#include "scratch_files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "temp_folder.h"

namespace fuzzing {

namespace {

// A memory-backed folder where the system has one (/dev/shm on Linux), so that writing each input
// and reading it back costs no disk work; the temporary folder otherwise.
std::filesystem::path ParentFolder() {
    std::error_code ignored;
    const std::filesystem::path shared_memory = "/dev/shm";
    if (std::filesystem::is_directory(shared_memory, ignored) &&
        access(shared_memory.c_str(), W_OK) == 0) {
        return shared_memory;
    }
    return std::filesystem::temp_directory_path();
}

}  // namespace

const std::string& ScratchFolder() {
    static const std::string folder =
        testsupport::MakeTempFolderUntilExit(ParentFolder(), "fuzz").string();
    return folder;
}

std::u16string WriteScratchFile(const char* name, const uint8_t* data, size_t size) {
    const std::string path = ScratchFolder() + "/" + name;
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::abort();
        }
    }
    // The folder and names are ASCII (the temporary folder of the test machine).
    return std::u16string(path.begin(), path.end());
}

}  // namespace fuzzing
