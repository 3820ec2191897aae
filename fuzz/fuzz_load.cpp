// libFuzzer target: arbitrary bytes loaded into the in-memory CDS.
//
// Input: two header bytes, then the body.
//   byte 0, low four bits: 1 load persistent only (-c), 2 only existing (-r),
//           4 a source (-i), 8 the body is an event script for the callbacks
//           instead of a document for expat; bit 64: the store fails the
//           second set_leaves call and any get_leaves under /Network. The
//           digits '0'..'9' stand for 0..9 and '@'..'O' for 64..79, so seeds
//           can be written by hand.
//   byte 1: unused; the document is read as the driver reads a file.
// An event script is read byte by byte: an op (mod 3: start, end, text),
// then its operands (see the run_* functions below). It reaches states
// expat never produces: repeated or missing attributes, end tags with no
// start, and text that holds NULs.
#include "driver/resources.h"
#include "driver/run.h"
#include "driver/run_options.h"
#include "fuzz/harness.h"
#include "load/batch.h"
#include "load/xml_events.h"
#include "tests/double/cds_double.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace
{

const std::uint8_t persistent_only_bit = 1;
const std::uint8_t only_existing_bit = 2;
const std::uint8_t source_bit = 4;
const std::uint8_t script_bit = 8;
const std::uint8_t store_faults_bit = 64;
const std::size_t header_size = 2;

// Some data points exist before the load, so that -r has something to keep.
void plant_tree(std::uint8_t bits)
{
    cds_double::reset();
    if (bits & store_faults_bit) {
        cds_double::fail_set_leaves(2);
        cds_double::fail_get_leaves("/Network");
    }
    cds_double::add_leaf("/Device/Name", DATA_TYPE_STRING, "gateway");
    cds_double::add_leaf("/Device/Uptime", DATA_TYPE_UINT32, "42", ELEMENT_PROPERTY_PERSISTENT);
    cds_double::add_leaf("/Network/LAN/IP", DATA_TYPE_IPV4, "192.168.1.1",
                         ELEMENT_PROPERTY_PERSISTENT);
    cds_double::add_leaf("/Network/LAN/MAC Address", DATA_TYPE_MAC, "00:11:22:33:44:55");
    cds_double::add_leaf("/Network/LAN/Enabled", DATA_TYPE_BOOL, "true");
    cds_double::add_node("/Empty");
}

void set_load_options(std::uint8_t bits)
{
    RunOptions& o = run_options;
    o.mode = RunMode::load;
    o.file_path = "fuzz-input";
    o.load_persistent_only = (bits & persistent_only_bit) != 0;
    o.only_existing = (bits & only_existing_bit) != 0;
    o.source = (bits & source_bit) ? "fuzz" : "";
}

// Every data-point path in the store, found as the dump finds them.
void collect_leaf_paths(toolkit::CCds& cds, const std::string& path, std::vector<std::string>& out)
{
    api_status_t status = API_STATUS_ABSENT;
    std::vector<ChildEntry> children;
    if (cds.list_node(path.empty() ? "/" : path, status, children) != 0)
        return;
    for (const ChildEntry& child : children) {
        if (child.type == ELEMENT_TYPE_NODE)
            collect_leaf_paths(cds, path + "/" + child.name, out);
        else
            out.push_back(path + "/" + child.name);
    }
}

std::vector<std::string> leaf_paths()
{
    std::vector<std::string> paths;
    collect_leaf_paths(run_options.connection, "", paths);
    return paths;
}

void load_document(const std::uint8_t* body, std::size_t size)
{
    void* text = const_cast<std::uint8_t*>(body);
    if (FilePtr in{fmemopen(text, size, "r")})
        load_from(in.get());
}

struct Script {
    const std::uint8_t* next;
    const std::uint8_t* end;
};

std::uint8_t take_byte(Script& script)
{
    return script.next < script.end ? *script.next++ : 0;
}

// A length byte, then that many bytes (fewer at the end of the input).
std::string take_bytes(Script& script, std::size_t max_length)
{
    std::size_t wanted = take_byte(script) % (max_length + 1);
    std::size_t length = std::min(wanted, static_cast<std::size_t>(script.end - script.next));
    std::string bytes(reinterpret_cast<const char*>(script.next), length);
    script.next += length;
    return bytes;
}

template <std::size_t n> const char* pick(const char* const (&table)[n], std::uint8_t choice)
{
    return table[choice % n];
}

const char* const element_names[] = {"attr", "node", "dump", "other", ""};
const char* const attribute_names[] = {"name", "type", "persist", "root", "other"};
const char* const attribute_values[] = {
    "",        "/",       "true",          "false",  "string",      "uint32",
    "ipv4",    "mac",     "bool",          "binary", "int64",       "Device",
    "Network", "LAN",     "Name",          "IP",     "MAC Address", "..",
    ".",       "/Device", "/Network/LAN/", "Uptime", "Password"};

// A value from the table, or raw bytes for a choice past its end.
std::string take_value(Script& script)
{
    std::uint8_t choice = take_byte(script);
    if (choice < std::size(attribute_values))
        return attribute_values[choice];
    return take_bytes(script, 24);
}

// Operands: element name, attribute count (4 passes no attribute array at
// all), then a name choice and a value per attribute.
void run_start(Script& script)
{
    const char* element = pick(element_names, take_byte(script));
    int count = take_byte(script) % 5;
    bool no_array = count == 4;
    std::vector<std::string> texts;
    for (int i = 0; i < count && !no_array; ++i) {
        texts.push_back(pick(attribute_names, take_byte(script)));
        texts.push_back(take_value(script));
    }
    std::vector<const XML_Char*> attributes;
    for (const std::string& text : texts)
        attributes.push_back(text.c_str());
    attributes.push_back(nullptr);
    on_start_element(nullptr, element, no_array ? nullptr : attributes.data());
}

void run_end(Script& script)
{
    on_end_element(nullptr, pick(element_names, take_byte(script)));
}

void run_text(Script& script)
{
    std::string text = take_bytes(script, 255);
    on_char_data(nullptr, text.data(), static_cast<int>(text.size()));
}

void run_script(const std::uint8_t* body, std::size_t size)
{
    start_load(nullptr);
    Script script = {body, body + size};
    while (script.next < script.end) {
        switch (take_byte(script) % 3) {
        case 0:
            run_start(script);
            break;
        case 1:
            run_end(script);
            break;
        default:
            run_text(script);
            break;
        }
    }
    flush_leaves(true);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    harness_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < header_size)
        return 0;
    std::uint8_t bits = data[0];
    plant_tree(bits);
    set_load_options(bits);
    run_options.connection.handle = pcd_init();
    std::vector<std::string> paths_before = leaf_paths();

    silence_start();
    if (bits & script_bit)
        run_script(data + header_size, size - header_size);
    else
        load_document(data + header_size, size - header_size);
    silence_end();

    // -r changes values and never creates a data point.
    if ((bits & only_existing_bit) && leaf_paths() != paths_before) {
        std::fprintf(stderr, "a load with -r created data points\n");
        std::abort();
    }
    pcd_close(run_options.connection.handle);
    run_options.connection.handle = nullptr;
    return 0;
}
