// SPDX-License-Identifier: MIT
// The text the store takes, in values and in names alike: UTF-8 that an XML
// document can carry.
#pragma once

#include <string_view>

namespace cds_store
{

// Text that XML 1.0 can carry: valid UTF-8, no control character other
// than TAB, LF and CR, no U+FFFE or U+FFFF.
bool valid_string_value(std::string_view text);
// Such text without any control character and without "/": what the names
// in a path are made of.
bool valid_name_text(std::string_view text);

} // namespace cds_store
