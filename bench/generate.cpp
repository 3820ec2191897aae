// SPDX-License-Identifier: MIT
// Writes a device configuration of N data points for the benchmark, either
// as cdsctl import lines or as keyfiles for the peer store's compiler. The
// tree looks like a real device's: eight subsystems, lists of entries under
// them, about ten data points per node, data points 3 to 8 levels deep, all
// eleven types, a tenth of them persistent. The same N gives the same tree.
// With "wide", one node holds them all instead.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

enum class Format { tsv, keyfile };

enum class Kind { boolean, int32, uint32, int64, uint64, text, real, ipv4, ipv6, mac, binary };

struct LeafShape {
    const char* name;
    Kind kind;
    const char* type_name;
};

// Consecutive runs of this table name a node's data points, so names never
// repeat within a node.
const LeafShape leaf_shapes[] = {
    {"Enabled", Kind::boolean, "bool"},      {"Name", Kind::text, "string"},
    {"Description", Kind::text, "string"},   {"Address", Kind::ipv4, "ipv4"},
    {"IPv6 Address", Kind::ipv6, "ipv6"},    {"Hardware Address", Kind::mac, "mac"},
    {"Port", Kind::uint32, "uint32"},        {"Timeout", Kind::int32, "int32"},
    {"Retries", Kind::int32, "int32"},       {"Packets", Kind::uint64, "uint64"},
    {"Offset", Kind::int64, "int64"},        {"Threshold", Kind::real, "double"},
    {"Certificate", Kind::binary, "binary"}, {"Mode", Kind::text, "string"},
    {"Gateway", Kind::ipv4, "ipv4"},         {"Auto Start", Kind::boolean, "bool"},
};
const int leaf_shape_count = sizeof leaf_shapes / sizeof leaf_shapes[0];

const char* const subsystems[] = {"Software", "Hardware", "Services",  "Network",
                                  "Storage",  "Security", "Telemetry", "Power"};
const char* const node_words[] = {"Connection", "Profile", "Channel", "Port",   "Rule",
                                  "Schedule",   "Sensor",  "Module",  "Route",  "Queue",
                                  "Client",     "Zone",    "Policy",  "Backend"};
const char* const text_words[] = {"primary", "backup", "lab",   "uplink", "north",
                                  "rack",    "east",   "auto",  "edge",   "core",
                                  "guest",   "vlan",   "relay", "&",      "<default>"};

const int max_node_depth = 7;

struct Generator {
    Format format = Format::tsv;
    long remaining = 0;
    std::uint64_t state = 0x2545f4914f6cdd1dULL;
    std::string line;
};

std::uint64_t next_random(Generator& g)
{
    // splitmix64: the same sequence on every machine and library.
    std::uint64_t z = (g.state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

int random_below(Generator& g, int bound)
{
    return static_cast<int>(next_random(g) % static_cast<std::uint64_t>(bound));
}

template <typename... Args> void append_format(std::string& out, const char* format, Args... args)
{
    char buffer[96];
    int length = std::snprintf(buffer, sizeof buffer, format, args...);
    out.append(buffer, static_cast<std::size_t>(length));
}

void append_text(Generator& g, std::string& out)
{
    int words = 1 + random_below(g, 4);
    for (int i = 0; i < words; ++i) {
        if (i > 0)
            out += ' ';
        out += text_words[random_below(g, sizeof text_words / sizeof text_words[0])];
    }
    append_format(out, "-%d", random_below(g, 1000));
}

void append_hex_bytes(Generator& g, std::string& out, bool as_keyfile)
{
    for (int i = 0; i < 16; ++i) {
        unsigned byte = static_cast<unsigned>(random_below(g, 256));
        append_format(out, as_keyfile ? (i == 0 ? "0x%02x" : ", 0x%02x") : "%02x", byte);
    }
}

// The value in the import format's text form, or in the keyfile's typed form.
void append_value(Generator& g, Kind kind, std::string& out)
{
    bool keyfile = g.format == Format::keyfile;
    switch (kind) {
    case Kind::boolean:
        out += random_below(g, 2) ? "true" : "false";
        return;
    case Kind::int32:
        append_format(out, "%d", random_below(g, 20000) - 1000);
        return;
    case Kind::uint32:
        append_format(out, keyfile ? "uint32 %d" : "%d", random_below(g, 65536));
        return;
    case Kind::int64:
        append_format(out, keyfile ? "int64 %lld" : "%lld",
                      static_cast<long long>(next_random(g) >> 2) - (1LL << 61));
        return;
    case Kind::uint64:
        append_format(out, keyfile ? "uint64 %llu" : "%llu",
                      static_cast<unsigned long long>(next_random(g) >> 8));
        return;
    case Kind::real:
        append_format(out, "%d.%03d", random_below(g, 100), random_below(g, 1000));
        return;
    case Kind::text:
    case Kind::ipv4:
    case Kind::ipv6:
    case Kind::mac:
        break;
    case Kind::binary:
        out += keyfile ? "@ay [" : "";
        append_hex_bytes(g, out, keyfile);
        out += keyfile ? "]" : "";
        return;
    }
    out += keyfile ? "'" : "";
    if (kind == Kind::text)
        append_text(g, out);
    else if (kind == Kind::ipv4)
        append_format(out, "10.%d.%d.%d", random_below(g, 256), random_below(g, 256),
                      1 + random_below(g, 254));
    else if (kind == Kind::ipv6)
        append_format(out, "fd00:%x::%x", random_below(g, 65536), 1 + random_below(g, 65535));
    else
        append_format(out, "02:00:%02x:%02x:%02x:%02x", random_below(g, 256), random_below(g, 256),
                      random_below(g, 256), random_below(g, 256));
    out += keyfile ? "'" : "";
}

// The peer's key and group names may not hold spaces where ours do.
std::string keyfile_name(const char* name)
{
    std::string out = name;
    for (char& c : out)
        if (c == ' ')
            c = '-';
    return out;
}

void write_line(Generator& g)
{
    g.line += '\n';
    std::fwrite(g.line.data(), 1, g.line.size(), stdout);
    g.line.clear();
}

void write_node_line(Generator& g, const std::string& path)
{
    if (g.format == Format::tsv) {
        g.line = path + "\tnode\t0\t";
        write_line(g);
    }
}

void write_group_line(Generator& g, const std::string& path)
{
    if (g.format == Format::keyfile) {
        g.line = "[" + keyfile_name(path.c_str() + 1) + "]";
        write_line(g);
    }
}

void write_leaf(Generator& g, const std::string& path, const LeafShape& shape,
                const std::string& name)
{
    bool persistent = random_below(g, 10) == 0;
    if (g.format == Format::tsv)
        g.line =
            path + "/" + name + "\t" + shape.type_name + "\t" + (persistent ? "1" : "0") + "\t";
    else
        g.line = keyfile_name(name.c_str()) + "=";
    append_value(g, shape.kind, g.line);
    write_line(g);
}

void write_leaves(Generator& g, const std::string& path, int count)
{
    if (count == 0)
        return;
    write_group_line(g, path);
    int first = random_below(g, leaf_shape_count);
    for (int i = 0; i < count; ++i) {
        const LeafShape& shape = leaf_shapes[(first + i) % leaf_shape_count];
        write_leaf(g, path, shape, shape.name);
    }
    g.remaining -= count;
}

// The widest node a dump can meet: every data point in /Wide, named by its
// number, as a table of entries is, with the shapes above in turn.
void write_wide_node(Generator& g)
{
    const std::string path = "/Wide";
    write_node_line(g, path);
    write_group_line(g, path);
    for (long i = 0; g.remaining > 0; ++i, --g.remaining) {
        const LeafShape& shape = leaf_shapes[i % leaf_shape_count];
        write_leaf(g, path, shape, std::to_string(i + 1));
    }
}

// Depth 1 is a subsystem; data points sit in nodes of depth 2 to 7.
void write_subtree(Generator& g, const std::string& path, int depth)
{
    write_node_line(g, path);
    int wanted = 5 + random_below(g, 11);
    write_leaves(g, path, static_cast<int>(wanted < g.remaining ? wanted : g.remaining));
    int children = depth < max_node_depth ? random_below(g, depth == 2 ? 6 : 3) : 0;
    for (int i = 0; i < children && g.remaining > 0; ++i) {
        const char* word = node_words[random_below(g, sizeof node_words / sizeof node_words[0])];
        write_subtree(g, path + "/" + word + " " + std::to_string(i + 1), depth + 1);
    }
}

// Each subsystem gets an equal share: a list of entries as long as it takes.
void write_tree(Generator& g)
{
    const int count = sizeof subsystems / sizeof subsystems[0];
    for (int s = 0; s < count && g.remaining > 0; ++s) {
        long stop = g.remaining - g.remaining / (count - s);
        std::string path = std::string("/") + subsystems[s];
        write_node_line(g, path);
        for (int entry = 1; g.remaining > stop; ++entry)
            write_subtree(g, path + "/Entry " + std::to_string(entry), 2);
    }
}

} // namespace

int main(int argc, char** argv)
{
    bool wide = argc == 4 && std::strcmp(argv[3], "wide") == 0;
    if ((argc != 3 && !wide) ||
        (std::strcmp(argv[2], "tsv") != 0 && std::strcmp(argv[2], "keyfile") != 0) ||
        std::atol(argv[1]) <= 0) {
        std::fputs("usage: bench_generate N tsv|keyfile [wide]\n", stderr);
        return 1;
    }
    Generator g;
    g.format = std::strcmp(argv[2], "tsv") == 0 ? Format::tsv : Format::keyfile;
    g.remaining = std::atol(argv[1]);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    if (wide)
        write_wide_node(g);
    else
        write_tree(g);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
