#include "picture_check.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_decode.h"
#include "decode_notes.h"
#include "file_kind.h"
#include "jpeg_decoder.h"
#include "load_jpeg_kernels.h"
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

// Why the file cannot be opened, in words.
std::string CannotOpen(const std::string& name) {
    const DWORD error = GetLastError();
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "'" + name + "' does not exist";
        case ERROR_ACCESS_DENIED:
            return "'" + name + "' cannot be read: permission denied";
        case ERROR_SHARING_VIOLATION:
            return "'" + name + "' cannot be read: another program has it open";
        default:
            return "'" + name + "' cannot be opened (system error " + std::to_string(error) + ")";
    }
}

// The item decodes through LoadJpeg inside its library, which tells nothing; the host runs the
// same loader on the file once more to learn what that decode notices.
std::string JpegProblem(const WCHAR* path, const std::string& name) {
    std::vector<uint8_t> image;
    if (!ReadStart(path, 0x7FFFFFFF, &image)) return CannotOpen(name);
    const std::string words = varnel::DescribeRefusalOfImage(
        image.data(), static_cast<int32_t>(image.size()), varnel::Audience::kPictureItem);
    if (!words.empty()) return "'" + name + "' is refused: " + words;
    varnel::DecodeNotes notes;
    POINT size{0, 0};
    HBITMAP picture =
        varnel::LoadJpegWithKernels(nullptr, path, &size, varnel::Kernels::Fast, &notes);
    if (picture == nullptr) return std::string();
    DeleteObject(picture);
    const std::string warning = varnel::DescribeDecodeNotes(notes);
    return warning.empty() ? std::string() : "'" + name + "': " + warning;
}

// A file that does not start with "BM": the item draws nothing. Its first bytes say what it is.
std::string NotBitmapProblem(const std::vector<uint8_t>& bytes, const std::string& name) {
    const varnel::FileKind kind =
        varnel::FindFileKind(bytes.data(), static_cast<int32_t>(bytes.size()));
    std::string words =
        "'" + name + "' is not a Windows bitmap file (it does not start with \"BM\")";
    switch (kind) {
        case varnel::FileKind::kJpeg:
            return words +
                   ": it is a JPEG file; rename it .jpg (only names ending in .jpg or .jpeg "
                   "are read as JPEG)";
        case varnel::FileKind::kUnknown:
            return words + "; only names ending in .jpg or .jpeg are read as JPEG";
        case varnel::FileKind::kEmpty:
            return words + ": it is empty (0 bytes); copy the picture again";
        default:
            return words + ": it is " + varnel::FileKindName(kind) +
                   "; convert it to a 24-bit bitmap or a baseline JPEG";
    }
}

// The bitmap's own reader (the one SHLoadDIBitmap runs) says whether it loads at all and
// whether its pixel data is whole. The item takes the picture's size from a 40-byte information
// header, so a 12-byte OS/2 header gives it a wrong size.
std::string BitmapProblem(const WCHAR* path, const std::string& name) {
    std::vector<uint8_t> bytes;
    if (!ReadStart(path, 0x7FFFFFFF, &bytes)) return CannotOpen(name);
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return NotBitmapProblem(bytes, name);
    if (bytes.size() < 14 + 40) return "'" + name + "' ends inside its bitmap headers";
    BmpInfo info;
    if (BmpReadInfo(bytes.data(), bytes.size(), &info) != BmpResult::Ok) {
        return "the bitmap loader cannot read '" + name +
               "' (a damaged bitmap, or a kind it does not read); save it again as a 24-bit "
               "bitmap";
    }
    const uint32_t header_size = uint32_t{bytes[14]} | uint32_t{bytes[15]} << 8 |
                                 uint32_t{bytes[16]} << 16 | uint32_t{bytes[17]} << 24;
    if (header_size == 12) {
        return "'" + name +
               "' is an OS/2 bitmap (12-byte core header): the item reads the size of a Windows "
               "bitmap's 40-byte header and shows it wrongly; save it again as a 24-bit Windows "
               "bitmap";
    }
    const size_t stride = (static_cast<size_t>(info.width) * 3 + 3) & ~size_t{3};
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(info.height));
    if (BmpDecode(bytes.data(), bytes.size(), pixels.data(), 3, stride) == BmpResult::Truncated) {
        return "'" + name +
               "' is cut short: its pixel data ends before the last row, and the missing "
               "pixels show black; copy the file again";
    }
    return std::string();
}

}  // namespace

std::string FindPictureProblem(const PictureSettings& settings) {
    if (settings.path[0] == 0)
        return "no picture file is set; choose one with 'today-host set --path FILE'";
    const std::string name = WideToUtf8(settings.path);
    const DWORD attributes = GetFileAttributesW(settings.path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "'" + name +
               "' is a folder, not a picture file; choose a file with 'today-host set --path "
               "FILE'";
    }
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
