#include "cds/cds.h"
#include "libcds/path.h"
#include "xml_read.h"

#include <gtest/gtest.h>

#include <memory>

using toolkit::CElement;

namespace
{

CElement text_element(const std::string& text)
{
    return CElement(DATA_TYPE_STRING, {7, 8}, text);
}

std::string view_of(const CElement& element)
{
    return std::string(static_cast<const char*>(element.data()), element.size());
}

// The view must point into the element's own storage, never a source's.
void expect_own_view(const CElement& element)
{
    if (element.type() == DATA_TYPE_BINARY) {
        EXPECT_EQ(element.data(), static_cast<const void*>(element.bytes().data()));
        EXPECT_EQ(view_of(element), std::string(element.bytes().begin(), element.bytes().end()));
    } else {
        EXPECT_EQ(element.data(), static_cast<const void*>(element.text().data()));
        EXPECT_EQ(view_of(element), element.text());
    }
}

struct Accepted {
    data_type_t type;
    const char* in;
    const char* canonical;
};

const Accepted accepted[] = {
    {DATA_TYPE_BOOL, "true", "true"},
    {DATA_TYPE_BOOL, "false", "false"},
    {DATA_TYPE_INT32, "-2147483648", "-2147483648"},
    {DATA_TYPE_INT32, "2147483647", "2147483647"},
    {DATA_TYPE_INT32, "007", "7"},
    {DATA_TYPE_INT32, "-0", "0"},
    {DATA_TYPE_UINT32, "4294967295", "4294967295"},
    {DATA_TYPE_UINT32, "0", "0"},
    {DATA_TYPE_INT64, "-9223372036854775808", "-9223372036854775808"},
    {DATA_TYPE_INT64, "9223372036854775807", "9223372036854775807"},
    {DATA_TYPE_UINT64, "18446744073709551615", "18446744073709551615"},
    {DATA_TYPE_STRING, "", ""},
    {DATA_TYPE_STRING, " any\ttext\n", " any\ttext\n"},
    {DATA_TYPE_DOUBLE, "0.5", "0.5"},
    {DATA_TYPE_DOUBLE, "0.1", "0.1"},
    {DATA_TYPE_DOUBLE, "1.0", "1"},
    {DATA_TYPE_DOUBLE, "-0.0", "-0"},
    {DATA_TYPE_DOUBLE, "1e-310", "1e-310"},
    {DATA_TYPE_DOUBLE, "1.7976931348623157e308", "1.7976931348623157e+308"},
    {DATA_TYPE_DOUBLE, "nan", "nan"},
    {DATA_TYPE_DOUBLE, "-nan", "nan"},
    {DATA_TYPE_DOUBLE, "inf", "inf"},
    {DATA_TYPE_DOUBLE, "infinity", "inf"},
    {DATA_TYPE_DOUBLE, "-inf", "-inf"},
    {DATA_TYPE_IPV4, "0.0.0.0", "0.0.0.0"},
    {DATA_TYPE_IPV4, "255.255.255.255", "255.255.255.255"},
    {DATA_TYPE_IPV6, "::", "::"},
    {DATA_TYPE_IPV6, "::1", "::1"},
    {DATA_TYPE_IPV6, "::ffff:1.2.3.4", "::ffff:1.2.3.4"},
    {DATA_TYPE_IPV6, "::FFFF:102:304", "::ffff:1.2.3.4"},
    {DATA_TYPE_IPV6, "2001:DB8:0:0:0:0:0:1", "2001:db8::1"},
    {DATA_TYPE_IPV6, "2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},
    {DATA_TYPE_IPV6, "1:0:0:2:0:0:0:3", "1:0:0:2::3"},
    {DATA_TYPE_IPV6, "1:0:0:2:0:0:3:4", "1::2:0:0:3:4"},
    // inet_ntop alone writes these as ::0.2.0.3 and ::1.2.3.4.
    {DATA_TYPE_IPV6, "::2:3", "::2:3"},
    {DATA_TYPE_IPV6, "::1.2.3.4", "::102:304"},
    {DATA_TYPE_IPV6, "::2:0", "::2:0"},
    {DATA_TYPE_MAC, "00:1A:2b:3C:4d:5E", "00:1a:2b:3c:4d:5e"},
    {DATA_TYPE_BINARY, "", ""},
    {DATA_TYPE_BINARY, "00ff", "00ff"},
    {DATA_TYPE_BINARY, "DEADbeef", "deadbeef"},
};

TEST(values, TextFormsRoundTrip)
{
    for (const Accepted& row : accepted) {
        SCOPED_TRACE(std::string(pcd_enum_to_str(row.type)) + " '" + row.in + "'");
        CElement value = text_element(row.in);
        ASSERT_EQ(value.convert_type(row.type), 0);
        EXPECT_EQ(value.type(), row.type);
        std::string text;
        ASSERT_EQ(value.to_string(text), 0);
        EXPECT_EQ(text, row.canonical);
        expect_own_view(value);

        CElement again = text_element(text);
        ASSERT_EQ(again.convert_type(row.type), 0);
        EXPECT_EQ(again.text(), value.text());
        EXPECT_EQ(again.bytes(), value.bytes());
    }
}

struct Refused {
    data_type_t type;
    std::string in;
};

const Refused refused[] = {
    {DATA_TYPE_BOOL, "TRUE"},
    {DATA_TYPE_BOOL, "1"},
    {DATA_TYPE_BOOL, " true"},
    {DATA_TYPE_INT32, " 1"},
    {DATA_TYPE_INT32, "1 "},
    {DATA_TYPE_INT32, "+1"},
    {DATA_TYPE_INT32, "0x10"},
    {DATA_TYPE_INT32, ""},
    {DATA_TYPE_INT32, "1.0"},
    {DATA_TYPE_INT32, "2147483648"},
    {DATA_TYPE_INT32, "-2147483649"},
    {DATA_TYPE_UINT32, "4294967296"},
    {DATA_TYPE_UINT32, "-1"},
    {DATA_TYPE_UINT32, "-0"},
    {DATA_TYPE_INT64, "9223372036854775808"},
    {DATA_TYPE_UINT64, "18446744073709551616"},
    {DATA_TYPE_DOUBLE, ""},
    {DATA_TYPE_DOUBLE, " 1"},
    {DATA_TYPE_DOUBLE, "+1"},
    {DATA_TYPE_DOUBLE, "1e"},
    {DATA_TYPE_DOUBLE, "0x1p3"},
    {DATA_TYPE_DOUBLE, "1e400"},
    {DATA_TYPE_DOUBLE, "NaN "},
    {DATA_TYPE_IPV4, "1.2.3"},
    {DATA_TYPE_IPV4, "1.2.3.4.5"},
    {DATA_TYPE_IPV4, "256.1.1.1"},
    {DATA_TYPE_IPV4, "01.2.3.4"},
    {DATA_TYPE_IPV4, "1.2.3.4 "},
    {DATA_TYPE_IPV4, std::string("1.2.3.4\0junk", 12)}, // inet_pton stopped at the NUL
    {DATA_TYPE_IPV6, ":::"},
    {DATA_TYPE_IPV6, "1.2.3.4"},
    {DATA_TYPE_IPV6, "12345::"},
    {DATA_TYPE_IPV6, "fe80::1%eth0"},
    {DATA_TYPE_IPV6, " ::"},
    {DATA_TYPE_MAC, "00:1a:2b:3c:4d"},
    {DATA_TYPE_MAC, "00:1a:2b:3c:4d:5e:6f"},
    {DATA_TYPE_MAC, "001a2b3c4d5e"},
    {DATA_TYPE_MAC, "00-1a-2b-3c-4d-5e"},
    {DATA_TYPE_MAC, "0:1a:2b:3c:4d:5e:"},
    {DATA_TYPE_MAC, "00:1a:2b:3c:4d:5g"},
    {DATA_TYPE_BINARY, "zz"},
    {DATA_TYPE_BINARY, "abc"},
    {DATA_TYPE_BINARY, " 00"},
    {DATA_TYPE_BINARY, "0x00"},
};

TEST(values, MalformedTextsAreRefused)
{
    for (const Refused& row : refused) {
        SCOPED_TRACE(std::string(pcd_enum_to_str(row.type)) + " '" + row.in + "'");
        CElement value = text_element(row.in);
        EXPECT_EQ(value.convert_type(row.type), -1);
        EXPECT_EQ(value.type(), DATA_TYPE_STRING);
        EXPECT_EQ(value.text(), row.in);
        expect_own_view(value);
    }
}

TEST(values, ConvertTypeNeedsTextAndAKnownType)
{
    CElement value = text_element("5");
    EXPECT_EQ(value.convert_type(DATA_TYPE_NONE), -1);
    EXPECT_EQ(value.convert_type(static_cast<data_type_t>(12)), -1);
    ASSERT_EQ(value.convert_type(DATA_TYPE_INT32), 0);
    EXPECT_EQ(value.convert_type(DATA_TYPE_INT64), -1);
    EXPECT_EQ(value.type(), DATA_TYPE_INT32);

    std::string text = "stale";
    EXPECT_EQ(CElement().to_string(text), -1);
    EXPECT_EQ(text, "");
}

TEST(values, TypeNamesMapBothWays)
{
    const char* names[] = {"bool",   "int32", "uint32", "int64", "uint64", "string",
                           "double", "ipv4",  "ipv6",   "mac",   "binary"};
    for (int code = 1; code <= 11; ++code) {
        auto type = static_cast<data_type_t>(code);
        ASSERT_STREQ(pcd_enum_to_str(type), names[code - 1]);
        EXPECT_EQ(pcd_str_to_enum(names[code - 1]), type);
    }
    EXPECT_EQ(pcd_enum_to_str(DATA_TYPE_NONE), nullptr);
    EXPECT_EQ(pcd_enum_to_str(static_cast<data_type_t>(12)), nullptr);
    EXPECT_EQ(pcd_str_to_enum("Bool"), DATA_TYPE_NONE);
    EXPECT_EQ(pcd_str_to_enum(""), DATA_TYPE_NONE);
    EXPECT_EQ(pcd_str_to_enum(nullptr), DATA_TYPE_NONE);
    EXPECT_STREQ(CElement::_invalid, "invalid");
}

TEST(values, CopyOutlivesItsSource)
{
    // A short text lives inside the object itself, so a view copied as it
    // stands would point into the source.
    const CElement sources[] = {
        text_element("short"),
        text_element(std::string(100, 'x')),
        CElement(DATA_TYPE_BINARY, {1, 2}, "", {0, 1, 2, 255}),
    };
    for (const CElement& source : sources) {
        auto original = std::make_unique<CElement>(source);
        CElement copied(*original);
        CElement assigned;
        assigned = *original;
        original.reset();
        for (const CElement* element : {&copied, &assigned}) {
            expect_own_view(*element);
            EXPECT_EQ(view_of(*element), view_of(source));
            EXPECT_EQ(element->time().seconds, source.time().seconds);
        }
    }
}

TEST(values, EscapedTextSurvivesExpat)
{
    const std::string texts[] = {
        "",      "&",      "<",      ">",    "\"",          "'",
        "\t",    "\n",     "\r",     "\r\n", "a\r\nb\n\rc", "]]>",
        "&amp;", "  lead", "trail ", " ",    "grüße € 𝄞",   "x=\"1\" y='2' <z>&;",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE("'" + text + "'");
        std::string escaped = text;
        CElement::xml_escape(escaped);
        std::string document = "<d a=\"" + escaped + "\" b='" + escaped + "'>" + escaped + "</d>";
        XmlDocument parsed = read_xml(document);
        ASSERT_EQ(parsed.error, "") << document;
        EXPECT_EQ(*parsed.elements[0].attribute("a"), text);
        EXPECT_EQ(*parsed.elements[0].attribute("b"), text);
        EXPECT_EQ(parsed.elements[0].text, text);
    }
}

struct PathCase {
    const char* in;
    const char* canonical; // null: no canonical form
};

const PathCase paths[] = {
    {"/", "/"},
    {"/a/b", "/a/b"},
    {"//a///b//", "/a/b"},
    {"/a/", "/a"},
    {"/./a/.", "/a"},
    {"/a/../b", "/b"},
    {"/a/b/../..", "/"},
    {"/a/..", "/"},
    {"/...", "/..."},
    {"/a/.b/..c", "/a/.b/..c"},
    {"/ a /b ", "/ a /b "},
    {"", nullptr},
    {"a/b", nullptr},
    {"./a", nullptr},
    {"/..", nullptr},
    {"//..", nullptr},
    {"/a/../..", nullptr},
    {"/a/b/../../../c", nullptr},
};

TEST(values, PathCanonicalization)
{
    for (const PathCase& row : paths) {
        SCOPED_TRACE(std::string("'") + row.in + "'");
        std::string path = row.in;
        EXPECT_EQ(canonicalize_cds_path(path), row.canonical != nullptr);
        EXPECT_EQ(path, row.canonical ? row.canonical : row.in);
        if (row.canonical) {
            EXPECT_TRUE(canonicalize_cds_path(path));
            EXPECT_EQ(path, row.canonical);
        }
    }
}

} // namespace
