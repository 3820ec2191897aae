// SPDX-License-Identifier: MIT
// What the store's operations answer, in every layer of the library.
#pragma once

namespace cds_store
{

// The result of every operation of the store that can fail.
enum class Result {
    ok,
    missing,
    stopped,
    no_canonical_path,
    bad_name,
    bad_type,
    bad_value,
    under_data_point,
    is_node,
    is_data_point,
    is_root,
    bad_property,
    too_large,
    not_a_backup,
    store_failed,
};

} // namespace cds_store
