// SPDX-License-Identifier: MIT
// The admin API on a handle, over the library's layers on a connection.
#include "libcds/admin.h"
#include "libcds/backup.h"
#include "libcds/db.h"
#include "libcds/rows.h"
#include "libcds/walk.h"
#include "libcds/write.h"

#include <cstdlib>
#include <ctime>

namespace cds_store
{

const char* describe(Result result)
{
    switch (result) {
    case Result::ok:
        return "written";
    case Result::missing:
        return "nothing is there";
    case Result::stopped:
        return "the walk was stopped";
    case Result::no_canonical_path:
        return "the path has no canonical form";
    case Result::bad_name:
        return "a name in the path is not valid";
    case Result::bad_type:
        return "no such type";
    case Result::bad_value:
        return "the value is not valid for its type";
    case Result::under_data_point:
        return "the path passes through a data point";
    case Result::is_node:
        return "a node is there";
    case Result::is_data_point:
        return "a data point is there";
    case Result::is_root:
        return "the root cannot be changed";
    case Result::bad_property:
        return "the property is not in 0..255";
    case Result::too_large:
        return "the value is too large for the store";
    case Result::not_a_backup:
        return "the file is not a backup the store can take";
    case Result::store_failed:
        return "the store failed";
    }
    return "unknown outcome";
}

std::string store_file()
{
    const char* file = std::getenv("CDS_STORE");
    return file ? file : "/var/lib/cds/store.db";
}

std::string last_error(pcd_handle_t handle)
{
    return handle ? failure_text(*handle) : "no store";
}

Result begin_batch(pcd_handle_t handle)
{
    return handle && begin_write_transaction(*handle) ? Result::ok : Result::store_failed;
}

Result commit_batch(pcd_handle_t handle)
{
    return handle && commit_write_transaction(*handle) ? Result::ok : Result::store_failed;
}

void rollback_batch(pcd_handle_t handle)
{
    if (handle)
        rollback_write_transaction(*handle);
}

pcd_timestamp_t now()
{
    timespec time{};
    clock_gettime(CLOCK_REALTIME, &time);
    return {static_cast<std::uint32_t>(time.tv_sec),
            static_cast<std::uint32_t>(time.tv_nsec / 1000)};
}

Result put_leaf(pcd_handle_t handle, const std::string& path, const toolkit::CElement& value,
                int property, const std::string& source, pcd_timestamp_t time)
{
    sqlite3_int64 source_id = 0;
    if (!handle || !find_or_add_source(*handle, source, source_id))
        return Result::store_failed;
    return write_leaf(*handle, path, value, property, source_id, time);
}

Result put_node(pcd_handle_t handle, const std::string& path, int property)
{
    return handle ? write_node(*handle, path, property) : Result::store_failed;
}

Result remove_entries(pcd_handle_t handle, const std::vector<std::string>& paths,
                      std::size_t& failed)
{
    failed = 0;
    return handle ? remove_paths(*handle, paths, failed) : Result::store_failed;
}

Result remove_entry(pcd_handle_t handle, const std::string& path)
{
    std::size_t failed = 0;
    return remove_entries(handle, {path}, failed);
}

Result walk(pcd_handle_t handle, const std::string& path, const Visitor& visit)
{
    return handle ? walk_entries(*handle, path, visit) : Result::store_failed;
}

Result find(pcd_handle_t handle, const std::string& path, const Visitor& visit)
{
    return handle ? visit_entry(*handle, path, visit) : Result::store_failed;
}

Result backup(pcd_handle_t handle, const std::string& file, std::string& error)
{
    return handle ? copy_store_to(*handle, file, error) : Result::store_failed;
}

Result restore(pcd_handle_t handle, const std::string& file, std::string& error)
{
    return handle ? replace_store_from(*handle, file, error) : Result::store_failed;
}

} // namespace cds_store
