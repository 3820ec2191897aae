// SPDX-License-Identifier: MIT
#include "common/typed_element.h"

TextConversion typed_element(std::string_view type_name, const std::string& text,
                             toolkit::CElement& element)
{
    // Looked up as a C string, which a NUL would end early.
    if (type_name.find('\0') != std::string_view::npos)
        return TextConversion::unknown_type;
    data_type_t type = pcd_str_to_enum(std::string(type_name).c_str());
    if (type == DATA_TYPE_NONE)
        return TextConversion::unknown_type;
    toolkit::CElement converted(DATA_TYPE_STRING, toolkit::CElement::_invalid_time, text);
    if (converted.convert_type(type) != 0)
        return TextConversion::bad_value;
    element = converted;
    return TextConversion::ok;
}
