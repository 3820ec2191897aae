// SPDX-License-Identifier: MIT
// The CDS client library as cdsxml uses it. Two implementations exist: the
// SQLite-backed one in libcds/ and the in-memory double in tests/double/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum pcd_tribool_t : int {
    PCD_FALSE = 0,
    PCD_TRUE = 1,
    PCD_UNSPECIFIED = 2,
};

// Per-item status of a CDS operation.
enum api_status_t : int {
    API_STATUS_ABSENT = 0,
    API_STATUS_EXISTS = 1,
};

enum element_type_t : int {
    ELEMENT_TYPE_NONE = 0,
    ELEMENT_TYPE_LEAF = 1,
    ELEMENT_TYPE_NODE = 2,
};

// The store keeps any value 0..255; only 0 and 1 have a meaning to the tool.
enum element_property_t : std::uint8_t {
    ELEMENT_PROPERTY_ORDINARY = 0,
    ELEMENT_PROPERTY_PERSISTENT = 1,
};

enum data_type_t : int {
    DATA_TYPE_NONE = 0,
    DATA_TYPE_BOOL = 1,
    DATA_TYPE_INT32 = 2,
    DATA_TYPE_UINT32 = 3,
    DATA_TYPE_INT64 = 4,
    DATA_TYPE_UINT64 = 5,
    DATA_TYPE_STRING = 6,
    DATA_TYPE_DOUBLE = 7,
    DATA_TYPE_IPV4 = 8,
    DATA_TYPE_IPV6 = 9,
    DATA_TYPE_MAC = 10,
    DATA_TYPE_BINARY = 11,
};

struct ChildEntry {
    std::string name;
    element_type_t type;
    element_property_t property;
};

struct pcd_timestamp_t {
    std::uint32_t seconds;
    std::uint32_t microseconds;
};

struct pcd_connection;
typedef pcd_connection* pcd_handle_t;

// Null when the CDS cannot be reached.
pcd_handle_t pcd_init();
void pcd_close(pcd_handle_t handle);
// 1 when path names the connected store's file or one of its companion
// files (-wal, -shm, -journal), existing or not yet created; else 0.
int pcd_is_store_file(pcd_handle_t handle, const char* path);

// Rewrites the NUL-terminated path in buffer (which has room for length + 1
// bytes) to its canonical form and returns the canonical length, or 0 when
// the path has none.
std::size_t pcd_canonicalize_path(char* buffer, std::size_t length);

// Null for a type without a name.
const char* pcd_enum_to_str(data_type_t type);
// DATA_TYPE_NONE for an unknown name.
data_type_t pcd_str_to_enum(const char* name);

namespace toolkit
{

// A typed value. The data view always points into the element's own text
// (or, for binary values, its byte buffer), so a copy outlives its source.
class CElement
{
  public:
    static const char* const _invalid;
    static const pcd_timestamp_t _invalid_time;

    CElement();
    CElement(data_type_t type, pcd_timestamp_t time, std::string text,
             std::vector<std::uint8_t> bytes = {});
    CElement(const CElement& other);
    CElement& operator=(const CElement& other);

    data_type_t type() const
    {
        return m_type;
    }
    pcd_timestamp_t time() const
    {
        return m_time;
    }
    const void* data() const
    {
        return m_data;
    }
    std::size_t size() const
    {
        return m_size;
    }
    const std::string& text() const
    {
        return m_text;
    }
    const std::vector<std::uint8_t>& bytes() const
    {
        return m_bytes;
    }

    // Writes the value's text form; returns 0, or -1 for an element of no type.
    int to_string(std::string& text) const;
    // Converts an element holding text to type, in place; returns 0, or -1
    // (element unchanged) when the text is not a value of that type.
    int convert_type(data_type_t type);
    // Escapes text in place so that an XML parser gives it back byte for
    // byte, in attribute values and in element content alike.
    static void xml_escape(std::string& text);

  private:
    void point_view();

    data_type_t m_type;
    pcd_timestamp_t m_time;
    const void* m_data;
    std::size_t m_size;
    std::string m_text;
    std::vector<std::uint8_t> m_bytes;
};

// One connection to the CDS. Each operation returns 0 on success and
// non-zero when the store itself fails; per-item outcomes are in statuses.
class CCds
{
  public:
    CCds() = default;
    ~CCds();
    CCds(const CCds&) = delete;
    CCds& operator=(const CCds&) = delete;

    // Set from pcd_init and emptied after pcd_close by the caller.
    pcd_handle_t handle = nullptr;

    int list_node(const std::string& path, api_status_t& status, std::vector<ChildEntry>& children);
    int get_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                   std::vector<CElement>& elements, std::vector<element_property_t>& properties);
    int set_leaves(const std::vector<std::string>& paths, const std::vector<CElement>& elements,
                   const std::vector<pcd_tribool_t>& persist, std::vector<api_status_t>& statuses,
                   const std::string& source = "");
};

} // namespace toolkit
