#include "version_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace kor {
namespace {

struct TextCase {
    VersionText (*format)(uint32_t);
    uint32_t field;
    const char* expected;
};

class VersionTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(VersionTextTest, FormatsField) {
    const TextCase& c = GetParam();
    EXPECT_EQ(std::string(c.format(c.field).data()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, VersionTextTest,
    testing::Values(
        // Bytes from the most significant down, each unsigned.
        TextCase{fourPartVersion, 0x01020304u, "1.2.3.4"}, TextCase{fourPartVersion, 0x0A000102u, "10.0.1.2"},
        TextCase{fourPartVersion, 0u, "0.0.0.0"}, TextCase{fourPartVersion, 0xFFFFFFFFu, "255.255.255.255"},
        TextCase{fourPartVersion, 0x80FF7F01u, "128.255.127.1"},
        // Only the two low bytes are shown.
        TextCase{twoPartVersion, 0x00000105u, "1.5"}, TextCase{twoPartVersion, 0x00010203u, "2.3"},
        TextCase{twoPartVersion, 0xFFFFFFFFu, "255.255"}, TextCase{twoPartVersion, 0xABCD0000u, "0.0"},
        // Serial numbers are signed.
        TextCase{serialNumberText, 10001u, "10001"}, TextCase{serialNumberText, 0xFFFFFFFFu, "-1"},
        TextCase{serialNumberText, 0x80000000u, "-2147483648"}, TextCase{serialNumberText, 0x7FFFFFFFu, "2147483647"},
        // Eight lower-case hexadecimal digits.
        TextCase{reservedText, 255u, "0x000000ff"}, TextCase{reservedText, 0u, "0x00000000"},
        TextCase{reservedText, 0xDEADBEEFu, "0xdeadbeef"}));

TEST(VersionTexts, FollowStructOrder) {
    const VersionInfo record{0x00000203u, 0x00010104u, 0x02010003u, 0x0A000102u, 0xFFFFFFFFu, 0x1Fu};
    const auto texts = versionTexts(record);
    const char* expected[kVersionFieldCount] = {"2.1.0.3", "10.0.1.2", "2.3", "1.4", "-1", "0x0000001f"};
    for (int i = 0; i < kVersionFieldCount; ++i) EXPECT_STREQ(texts[i].data(), expected[i]) << kVersionFieldNames[i];
}

TEST(VersionTexts, FieldNamesInStructOrder) {
    const char* expected[kVersionFieldCount] = {"API", "Driver", "Firmware", "FPGA", "SN", "Reserved"};
    for (int i = 0; i < kVersionFieldCount; ++i) EXPECT_STREQ(kVersionFieldNames[i], expected[i]);
}

TEST(VersionArrayBytes, SaturatesBeyond32Bits) {
    EXPECT_EQ(versionArrayBytes(0), 0u);
    EXPECT_EQ(versionArrayBytes(3), 72u);
    // The largest count whose array still fits 32 bits, and the first beyond.
    EXPECT_EQ(versionArrayBytes(178956970u), 4294967280u);
    EXPECT_EQ(versionArrayBytes(178956971u), UINT32_MAX);
    EXPECT_EQ(versionArrayBytes(0x7FFFFFFFu), UINT32_MAX);
    EXPECT_EQ(versionArrayBytes(UINT32_MAX), UINT32_MAX);
}

}  // namespace
}  // namespace kor
