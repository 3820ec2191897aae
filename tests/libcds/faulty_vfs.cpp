// SPDX-License-Identifier: MIT
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

// Kept behind the real file's own bytes: the real file's methods, and the
// copy of them that SQLite calls, whose reads and writes may fail.
struct Methods {
    const sqlite3_io_methods* real;
    sqlite3_io_methods faulty;
};

Methods& methods_of(sqlite3_file* file)
{
    return *reinterpret_cast<Methods*>(reinterpret_cast<char*>(file) + real_vfs->szOsFile);
}

bool fails(FaultyVfs::Kind kind)
{
    if (kind != armed_kind || calls_left <= 0 || --calls_left != 0)
        return false;
    failed = true;
    return true;
}

int read_or_fail(sqlite3_file* file, void* data, int size, sqlite3_int64 offset)
{
    return fails(FaultyVfs::read) ? SQLITE_IOERR_READ
                                  : methods_of(file).real->xRead(file, data, size, offset);
}

int write_or_fail(sqlite3_file* file, const void* data, int size, sqlite3_int64 offset)
{
    return fails(FaultyVfs::write) ? SQLITE_IOERR_WRITE
                                   : methods_of(file).real->xWrite(file, data, size, offset);
}

int open_faulty(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags)
{
    int result = real_vfs->xOpen(real_vfs, name, file, flags, out_flags);
    if (!file->pMethods)
        return result;
    Methods& methods = methods_of(file);
    methods.real = file->pMethods;
    methods.faulty = *file->pMethods;
    // Version 2: without xFetch SQLite maps no memory, so every read is an xRead.
    if (methods.faulty.iVersion > 2)
        methods.faulty.iVersion = 2;
    methods.faulty.xRead = read_or_fail;
    methods.faulty.xWrite = write_or_fail;
    file->pMethods = &methods.faulty;
    return result;
}

} // namespace

FaultyVfs::FaultyVfs()
{
    real_vfs = sqlite3_vfs_find(nullptr);
    faulty_vfs = *real_vfs;
    faulty_vfs.szOsFile = real_vfs->szOsFile + sizeof(Methods);
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
