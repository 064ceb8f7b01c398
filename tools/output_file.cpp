// varnel-decode's output file (output_file.h). POSIX systems follow links and tell regular files
// from FIFOs and devices with stat; Windows, where the tool is built with mingw-w64, asks the
// file's type from an open handle and replaces a file with MoveFileExW.
#include "output_file.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it builds on.
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool WriteAll(std::FILE* file, const OutputBytes& bytes) {
    return std::fwrite(bytes.head.data(), 1, bytes.head.size(), file) == bytes.head.size() &&
           (bytes.bits_size == 0 ||
            std::fwrite(bytes.bits, 1, bytes.bits_size, file) == bytes.bits_size);
}

bool WriteToStdout(const OutputBytes& bytes, std::string* error) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (WriteAll(stdout, bytes) && std::fflush(stdout) == 0) return true;
    *error = std::strerror(errno);
    return false;
}

#ifdef _WIN32

std::wstring Wide(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), units);
    wide.pop_back();  // the terminator that the conversion counted
    return wide;
}

std::string SystemMessage(DWORD code) {
    return "Windows error " + std::to_string(code);
}

// A handle for asking about an existing file or device, whatever may be reading or writing it.
HANDLE OpenToQuery(const std::string& path) {
    return CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool WriteInPlace(const std::string& path, const OutputBytes& bytes, std::string* error) {
    std::FILE* file = _wfopen(Wide(path).c_str(), L"wb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(file, bytes);
    const int saved = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    *error = std::strerror(written ? errno : saved);
    return false;
}

}  // namespace

bool IsSameFile(const std::string& first, const std::string& second) {
    HANDLE a = OpenToQuery(first);
    if (a == INVALID_HANDLE_VALUE) return false;
    HANDLE b = OpenToQuery(second);
    bool same = false;
    if (b != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION ia{};
        BY_HANDLE_FILE_INFORMATION ib{};
        same = GetFileInformationByHandle(a, &ia) && GetFileInformationByHandle(b, &ib) &&
               ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
               ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
        CloseHandle(b);
    }
    CloseHandle(a);
    return same;
}

bool WriteOutputFile(const std::string& path, const OutputBytes& bytes, std::string* error) {
    if (path == "-") return WriteToStdout(bytes, error);
    // A device (NUL, CON, a named pipe) is written as it is.
    HANDLE existing = OpenToQuery(path);
    if (existing != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(existing);
        CloseHandle(existing);
        if (type != FILE_TYPE_DISK) return WriteInPlace(path, bytes, error);
    }
    const std::string temporary = path + ".partial";
    if (!WriteInPlace(temporary, bytes, error)) {
        _wremove(Wide(temporary).c_str());
        return false;
    }
    if (!MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = SystemMessage(GetLastError());
        _wremove(Wide(temporary).c_str());
        return false;
    }
    return true;
}

#else

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash + 1);
}

// The name that a chain of symbolic links ends in, for a name that does not exist yet (a
// dangling link): its target is created. Empty, with errno set, for a loop.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link {};
        if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
        std::vector<char> text(static_cast<size_t>(link.st_size > 0 ? link.st_size : PATH_MAX) + 1);
        const ssize_t length = readlink(path.c_str(), text.data(), text.size() - 1);
        if (length < 0) return path;
        const std::string target(text.data(), static_cast<size_t>(length));
        path = !target.empty() && target[0] == '/' ? target : Folder(path) + target;
    }
    errno = ELOOP;
    return std::string();
}

// Writes the bytes through a descriptor and closes it. False with errno set on failure.
bool WriteDescriptor(int fd, const OutputBytes& bytes) {
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return false;
    }
    const bool written = WriteAll(file, bytes);
    const int saved = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written) errno = saved;
    return written && closed;
}

// A FIFO, a device, or a regular file reached through a name that cannot be replaced (such as
// /proc/self/fd/1): written where it is.
bool WriteInPlace(const std::string& path, const OutputBytes& bytes, std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 || !WriteDescriptor(fd, bytes)) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

// A regular file, new or existing: written beside it under a temporary name and renamed over
// it. An existing file's permissions (and, where allowed, its owner and group) are kept.
bool ReplaceRegularFile(const std::string& target, const struct stat* old, const OutputBytes& bytes,
                        std::string* error) {
    const std::string temporary = target + ".partial";
    unlink(temporary.c_str());  // a leftover of an interrupted run, or a link planted there
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        // A file that may be written in a folder that may not: written where it is.
        if (old != nullptr && errno == EACCES) return WriteInPlace(target, bytes, error);
        *error = std::strerror(errno);
        return false;
    }
    bool ok = true;
    if (old != nullptr) {
        // Root keeps the file's owner; anyone else at least its group where allowed.
        if (fchown(fd, old->st_uid, old->st_gid) != 0) {
            [[maybe_unused]] const int ignored = fchown(fd, static_cast<uid_t>(-1), old->st_gid);
        }
        ok = fchmod(fd, old->st_mode & 07777) == 0;
        if (!ok) {
            *error = std::strerror(errno);
            close(fd);
        }
    }
    if (ok && !WriteDescriptor(fd, bytes)) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (!ok) unlink(temporary.c_str());
    return ok;
}

}  // namespace

bool IsSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool WriteOutputFile(const std::string& path, const OutputBytes& bytes, std::string* error) {
    if (path == "-") return WriteToStdout(bytes, error);
    struct stat existing {};
    if (stat(path.c_str(), &existing) != 0) {
        if (errno != ENOENT) {
            *error = std::strerror(errno);
            return false;
        }
        // Nothing there yet, or a link to nothing yet: the name at the end of the links.
        const std::string target = FollowLinks(path);
        if (target.empty()) {
            *error = std::strerror(errno);
            return false;
        }
        return ReplaceRegularFile(target, nullptr, bytes, error);
    }
    if (!S_ISREG(existing.st_mode)) return WriteInPlace(path, bytes, error);
    // The file that the name, through any links, stands for.
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return WriteInPlace(path, bytes, error);
    const std::string target = real;
    std::free(real);
    struct stat check {};
    if (stat(target.c_str(), &check) != 0 || check.st_dev != existing.st_dev ||
        check.st_ino != existing.st_ino) {
        return WriteInPlace(path, bytes, error);
    }
    return ReplaceRegularFile(target, &existing, bytes, error);
}

#endif
