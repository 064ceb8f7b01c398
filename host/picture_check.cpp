#include "picture_check.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg_decoder.h"
#include "pocketpc.h"
#include "refusal.h"
#include "text.h"

namespace {

// The item's rule: the text from the last '.' is ".jpg" or ".jpeg", in any letter case.
bool IsJpegName(const WCHAR* path) {
    const WCHAR* extension = nullptr;
    for (const WCHAR* c = path; *c != 0; ++c) {
        if (*c == '.') extension = c;
    }
    if (extension == nullptr) return false;
    std::string lower;
    for (const WCHAR* c = extension; *c != 0; ++c) {
        lower.push_back(*c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a')
                                               : static_cast<char>(*c < 0x80 ? *c : '?'));
    }
    return lower == ".jpg" || lower == ".jpeg";
}

HANDLE OpenForReading(const WCHAR* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Up to `limit` bytes from the start of the file; false when it cannot be opened.
bool ReadStart(const WCHAR* path, DWORD limit, std::vector<uint8_t>* bytes) {
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(file, nullptr);
    bytes->assign(size == INVALID_FILE_SIZE || size > limit ? limit : size, 0);
    DWORD read = 0;
    if (!bytes->empty() &&
        !ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr)) {
        read = 0;
    }
    bytes->resize(read);
    CloseHandle(file);
    return true;
}

std::string CannotOpen(const std::string& name) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return "'" + name + "' does not exist";
    return "'" + name + "' cannot be opened (error " + std::to_string(error) + ")";
}

std::string JpegProblem(const WCHAR* path, const std::string& name) {
    std::vector<uint8_t> image;
    if (!ReadStart(path, 0x7FFFFFFF, &image)) return CannotOpen(name);
    const std::string words =
        varnel::DescribeRefusalOfImage(image.data(), static_cast<int32_t>(image.size()));
    return words.empty() ? std::string() : "'" + name + "' is refused: " + words;
}

std::string BitmapProblem(const WCHAR* path, const std::string& name) {
    std::vector<uint8_t> headers;
    if (!ReadStart(path, 14 + 40, &headers)) return CannotOpen(name);
    if (headers.size() < 2 || headers[0] != 'B' || headers[1] != 'M') {
        return "'" + name +
               "' is not a Windows bitmap file (it does not start with \"BM\"); only names "
               "ending in .jpg or .jpeg are read as JPEG";
    }
    if (headers.size() < 14 + 40) return "'" + name + "' ends inside its bitmap headers";
    HBITMAP picture = SHLoadDIBitmap(path);
    if (picture == nullptr) {
        return "the bitmap loader cannot read '" + name +
               "' (a damaged bitmap, or a kind it does not read); save it again as a 24-bit "
               "bitmap";
    }
    DeleteObject(picture);
    return std::string();
}

}  // namespace

std::string FindPictureProblem(const PictureSettings& settings) {
    if (settings.path[0] == 0)
        return "no picture file is set; choose one with 'today-host set --path FILE'";
    const std::string name = WideToUtf8(settings.path);
    std::string problem = IsJpegName(settings.path) ? JpegProblem(settings.path, name)
                                                    : BitmapProblem(settings.path, name);
    if (!problem.empty()) return problem;
    const int32_t mode = static_cast<int32_t>(settings.mode);
    if (mode < 0 || mode > 2) {
        return "the placement value " + std::to_string(mode) +
               " is outside 0 to 2 (stretch, center, tile); choose one with 'today-host set "
               "--mode'";
    }
    return std::string();
}
