// SPDX-License-Identifier: MIT
// The one way a value's type name and text form become a typed element,
// for the load, cdsctl's set and import, and whatever else reads values as
// text.
#pragma once

#include "cds/cds.h"

#include <string>
#include <string_view>

enum class TextConversion { ok, unknown_type, bad_value };

// Puts the value that text spells as a type_name into element. Unless ok,
// element is left as it was.
TextConversion typed_element(std::string_view type_name, const std::string& text,
                             toolkit::CElement& element);
