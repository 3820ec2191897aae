// SPDX-License-Identifier: MIT
#include "libcds/db.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace
{

// SQLite keeps its log, its shared memory and its rollback journal next to
// the database, under the database's name with these endings.
const char* const store_file_endings[] = {"", "-wal", "-shm", "-journal"};

struct FreeMemory {
    void operator()(char* memory) const
    {
        std::free(memory);
    }
};

// The name a file gets once created at path: its directory resolved, with
// its last name. Empty when the directory can't be resolved.
std::string canonical_file_name(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::unique_ptr<char, FreeMemory> resolved(realpath(directory.c_str(), nullptr));
    if (!resolved)
        return "";
    std::string name = resolved.get();
    if (name != "/")
        name += '/';
    return name + path.substr(slash + 1);
}

bool is_same_file(const struct stat& info, const std::string& other)
{
    struct stat other_info;
    return stat(other.c_str(), &other_info) == 0 && info.st_dev == other_info.st_dev &&
           info.st_ino == other_info.st_ino;
}

} // namespace

int pcd_is_store_file(pcd_handle_t handle, const char* path)
{
    const char* store = handle ? sqlite3_db_filename(handle->db.get(), "main") : nullptr;
    if (!store || !*store || !path)
        return 0;
    // An existing file is known by its device and inode, whatever name or
    // link reaches it; a file not yet created, by the name it would get.
    struct stat info;
    bool exists = stat(path, &info) == 0;
    std::string name = exists ? "" : canonical_file_name(path);
    if (!exists && name.empty())
        return 0;
    for (const char* ending : store_file_endings) {
        std::string companion = store + std::string(ending);
        if (exists ? is_same_file(info, companion) : name == canonical_file_name(companion))
            return 1;
    }
    return 0;
}
