#include "faulty_vfs.h"

#include <sqlite3.h>

namespace
{

// The VFS callbacks see only SQLite's arguments, so the state is global.
sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs faulty_vfs;
FaultyVfs::Kind armed_kind = FaultyVfs::read;
int calls_left = 0; // the call that fails brings it to 0
bool failed = false;

// The file SQLite sees, with the real one right behind it.
struct FaultyFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* real_of(sqlite3_file* file)
{
    return reinterpret_cast<FaultyFile*>(file)->real;
}

const sqlite3_io_methods& real_methods(sqlite3_file* file)
{
    return *real_of(file)->pMethods;
}

bool fails(FaultyVfs::Kind kind)
{
    if (kind != armed_kind || calls_left <= 0 || --calls_left != 0)
        return false;
    failed = true;
    return true;
}

// Version 2: without xFetch SQLite maps no memory, so every read is an xRead.
const sqlite3_io_methods faulty_methods = {
    2,
    [](sqlite3_file* f) { return real_methods(f).xClose(real_of(f)); },
    [](sqlite3_file* f, void* data, int size, sqlite3_int64 offset) {
        return fails(FaultyVfs::read) ? SQLITE_IOERR_READ
                                      : real_methods(f).xRead(real_of(f), data, size, offset);
    },
    [](sqlite3_file* f, const void* data, int size, sqlite3_int64 offset) {
        return fails(FaultyVfs::write) ? SQLITE_IOERR_WRITE
                                       : real_methods(f).xWrite(real_of(f), data, size, offset);
    },
    [](sqlite3_file* f, sqlite3_int64 size) { return real_methods(f).xTruncate(real_of(f), size); },
    [](sqlite3_file* f, int flags) { return real_methods(f).xSync(real_of(f), flags); },
    [](sqlite3_file* f, sqlite3_int64* size) {
        return real_methods(f).xFileSize(real_of(f), size);
    },
    [](sqlite3_file* f, int lock) { return real_methods(f).xLock(real_of(f), lock); },
    [](sqlite3_file* f, int lock) { return real_methods(f).xUnlock(real_of(f), lock); },
    [](sqlite3_file* f, int* out) { return real_methods(f).xCheckReservedLock(real_of(f), out); },
    [](sqlite3_file* f, int op, void* arg) {
        return real_methods(f).xFileControl(real_of(f), op, arg);
    },
    [](sqlite3_file* f) { return real_methods(f).xSectorSize(real_of(f)); },
    [](sqlite3_file* f) { return real_methods(f).xDeviceCharacteristics(real_of(f)); },
    [](sqlite3_file* f, int region, int size, int extend, void volatile** out) {
        return real_methods(f).xShmMap(real_of(f), region, size, extend, out);
    },
    [](sqlite3_file* f, int offset, int count, int flags) {
        return real_methods(f).xShmLock(real_of(f), offset, count, flags);
    },
    [](sqlite3_file* f) { real_methods(f).xShmBarrier(real_of(f)); },
    [](sqlite3_file* f, int remove) { return real_methods(f).xShmUnmap(real_of(f), remove); },
    nullptr,
    nullptr,
};

int open_faulty(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags)
{
    FaultyFile* faulty = reinterpret_cast<FaultyFile*>(file);
    faulty->real = reinterpret_cast<sqlite3_file*>(faulty + 1);
    int result = real_vfs->xOpen(real_vfs, name, faulty->real, flags, out_flags);
    file->pMethods = faulty->real->pMethods ? &faulty_methods : nullptr;
    return result;
}

} // namespace

FaultyVfs::FaultyVfs()
{
    real_vfs = sqlite3_vfs_find(nullptr);
    faulty_vfs = *real_vfs;
    faulty_vfs.szOsFile = sizeof(FaultyFile) + real_vfs->szOsFile;
    faulty_vfs.zName = "faulty";
    faulty_vfs.pNext = nullptr;
    faulty_vfs.xOpen = open_faulty;
    sqlite3_vfs_register(&faulty_vfs, 1);
}

FaultyVfs::~FaultyVfs()
{
    sqlite3_vfs_register(real_vfs, 1);
    sqlite3_vfs_unregister(&faulty_vfs);
}

void FaultyVfs::fail(Kind kind, int nth)
{
    armed_kind = kind;
    calls_left = nth;
    failed = false;
}

bool FaultyVfs::heal()
{
    calls_left = 0;
    return failed;
}
