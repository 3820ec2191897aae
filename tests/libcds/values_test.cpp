// SPDX-License-Identifier: MIT
#include "cds/cds.h"

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
    bool binary = element.type() == DATA_TYPE_BINARY;
    EXPECT_EQ(element.data(), binary ? static_cast<const void*>(element.bytes().data())
                                     : static_cast<const void*>(element.text().data()));
    EXPECT_EQ(element.size(), binary ? element.bytes().size() : element.text().size());
}

// Texts of a type, each with its canonical form after " -> " when that differs.
const std::pair<data_type_t, std::vector<std::string>> accepted[] = {
    {DATA_TYPE_BOOL, {"true", "false"}},
    {DATA_TYPE_INT32, {"-2147483648", "2147483647", "007 -> 7", "-0 -> 0"}},
    {DATA_TYPE_UINT32, {"4294967295", "0"}},
    {DATA_TYPE_INT64, {"-9223372036854775808", "9223372036854775807"}},
    {DATA_TYPE_UINT64, {"18446744073709551615"}},
    {DATA_TYPE_STRING, {"", " any\ttext\n"}},
    {DATA_TYPE_DOUBLE,
     {"0.5", "0.1", "1.0 -> 1", "-0.0 -> -0", "1e-310",
      "1.7976931348623157e308 -> 1.7976931348623157e+308", "nan", "-nan -> nan", "inf",
      "infinity -> inf", "-inf"}},
    {DATA_TYPE_IPV4, {"0.0.0.0", "255.255.255.255"}},
    // inet_ntop alone writes ::2:3 and ::102:304 as ::0.2.0.3 and ::1.2.3.4.
    {DATA_TYPE_IPV6,
     {"::", "::1", "::ffff:1.2.3.4", "::FFFF:102:304 -> ::ffff:1.2.3.4",
      "2001:DB8:0:0:0:0:0:1 -> 2001:db8::1", "2001:db8:0:1:1:1:1:1",
      "1:0:0:2:0:0:0:3 -> 1:0:0:2::3", "1:0:0:2:0:0:3:4 -> 1::2:0:0:3:4", "::2:3",
      "::1.2.3.4 -> ::102:304", "::2:0"}},
    {DATA_TYPE_MAC, {"00:1A:2b:3C:4d:5E -> 00:1a:2b:3c:4d:5e"}},
    {DATA_TYPE_BINARY, {"", "00ff", "DEADbeef -> deadbeef"}},
};

TEST(values, TextFormsRoundTrip)
{
    for (const auto& [type, texts] : accepted) {
        for (const std::string& row : texts) {
            SCOPED_TRACE(std::string(pcd_enum_to_str(type)) + " '" + row + "'");
            std::size_t arrow = row.find(" -> ");
            CElement value = text_element(row.substr(0, arrow));
            ASSERT_EQ(value.convert_type(type), 0);
            EXPECT_EQ(value.type(), type);
            std::string text;
            ASSERT_EQ(value.to_string(text), 0);
            EXPECT_EQ(text, arrow == std::string::npos ? row : row.substr(arrow + 4));
            expect_own_view(value);

            CElement again = text_element(text);
            ASSERT_EQ(again.convert_type(type), 0);
            EXPECT_EQ(again.text(), value.text());
            EXPECT_EQ(again.bytes(), value.bytes());

            // A short text lives inside the object itself, so a view copied
            // as it stands would point into the source.
            auto original = std::make_unique<CElement>(value);
            CElement copied(*original);
            CElement assigned;
            assigned = *original;
            original.reset();
            for (const CElement* element : {&copied, &assigned}) {
                expect_own_view(*element);
                EXPECT_EQ(view_of(*element), view_of(value));
                EXPECT_EQ(element->time().seconds, 7);
            }
        }
    }
}

const std::pair<data_type_t, std::vector<std::string>> refused[] = {
    {DATA_TYPE_BOOL, {"TRUE", "1", " true"}},
    {DATA_TYPE_INT32, {" 1", "1 ", "+1", "0x10", "", "1.0", "2147483648", "-2147483649"}},
    {DATA_TYPE_UINT32, {"4294967296", "-1", "-0"}},
    {DATA_TYPE_INT64, {"9223372036854775808"}},
    {DATA_TYPE_UINT64, {"18446744073709551616"}},
    {DATA_TYPE_DOUBLE, {"", " 1", "+1", "1e", "0x1p3", "1e400", "NaN "}},
    // inet_pton stopped at the NUL.
    {DATA_TYPE_IPV4,
     {"1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4", "1.2.3.4 ", std::string("1.2.3.4\0junk", 12)}},
    {DATA_TYPE_IPV6, {":::", "1.2.3.4", "12345::", "fe80::1%eth0", " ::"}},
    {DATA_TYPE_MAC,
     {"00:1a:2b:3c:4d", "00:1a:2b:3c:4d:5e:6f", "001a2b3c4d5e", "00-1a-2b-3c-4d-5e",
      "0:1a:2b:3c:4d:5e:", "00:1a:2b:3c:4d:5g"}},
    {DATA_TYPE_BINARY, {"zz", "abc", " 00", "0x00"}},
};

TEST(values, MalformedTextsAreRefused)
{
    for (const auto& [type, texts] : refused) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(std::string(pcd_enum_to_str(type)) + " '" + text + "'");
            CElement value = text_element(text);
            EXPECT_EQ(value.convert_type(type), -1);
            EXPECT_EQ(value.type(), DATA_TYPE_STRING);
            EXPECT_EQ(value.text(), text);
            expect_own_view(value);
        }
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

} // namespace
