// Files that a fuzz target hands to the code under test by path: one private folder per process,
// in memory where the system allows (/dev/shm), removed when the process exits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// Writes the bytes to `name` inside the process's folder (created on first use) and returns
// the file's full path as UTF-16. Aborts when the file cannot be written.
std::u16string WriteScratchFile(const char* name, const uint8_t* data, size_t size);

// The process's folder, UTF-8, created on first use.
const std::string& ScratchFolder();

}  // namespace fuzzing
