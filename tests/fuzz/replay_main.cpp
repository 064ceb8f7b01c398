// Runs a fuzz target's entry point on files without libFuzzer, so that the normal builds replay
// the inputs that once failed. Arguments are files or folders; a folder's regular files are
// taken in name order (not its subfolders), notes ending in .md are skipped. The target's own
// checks abort on a failure; the driver fails when an argument cannot be read, or when no input
// was found at all.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>* bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

void Collect(const std::filesystem::path& argument, std::vector<std::filesystem::path>* inputs) {
    if (!std::filesystem::is_directory(argument)) {
        inputs->push_back(argument);
        return;
    }
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(argument)) {
        if (entry.is_regular_file() && entry.path().extension() != ".md") {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    inputs->insert(inputs->end(), found.begin(), found.end());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) Collect(argv[i], &inputs);
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    for (const std::filesystem::path& input : inputs) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(input, &bytes)) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
        // An empty vector's data() may be null; libFuzzer passes a valid pointer.
        const uint8_t empty = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &empty : bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}
