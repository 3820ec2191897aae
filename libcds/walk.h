// SPDX-License-Identifier: MIT
// Reading the store entry by entry, each as an Entry with all it holds.
// Both give ok, missing, stopped (by the visitor) or store_failed.
#pragma once

#include "libcds/admin.h"
#include "libcds/db.h"

#include <string>

// Visits the entry at path, then, for a node, everything under it depth
// first in creation order, a node before its contents.
cds_store::Result walk_entries(pcd_connection& connection, const std::string& path,
                               const cds_store::Visitor& visit);
// Visits only the entry at path.
cds_store::Result visit_entry(pcd_connection& connection, const std::string& path,
                              const cds_store::Visitor& visit);
