// Temporary folders of the tests' own: made with a unique name under the system's temporary
// folder (or another folder the caller names), and removed with everything in them afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace testsupport {

// A new folder "<prefix>_XXXXXX" under `parent`; empty when it cannot be made.
inline std::filesystem::path MakeTempFolderIn(const std::filesystem::path& parent,
                                              const std::string& prefix) {
    std::string pattern = (parent / (prefix + "_XXXXXX")).string();
    return mkdtemp(pattern.data()) != nullptr ? std::filesystem::path(pattern)
                                              : std::filesystem::path();
}

// A new folder "<prefix>_XXXXXX" under the temporary folder; empty when it cannot be made.
inline std::filesystem::path MakeTempFolder(const std::string& prefix) {
    return MakeTempFolderIn(std::filesystem::temp_directory_path(), prefix);
}

// Removes a folder and everything in it; nothing for an empty path or a missing folder.
inline void RemoveFolder(const std::filesystem::path& folder) {
    if (folder.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace testsupport
