// Temporary folders of the tests' own: made with a unique name under the system's temporary
// folder (or another folder the caller names), and removed with everything in them afterwards.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

// A new folder "<prefix>_XXXXXXXX" under `parent`, made by this call and by no other (a name
// that exists already is never reused: process IDs are, under Wine within moments); empty when
// it cannot be made.
inline std::filesystem::path MakeTempFolderIn(const std::filesystem::path& parent,
                                              const std::string& prefix) {
    static std::mt19937 next(
        std::random_device{}() ^
        static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + "_";
        for (int i = 0; i < 8; ++i) name.push_back(kDigits[next() % 36]);
        std::error_code error;
        const std::filesystem::path folder = parent / name;
        if (std::filesystem::create_directory(folder, error)) return folder;
        if (error) return {};
    }
    return {};
}

// A new folder "<prefix>_XXXXXXXX" under the temporary folder; empty when it cannot be made.
inline std::filesystem::path MakeTempFolder(const std::string& prefix) {
    return MakeTempFolderIn(std::filesystem::temp_directory_path(), prefix);
}

// Removes a folder and everything in it; nothing for an empty path or a missing folder.
inline void RemoveFolder(const std::filesystem::path& folder) {
    if (folder.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// A new folder as MakeTempFolderIn makes it, removed with everything in it when the process
// exits. A folder that cannot be made ends the process with a message: nothing that asks for
// one can run without it.
inline std::filesystem::path MakeTempFolderUntilExit(const std::filesystem::path& parent,
                                                     const std::string& prefix) {
    // Never destroyed: the exit handler still needs the names.
    static std::vector<std::filesystem::path>* const folders = [] {
        auto* made = new std::vector<std::filesystem::path>;
        std::atexit([] {
            for (const std::filesystem::path& folder : *folders) RemoveFolder(folder);
        });
        return made;
    }();
    const std::filesystem::path made = MakeTempFolderIn(parent, prefix);
    if (made.empty()) {
        std::fprintf(stderr, "cannot make a temporary folder in %s\n", parent.string().c_str());
        std::abort();
    }
    folders->push_back(made);
    return made;
}

}  // namespace testsupport
