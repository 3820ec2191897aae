// SPDX-License-Identifier: MIT
// Copies of the whole store: into a backup file, and back from one.
#pragma once

#include "libcds/db.h"

#include <string>

// A consistent copy of the store as it is now into file: ok, not_a_backup
// for a name that is not a plain path, or store_failed; error says why.
cds_store::Result copy_store_to(pcd_connection& connection, const std::string& file,
                                std::string& error);
// The store's contents replaced by those of file: ok, not_a_backup for a
// file that set and import could not have written or a name that is not a
// plain path, or store_failed; error says why.
cds_store::Result replace_store_from(pcd_connection& connection, const std::string& file,
                                     std::string& error);
