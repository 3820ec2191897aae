// SPDX-License-Identifier: MIT
#include "cds/cds.h"
#include "common/hex.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// Reads in as one type. On success the value's stored form is left in text
// (its canonical text) or, for binary, in bytes.
using ParseFn = bool (*)(const std::string& in, std::string& text, Bytes& bytes);
// Writes a value's text form from its stored form.
using FormatFn = void (*)(const std::string& text, const Bytes& bytes, std::string& out);

struct TypeForm {
    data_type_t type;
    const char* name;
    ParseFn parse;
    FormatFn format;
};

template <typename T> bool read_whole(const std::string& in, T& value)
{
    const char* end = in.data() + in.size();
    auto [stop, error] = std::from_chars(in.data(), end, value);
    return error == std::errc() && stop == end;
}

template <typename T> std::string write_chars(T value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool read_hex_byte(const char* pair, std::uint8_t& byte)
{
    int high = hex_value(pair[0]);
    int low = hex_value(pair[1]);
    if (high < 0 || low < 0)
        return false;
    byte = static_cast<std::uint8_t>(high * 16 + low);
    return true;
}

bool parse_bool(const std::string& in, std::string& text, Bytes&)
{
    if (in != "true" && in != "false")
        return false;
    text = in;
    return true;
}

template <typename T> bool parse_integer(const std::string& in, std::string& text, Bytes&)
{
    T value = 0;
    if (!read_whole(in, value))
        return false;
    text = write_chars(value);
    return true;
}

bool parse_double(const std::string& in, std::string& text, Bytes&)
{
    double value = 0;
    if (!read_whole(in, value))
        return false;
    // A NaN's sign and payload mean nothing to a reader; all NaNs read "nan".
    text = std::isnan(value) ? "nan" : write_chars(value);
    return true;
}

bool parse_string(const std::string& in, std::string& text, Bytes&)
{
    text = in;
    return true;
}

bool parse_ipv4(const std::string& in, std::string& text, Bytes&)
{
    unsigned char address[4];
    char buffer[INET_ADDRSTRLEN];
    // inet_pton stops at a NUL, which would hide anything after it.
    if (in.find('\0') != std::string::npos || inet_pton(AF_INET, in.c_str(), address) != 1 ||
        !inet_ntop(AF_INET, address, buffer, sizeof buffer))
        return false;
    text = buffer;
    return true;
}

bool parse_ipv6(const std::string& in, std::string& text, Bytes&)
{
    unsigned char address[16];
    char buffer[INET6_ADDRSTRLEN];
    if (in.find('\0') != std::string::npos || inet_pton(AF_INET6, in.c_str(), address) != 1 ||
        !inet_ntop(AF_INET6, address, buffer, sizeof buffer))
        return false;
    text = buffer;
    // inet_ntop writes the deprecated IPv4-compatible range (::/96) with a
    // dotted tail, which RFC 5952 reserves for prefixes that mark an
    // embedded IPv4 address; write the last two words in hex instead.
    static const unsigned char zeros[12] = {};
    if (std::memcmp(address, zeros, sizeof zeros) == 0 && text.find('.') != std::string::npos) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "::%x:%x", address[12] << 8 | address[13],
                      address[14] << 8 | address[15]);
        text = hex;
    }
    return true;
}

bool parse_mac(const std::string& in, std::string& text, Bytes&)
{
    const std::size_t pairs = 6;
    if (in.size() != pairs * 3 - 1)
        return false;
    std::string canonical;
    for (std::size_t i = 0; i < pairs; ++i) {
        std::uint8_t byte = 0;
        if (!read_hex_byte(&in[i * 3], byte) || (i + 1 < pairs && in[i * 3 + 2] != ':'))
            return false;
        if (i > 0)
            canonical += ':';
        append_hex_byte(canonical, byte);
    }
    text = std::move(canonical);
    return true;
}

bool parse_binary(const std::string& in, std::string& text, Bytes& bytes)
{
    if (in.size() % 2 != 0)
        return false;
    Bytes value(in.size() / 2);
    for (std::size_t i = 0; i < value.size(); ++i)
        if (!read_hex_byte(&in[i * 2], value[i]))
            return false;
    text.clear();
    bytes = std::move(value);
    return true;
}

void format_text(const std::string& text, const Bytes&, std::string& out)
{
    out = text;
}

void format_hex(const std::string&, const Bytes& bytes, std::string& out)
{
    out.clear();
    for (std::uint8_t byte : bytes)
        append_hex_byte(out, byte);
}

const TypeForm type_forms[] = {
    {DATA_TYPE_BOOL, "bool", parse_bool, format_text},
    {DATA_TYPE_INT32, "int32", parse_integer<std::int32_t>, format_text},
    {DATA_TYPE_UINT32, "uint32", parse_integer<std::uint32_t>, format_text},
    {DATA_TYPE_INT64, "int64", parse_integer<std::int64_t>, format_text},
    {DATA_TYPE_UINT64, "uint64", parse_integer<std::uint64_t>, format_text},
    {DATA_TYPE_STRING, "string", parse_string, format_text},
    {DATA_TYPE_DOUBLE, "double", parse_double, format_text},
    {DATA_TYPE_IPV4, "ipv4", parse_ipv4, format_text},
    {DATA_TYPE_IPV6, "ipv6", parse_ipv6, format_text},
    {DATA_TYPE_MAC, "mac", parse_mac, format_text},
    {DATA_TYPE_BINARY, "binary", parse_binary, format_hex},
};

const TypeForm* find_form(data_type_t type)
{
    for (const TypeForm& form : type_forms)
        if (form.type == type)
            return &form;
    return nullptr;
}

const char* xml_reference(char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    // Written raw, these would come back as spaces in attributes and CR LF
    // as LF in content.
    case '\t':
        return "&#9;";
    case '\n':
        return "&#10;";
    case '\r':
        return "&#13;";
    default:
        return nullptr;
    }
}

} // namespace

const char* pcd_enum_to_str(data_type_t type)
{
    const TypeForm* form = find_form(type);
    return form ? form->name : nullptr;
}

data_type_t pcd_str_to_enum(const char* name)
{
    if (name)
        for (const TypeForm& form : type_forms)
            if (std::strcmp(form.name, name) == 0)
                return form.type;
    return DATA_TYPE_NONE;
}

namespace toolkit
{

const char* const CElement::_invalid = "invalid";
const pcd_timestamp_t CElement::_invalid_time = {0, 0};

CElement::CElement() : CElement(DATA_TYPE_NONE, _invalid_time, std::string()) {}

CElement::CElement(data_type_t type, pcd_timestamp_t time, std::string text,
                   std::vector<std::uint8_t> bytes)
    : m_type(type), m_time(time), m_data(nullptr), m_size(0), m_text(std::move(text)),
      m_bytes(std::move(bytes))
{
    point_view();
}

CElement::CElement(const CElement& other)
    : m_type(other.m_type), m_time(other.m_time), m_data(nullptr), m_size(0), m_text(other.m_text),
      m_bytes(other.m_bytes)
{
    point_view();
}

CElement& CElement::operator=(const CElement& other)
{
    m_type = other.m_type;
    m_time = other.m_time;
    m_text = other.m_text;
    m_bytes = other.m_bytes;
    point_view();
    return *this;
}

void CElement::point_view()
{
    if (m_type == DATA_TYPE_BINARY) {
        m_data = m_bytes.data();
        m_size = m_bytes.size();
    } else {
        m_data = m_text.data();
        m_size = m_text.size();
    }
}

int CElement::to_string(std::string& text) const
{
    const TypeForm* form = find_form(m_type);
    if (!form) {
        text.clear();
        return -1;
    }
    form->format(m_text, m_bytes, text);
    return 0;
}

int CElement::convert_type(data_type_t type)
{
    const TypeForm* form = find_form(type);
    std::string text;
    Bytes bytes;
    if (m_type != DATA_TYPE_STRING || !form || !form->parse(m_text, text, bytes))
        return -1;
    m_type = type;
    m_text = std::move(text);
    m_bytes = std::move(bytes);
    point_view();
    return 0;
}

void CElement::xml_escape(std::string& text)
{
    // Most names and values need nothing: find that out without a copy.
    auto first = std::find_if(text.begin(), text.end(), [](char c) { return xml_reference(c); });
    if (first == text.end())
        return;
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (char c : text) {
        const char* reference = xml_reference(c);
        if (reference)
            escaped += reference;
        else
            escaped += c;
    }
    text = std::move(escaped);
}

} // namespace toolkit
