// Writing varnel-decode's output where its OUT argument says, the way a person expects of a
// command-line tool: a new or existing regular file is written under a temporary name beside it
// and renamed over it (a failure leaves the old file, or none, never half a picture), keeping an
// existing file's permissions; a symbolic link is followed and its target written; a FIFO, a
// device or /dev/stdout is written in place; "-" is standard output. Names are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The bytes of an output file: `head`, then `bits_size` bytes at `bits`.
struct OutputBytes {
    std::vector<uint8_t> head;
    const uint8_t* bits = nullptr;
    size_t bits_size = 0;
};

// True when both names exist and are one file (the same device and inode, or on Windows the same
// volume and file index), however they are spelled or linked.
bool IsSameFile(const std::string& first, const std::string& second);

// Writes the bytes to `path`, as the opening comment says. False with the reason on failure.
bool WriteOutputFile(const std::string& path, const OutputBytes& bytes, std::string* error);
