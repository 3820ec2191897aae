// Random stores through dump, load and dump again: the second document is
// byte for byte the first, and both validate against the schema.
//
// Case i of a run uses the run's seed + i; the seed and number of cases come
// from CDSXML_PROPERTY_SEED (default 1) and CDSXML_PROPERTY_CASES (default
// 250, 100 under the address sanitizer). A failure names its case seed.
#include "e2e_store.h"
#include "sanitizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace
{

using Random = std::mt19937_64;

// Names the leaf filter looks at, near misses of them, XML specials, spaces
// that are easily lost and non-ASCII.
const std::vector<std::string> names = {"Value",       "MAC Address", "SerialNumber",
                                        "iMAC",        "iDeviceGuid", "Password",
                                        "Passphrase",  "SequenceID",  "HTTP Proxy Password",
                                        "Value ",      "value",       "a&b",
                                        "<tag>",       "\"quoted\"",  "it's",
                                        "]]>",         "&amp;",       " lead",
                                        "trail ",      "...",         ".hidden",
                                        "Grüße",       "日本語",      "😀",
                                        "back\\slash", "%s%n"};

// Values as cdsctl import reads them, edges of each type included.
const std::vector<std::vector<std::string>> values = {
    {"bool", "true", "false"},
    {"int32", "-2147483648", "2147483647", "0", "-1"},
    {"uint32", "4294967295", "0", "1"},
    {"int64", "-9223372036854775808", "9223372036854775807", "42"},
    {"uint64", "18446744073709551615", "0"},
    {"double", "-0", "1e-310", "5e-324", "nan", "-inf", "1.7976931348623157e+308", "0.1"},
    {"ipv4", "0.0.0.0", "255.255.255.255", "10.1.2.3"},
    {"ipv6", "::", "::1", "::ffff:1.2.3.4", "fe80::1:2:3", "0:0:1:0:0:0:0:0"},
    {"mac", "00:1a:2b:3c:4d:5e", "FF:ff:00:00:00:01"},
    {"binary", "", "00ff", "DEADbeef"},
    {"string", "", "plain", " \\t\\n\\r\\r\\n ", "&<>\"']]>", "&amp;&#10;", "Grüße 日本語 😀",
     "\xC2\x85\xE2\x80\xA8\\x7f", "\\\\ %s = /"},
};

template <typename T> const T& pick(Random& random, const std::vector<T>& items)
{
    return items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(random)];
}

// Nodes and data points mixed, of properties a dump writes and some it
// never does, as cdsctl import lines.
void add_children(Random& random, const std::string& path, int depth, std::string& lines)
{
    const std::vector<int> properties = {0, 0, 1, 1, 5, 128};
    std::vector<std::string> used;
    for (int count = std::uniform_int_distribution<int>(0, 6)(random); count > 0; --count) {
        std::string name = pick(random, names);
        if (std::find(used.begin(), used.end(), name) != used.end())
            continue;
        used.push_back(name);
        std::string child = path + "/" + name;
        if (depth < 4 && std::bernoulli_distribution(0.4)(random)) {
            lines += child + "\tnode\t" + std::to_string(pick(random, properties)) + "\t\n";
            add_children(random, child, depth + 1, lines);
        } else {
            const std::vector<std::string>& type = pick(random, values);
            std::string value =
                type[std::uniform_int_distribution<std::size_t>(1, type.size() - 1)(random)];
            lines += child + "\t" + type[0] + "\t" + std::to_string(pick(random, properties)) +
                     "\t" + value + "\n";
        }
    }
}

std::uint64_t from_environment(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST(RoundTripProperty, RandomStoresComeBackAsDumped)
{
    const std::uint64_t seed = from_environment("CDSXML_PROPERTY_SEED", 1);
    const std::uint64_t cases =
        from_environment("CDSXML_PROPERTY_CASES", under_address_sanitizer ? 100 : 250);
    TempStore documents;
    std::vector<std::string> unvalidated;
    for (std::uint64_t i = 0; i < cases; ++i) {
        std::uint64_t case_seed = seed + i;
        Random random(case_seed);
        std::string lines;
        add_children(random, "", 1, lines);
        SCOPED_TRACE("CDSXML_PROPERTY_SEED=" + std::to_string(case_seed) +
                     " CDSXML_PROPERTY_CASES=1; store:\n" + lines);
        std::vector<std::string> flags;
        if (case_seed % 4 != 0)
            flags.push_back("-s");
        std::string first = in_dir(documents, "case-" + std::to_string(case_seed) + ".xml");
        TempStore temp;
        ASSERT_EQ(cdsctl(temp, "original.db", {"import"}, lines).err, "");
        ProgramRun run = cdsxml(temp, "original.db", flags);
        ASSERT_EQ(run.status, 0) << run.err;
        write_file(first, run.out);
        run = cdsxml(temp, "loaded.db", {"-l", first});
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(run.err, "");
        run = cdsxml(temp, "loaded.db", flags);
        ASSERT_EQ(run.out, read_file(first));
        unvalidated.push_back(first);
        // One xmllint run per group of documents; the file names carry the seeds.
        if (unvalidated.size() == 50 || i + 1 == cases) {
            ASSERT_EQ(schema_errors(unvalidated, documents.dir), "");
            for (const std::string& valid : unvalidated)
                std::remove(valid.c_str());
            unvalidated.clear();
        }
    }
}

} // namespace
