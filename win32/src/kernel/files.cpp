// Files: CreateFileW and friends over Linux file descriptors. Paths arrive as UTF-16 and are
// opened as UTF-8 with backslashes taken for separators. Share modes are accepted and not
// enforced (Linux has no mandatory sharing). A directory opens only with
// FILE_FLAG_BACKUP_SEMANTICS, as on Windows; otherwise the open fails with access denied.
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "handle_table.h"
#include "fault_plan.h"
#include "utf16_path.h"
#include "win32/kernel.h"

namespace {

struct FileObject {
    int fd;
};

// The Windows error for an errno of a failed path operation on path.
DWORD ErrorFromErrno(int error, const std::string& path) {
    switch (error) {
        case ENOENT: {
            // Windows tells a missing file from a missing folder on the way to it.
            size_t slash = path.find_last_of('/');
            if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
            struct stat info;
            std::string parent = path.substr(0, slash);
            if (stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                return ERROR_FILE_NOT_FOUND;
            }
            return ERROR_PATH_NOT_FOUND;
        }
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case EBADF:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case EFAULT:
            return ERROR_NOACCESS;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_GEN_FAILURE;
    }
}

// The path as Linux takes it; sets the Windows error and returns false when there is none.
bool LinuxPath(LPCWSTR path, std::string* out) {
    if (path == nullptr || path[0] == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (!WindowsPathToLinux(path, out)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

FileObject* LookupFile(HANDLE file) {
    auto* object = static_cast<FileObject*>(HandleLookup(file, HandleKind::File));
    if (object == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

}  // namespace

extern "C" WIN32LAYER_API HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD /*share*/,
                                                    LPSECURITY_ATTRIBUTES /*security*/,
                                                    DWORD disposition, DWORD flags,
                                                    HANDLE /*template_file*/) {
    std::string linux_path;
    if (!LinuxPath(path, &linux_path)) return INVALID_HANDLE_VALUE;
    if (FaultPlanFails(WIN32LAYER_FAULT_CREATE_FILE)) return INVALID_HANDLE_VALUE;

    bool want_read = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
    bool want_write = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    int open_flags = O_CLOEXEC;
    if (want_read && want_write) {
        open_flags |= O_RDWR;
    } else if (want_write) {
        open_flags |= O_WRONLY;
    } else {
        open_flags |= O_RDONLY;
    }
    switch (disposition) {
        case CREATE_NEW:
            open_flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            open_flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            open_flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            if (!want_write) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            open_flags |= O_TRUNC;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }

    // CREATE_ALWAYS and OPEN_ALWAYS report whether the file was already there.
    struct stat before;
    bool existed = stat(linux_path.c_str(), &before) == 0;
    if (existed && S_ISDIR(before.st_mode) && (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && S_ISDIR(before.st_mode)) open_flags &= ~(O_CREAT | O_TRUNC | O_EXCL);

    mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    int fd;
    do {
        fd = open(linux_path.c_str(), open_flags, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno, linux_path));
        return INVALID_HANDLE_VALUE;
    }
    // The folder check again on what was opened, in case the path changed in between.
    struct stat opened;
    if (fstat(fd, &opened) != 0 ||
        (S_ISDIR(opened.st_mode) && (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }

    auto* object = new (std::nothrow) FileObject{fd};
    HANDLE handle = object != nullptr ? HandleCreate(HandleKind::File, object) : nullptr;
    if (handle == nullptr) {
        delete object;
        close(fd);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

extern "C" WIN32LAYER_API DWORD WINAPI GetFileSize(HANDLE file, LPDWORD size_high) {
    FileObject* object = LookupFile(file);
    if (object == nullptr) return INVALID_FILE_SIZE;
    if (FaultPlanFails(WIN32LAYER_FAULT_GET_FILE_SIZE)) return INVALID_FILE_SIZE;
    struct stat info;
    if (fstat(object->fd, &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    if (size_high != nullptr) *size_high = static_cast<DWORD>(size >> 32);
    DWORD low = static_cast<DWORD>(size);
    // A low part that looks like the failure value is told apart by the error code.
    if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
    return low;
}

extern "C" WIN32LAYER_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD to_read,
                                               LPDWORD read_count, LPOVERLAPPED overlapped) {
    if (read_count != nullptr) *read_count = 0;
    FileObject* object = LookupFile(file);
    if (object == nullptr) return FALSE;
    if (overlapped != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (buffer == nullptr && to_read > 0) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    // Like ReadFile on a disk file: read until the request is met or the file ends. A failure
    // that the fault plan asks for stops after half the request, as a card pulled out would.
    auto* out = static_cast<unsigned char*>(buffer);
    DWORD total = 0;
    const bool fails = FaultPlanFails(WIN32LAYER_FAULT_READ_FILE);
    const DWORD wanted = fails ? to_read / 2 : to_read;
    while (total < wanted) {
        size_t chunk = wanted - total;
        if (chunk > (1u << 30)) chunk = 1u << 30;
        ssize_t got = read(object->fd, out + total, chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (read_count != nullptr) *read_count = total;
            SetLastError(errno == EISDIR ? ERROR_INVALID_PARAMETER
                                         : ErrorFromErrno(errno, std::string()));
            return FALSE;
        }
        if (got == 0) break;
        total += static_cast<DWORD>(got);
    }
    if (read_count != nullptr) *read_count = total;
    if (fails) {
        SetLastError(FaultPointError(WIN32LAYER_FAULT_READ_FILE));
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" WIN32LAYER_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write,
                                                LPDWORD written, LPOVERLAPPED overlapped) {
    if (written != nullptr) *written = 0;
    FileObject* object = LookupFile(file);
    if (object == nullptr) return FALSE;
    if (overlapped != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (buffer == nullptr && to_write > 0) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const auto* in = static_cast<const unsigned char*>(buffer);
    DWORD total = 0;
    const bool fails = FaultPlanFails(WIN32LAYER_FAULT_WRITE_FILE);
    const DWORD wanted = fails ? to_write / 2 : to_write;
    while (total < wanted) {
        size_t chunk = wanted - total;
        if (chunk > (1u << 30)) chunk = 1u << 30;
        ssize_t put = write(object->fd, in + total, chunk);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (written != nullptr) *written = total;
            SetLastError(ErrorFromErrno(errno, std::string()));
            return FALSE;
        }
        total += static_cast<DWORD>(put);
    }
    if (written != nullptr) *written = total;
    if (fails) {
        SetLastError(FaultPointError(WIN32LAYER_FAULT_WRITE_FILE));
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

extern "C" WIN32LAYER_API DWORD WINAPI SetFilePointer(HANDLE file, LONG distance,
                                                      LPLONG distance_high, DWORD method) {
    FileObject* object = LookupFile(file);
    if (object == nullptr) return INVALID_SET_FILE_POINTER;
    int64_t offset = distance_high != nullptr
                         ? static_cast<int64_t>(
                               (static_cast<uint64_t>(static_cast<DWORD>(*distance_high)) << 32) |
                               static_cast<DWORD>(distance))
                         : static_cast<int64_t>(distance);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    if (method > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (whence == SEEK_SET && offset < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(object->fd, static_cast<off_t>(offset), whence);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    auto unsigned_position = static_cast<uint64_t>(position);
    if (distance_high != nullptr) *distance_high = static_cast<LONG>(unsigned_position >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(unsigned_position);
}

extern "C" WIN32LAYER_API BOOL WINAPI CloseHandle(HANDLE handle) {
    auto* object = static_cast<FileObject*>(HandleRelease(handle, HandleKind::File));
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    close(object->fd);
    delete object;
    return TRUE;
}

extern "C" WIN32LAYER_API DWORD WINAPI GetFileAttributesW(LPCWSTR path) {
    std::string linux_path;
    if (!LinuxPath(path, &linux_path)) return INVALID_FILE_ATTRIBUTES;
    if (FaultPlanFails(WIN32LAYER_FAULT_GET_FILE_ATTRIBUTES)) return INVALID_FILE_ATTRIBUTES;
    struct stat info;
    if (stat(linux_path.c_str(), &info) != 0) {
        SetLastError(ErrorFromErrno(errno, linux_path));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes;
}

extern "C" WIN32LAYER_API BOOL WINAPI DeleteFileW(LPCWSTR path) {
    std::string linux_path;
    if (!LinuxPath(path, &linux_path)) return FALSE;
    struct stat info;
    if (stat(linux_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(linux_path.c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno, linux_path));
        return FALSE;
    }
    return TRUE;
}
