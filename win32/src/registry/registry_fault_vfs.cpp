// A SQLite VFS that passes every call to the default VFS, except that opening, writing, syncing
// and locking a file first ask the fault plan (fault_points.h), so that the registry's saves
// meet a full disk, a write-protected file or a locked file exactly where a test wants them.
// Wrapping the default VFS this way is SQLite's documented means of adding to its file layer;
// without a plan the shim costs one counter per call.
#include "registry_fault_vfs.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>

#include "fault_plan.h"

namespace {

constexpr const char kVfsName[] = "win32layer-faults";

// A file of the shim: its own methods, then the default VFS's file, which follows it in the
// same block (szOsFile covers both).
struct alignas(8) ShimFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_vfs* RealVfs(sqlite3_vfs* vfs) {
    return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

sqlite3_file* Real(sqlite3_file* file) {
    return reinterpret_cast<ShimFile*>(file)->real;
}

int SqliteFailure(Win32LayerFaultPoint point) {
    return static_cast<int>(FaultPointError(point));
}

int Close(sqlite3_file* file) {
    return Real(file)->pMethods->xClose(Real(file));
}
int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}
int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    if (FaultPlanFails(WIN32LAYER_FAULT_SQLITE_WRITE_FULL)) {
        return SqliteFailure(WIN32LAYER_FAULT_SQLITE_WRITE_FULL);
    }
    if (FaultPlanFails(WIN32LAYER_FAULT_SQLITE_WRITE_PROTECTED)) {
        return SqliteFailure(WIN32LAYER_FAULT_SQLITE_WRITE_PROTECTED);
    }
    return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    return Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file* file, int flags) {
    if (FaultPlanFails(WIN32LAYER_FAULT_SQLITE_SYNC)) {
        return SqliteFailure(WIN32LAYER_FAULT_SQLITE_SYNC);
    }
    return Real(file)->pMethods->xSync(Real(file), flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) {
    if (FaultPlanFails(WIN32LAYER_FAULT_SQLITE_LOCK)) {
        return SqliteFailure(WIN32LAYER_FAULT_SQLITE_LOCK);
    }
    return Real(file)->pMethods->xLock(Real(file), level);
}
int Unlock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* reserved) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), reserved);
}
int FileControl(sqlite3_file* file, int op, void* argument) {
    return Real(file)->pMethods->xFileControl(Real(file), op, argument);
}
int SectorSize(sqlite3_file* file) {
    return Real(file)->pMethods->xSectorSize(Real(file));
}
int DeviceCharacteristics(sqlite3_file* file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** address) {
    return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, address);
}
int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, count, flags);
}
void ShmBarrier(sqlite3_file* file) {
    Real(file)->pMethods->xShmBarrier(Real(file));
}
int ShmUnmap(sqlite3_file* file, int delete_flag) {
    return Real(file)->pMethods->xShmUnmap(Real(file), delete_flag);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** page) {
    return Real(file)->pMethods->xFetch(Real(file), offset, amount, page);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

// The shim's methods, of the version of the real file's methods: SQLite looks at iVersion
// before it calls the shared-memory (2) and memory-mapping (3) methods.
sqlite3_io_methods MethodsOfVersion(int version) {
    sqlite3_io_methods methods = {version,
                                  Close,
                                  Read,
                                  Write,
                                  Truncate,
                                  Sync,
                                  FileSize,
                                  Lock,
                                  Unlock,
                                  CheckReservedLock,
                                  FileControl,
                                  SectorSize,
                                  DeviceCharacteristics,
                                  ShmMap,
                                  ShmLock,
                                  ShmBarrier,
                                  ShmUnmap,
                                  Fetch,
                                  Unfetch};
    return methods;
}

const sqlite3_io_methods* MethodsFor(const sqlite3_io_methods* real) {
    static const sqlite3_io_methods by_version[] = {MethodsOfVersion(1), MethodsOfVersion(2),
                                                    MethodsOfVersion(3)};
    int version = real->iVersion;
    if (version < 1) version = 1;
    if (version > 3) version = 3;
    return &by_version[version - 1];
}

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* out_flags) {
    auto* shim = reinterpret_cast<ShimFile*>(file);
    shim->base.pMethods = nullptr;
    if (FaultPlanFails(WIN32LAYER_FAULT_SQLITE_OPEN)) {
        return SqliteFailure(WIN32LAYER_FAULT_SQLITE_OPEN);
    }
    shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
    const int rc = RealVfs(vfs)->xOpen(RealVfs(vfs), name, shim->real, flags, out_flags);
    // SQLite calls xClose after a failed open only when pMethods is set; the real file is
    // closed by its own VFS then.
    if (shim->real->pMethods != nullptr) shim->base.pMethods = MethodsFor(shim->real->pMethods);
    return rc;
}

int Delete(sqlite3_vfs* vfs, const char* name, int sync_dir) {
    return RealVfs(vfs)->xDelete(RealVfs(vfs), name, sync_dir);
}
int Access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
    return RealVfs(vfs)->xAccess(RealVfs(vfs), name, flags, result);
}
int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return RealVfs(vfs)->xFullPathname(RealVfs(vfs), name, size, out);
}
void* DlOpen(sqlite3_vfs* vfs, const char* name) {
    return RealVfs(vfs)->xDlOpen(RealVfs(vfs), name);
}
void DlError(sqlite3_vfs* vfs, int size, char* out) {
    RealVfs(vfs)->xDlError(RealVfs(vfs), size, out);
}
void (*DlSym(sqlite3_vfs* vfs, void* library, const char* symbol))(void) {
    return RealVfs(vfs)->xDlSym(RealVfs(vfs), library, symbol);
}
void DlClose(sqlite3_vfs* vfs, void* library) {
    RealVfs(vfs)->xDlClose(RealVfs(vfs), library);
}
int Randomness(sqlite3_vfs* vfs, int size, char* out) {
    return RealVfs(vfs)->xRandomness(RealVfs(vfs), size, out);
}
int Sleep(sqlite3_vfs* vfs, int microseconds) {
    return RealVfs(vfs)->xSleep(RealVfs(vfs), microseconds);
}
int CurrentTime(sqlite3_vfs* vfs, double* now) {
    return RealVfs(vfs)->xCurrentTime(RealVfs(vfs), now);
}
int GetLastErrorText(sqlite3_vfs* vfs, int size, char* out) {
    return RealVfs(vfs)->xGetLastError(RealVfs(vfs), size, out);
}
int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
    sqlite3_vfs* real = RealVfs(vfs);
    if (real->iVersion >= 2 && real->xCurrentTimeInt64 != nullptr) {
        return real->xCurrentTimeInt64(real, now);
    }
    double days = 0;
    const int rc = real->xCurrentTime(real, &days);
    *now = static_cast<sqlite3_int64>(days * 86400000.0);
    return rc;
}

}  // namespace

const char* RegistryFaultVfsName() {
    static const char* name = []() -> const char* {
        sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
        if (real == nullptr) return nullptr;
        static sqlite3_vfs shim;
        std::memset(&shim, 0, sizeof(shim));
        shim.iVersion = 2;
        shim.szOsFile = static_cast<int>(sizeof(ShimFile)) + real->szOsFile;
        shim.mxPathname = real->mxPathname;
        shim.zName = kVfsName;
        shim.pAppData = real;
        shim.xOpen = Open;
        shim.xDelete = Delete;
        shim.xAccess = Access;
        shim.xFullPathname = FullPathname;
        shim.xDlOpen = DlOpen;
        shim.xDlError = DlError;
        shim.xDlSym = DlSym;
        shim.xDlClose = DlClose;
        shim.xRandomness = Randomness;
        shim.xSleep = Sleep;
        shim.xCurrentTime = CurrentTime;
        shim.xGetLastError = GetLastErrorText;
        shim.xCurrentTimeInt64 = CurrentTimeInt64;
        // Not the default: other users of SQLite in the process keep theirs.
        return sqlite3_vfs_register(&shim, 0) == SQLITE_OK ? kVfsName : nullptr;
    }();
    return name;
}
