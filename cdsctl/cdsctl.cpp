// SPDX-License-Identifier: MIT
// What main.cpp and lines.cpp share: messages, the property number and the
// text forms of what the store holds.
#include "cdsctl/cdsctl.h"
#include "common/escape.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

using cds_store::Result;

bool read_property_number(std::string_view text, int& property)
{
    // One spelling a number, the one export writes: no sign, no leading zero.
    if (text.empty() || text[0] < '0' || text[0] > '9' || (text[0] == '0' && text.size() > 1))
        return false;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, property);
    return error == std::errc() && stop == end && property >= 0 && property <= 255;
}

int report_failure(int status, const char* format, ...)
{
    std::string line = "cdsctl: ";
    va_list args;
    va_start(args, format);
    append_escaped_message(line, format, args);
    va_end(args);
    line += '\n';
    std::fputs(line.c_str(), stderr);
    return status;
}

int report_output_failure(int error)
{
    return report_failure(EXIT_FAILURE_OTHER, "standard output: %s",
                          error != 0 ? std::strerror(error) : "write error");
}

int report_store_failure(pcd_handle_t handle, const std::string& where, Result outcome)
{
    if (outcome == Result::store_failed)
        return report_failure(EXIT_FAILURE_OTHER, "%s: %s: %s", where.c_str(),
                              cds_store::describe(outcome), cds_store::last_error(handle).c_str());
    return report_failure(EXIT_FAILURE_OTHER, "%s: %s", where.c_str(),
                          cds_store::describe(outcome));
}

const char* type_name_or_invalid(data_type_t type)
{
    const char* name = pcd_enum_to_str(type);
    return name ? name : toolkit::CElement::_invalid;
}

std::string entry_value_text(const cds_store::Entry& entry)
{
    if (entry.type != DATA_TYPE_BINARY)
        return std::string(entry.value);
    toolkit::CElement value(DATA_TYPE_BINARY, entry.time, std::string(),
                            std::vector<std::uint8_t>(entry.value.begin(), entry.value.end()));
    std::string text;
    value.to_string(text);
    return text;
}
