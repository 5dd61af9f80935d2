#include "frame_format_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace kor {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

FrameFormatValues valuesWith(int field, double value) {
    FrameFormatValues v{640, 480, 8, 4, 2, 2, 0x10, 0x20, 1, 15};
    v[field] = value;
    return v;
}

TEST(FrameFormatFields, NamesInStructureOrder) {
    const char* expected[] = {"width",   "height", "xOffset", "yOffset",     "xBinSub",
                              "yBinSub", "xFlags", "yFlags",  "pixelFormat", "frameRate"};
    for (int i = 0; i < kFrameFormatFieldCount; ++i) EXPECT_STREQ(kFrameFormatFieldNames[i], expected[i]) << i;
}

TEST(FrameFormatFields, ValuesAreUnsignedAndInStructureOrder) {
    FrameFormat f{};
    f.xOffset = 0xFFFFFFFFu;
    f.yOffset = 0x80000000u;
    f.width = 1280;
    f.height = 1024;
    f.pixelFormat = 0xFFFFFFFEu;
    f.xBinSub = 0xFFFF;
    f.xFlags = 0x8000;
    f.yBinSub = 2;
    f.yFlags = 0x7FFF;
    const FrameFormatValues v = frameFormatValues(f, 7.5f);
    const FrameFormatValues expected{1280, 1024, 4294967295.0, 2147483648.0, 65535, 2, 32768, 32767, 4294967294.0, 7.5};
    EXPECT_EQ(v, expected);
}

TEST(FrameFormatFields, RoundTripKeepsEveryBit) {
    FrameFormat f{};
    f.xOffset = 0xDEADBEEFu;
    f.yOffset = 3;
    f.width = 0x80000001u;
    f.height = 1;
    f.pixelFormat = 3;
    f.xBinSub = 0xFFFF;
    f.xFlags = 0xA5A5;
    f.yBinSub = 4;
    f.yFlags = 0x0001;
    const FormatAndRate back = frameFormatFromValues(frameFormatValues(f, 3.75f));
    EXPECT_EQ(std::memcmp(&back.format, &f, sizeof f), 0);
    EXPECT_EQ(back.frameRate, 3.75f);
}

struct FieldCase {
    int field;
    double value;
    uint32_t expected;
};

uint32_t fieldOf(const FormatAndRate& r, int field) {
    const FrameFormat& f = r.format;
    const uint32_t fields[] = {f.width,   f.height, f.xOffset, f.yOffset,    f.xBinSub,
                               f.yBinSub, f.xFlags, f.yFlags,  f.pixelFormat};
    return fields[field];
}

class FieldConversion : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldConversion, TruncatesThenKeepsLowBits) {
    const FieldCase& c = GetParam();
    EXPECT_EQ(fieldOf(frameFormatFromValues(valuesWith(c.field, c.value)), c.field), c.expected)
        << kFrameFormatFieldNames[c.field] << " from " << c.value;
}

INSTANTIATE_TEST_SUITE_P(Fields, FieldConversion,
                         testing::Values(
                             // 32-bit fields: truncation toward zero into 64 bits, low 32 bits kept.
                             FieldCase{0, 640.9, 640}, FieldCase{1, -0.9, 0}, FieldCase{2, -1, 0xFFFFFFFFu},
                             FieldCase{3, 4294967296.0 + 640, 640}, FieldCase{8, 4294967295.0, 0xFFFFFFFFu},
                             FieldCase{8, -2147483649.0, 0x7FFFFFFFu},
                             // Saturated beyond the 64-bit range; NaN gives the minimum, whose low bits are 0.
                             FieldCase{0, 1e300, 0xFFFFFFFFu}, FieldCase{1, kInf, 0xFFFFFFFFu}, FieldCase{2, -kInf, 0},
                             FieldCase{3, kNaN, 0},
                             // 16-bit fields: truncation into 32 bits, low 16 bits kept.
                             FieldCase{4, 65537, 1}, FieldCase{5, 2.99, 2}, FieldCase{6, -1, 0xFFFF},
                             FieldCase{7, 65536, 0}, FieldCase{4, 3e9, 0xFFFF}, FieldCase{5, -3e9, 0},
                             FieldCase{6, kNaN, 0}, FieldCase{7, -kInf, 0}));

TEST(FrameFormatFields, RateRoundsToNearestFloat) {
    EXPECT_EQ(frameFormatFromValues(valuesWith(9, 0.1)).frameRate, 0.1f);
    EXPECT_EQ(frameFormatFromValues(valuesWith(9, 1e300)).frameRate, std::numeric_limits<float>::infinity());
    EXPECT_EQ(frameFormatFromValues(valuesWith(9, -1e300)).frameRate, -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(frameFormatFromValues(valuesWith(9, kNaN)).frameRate));
}

}  // namespace
}  // namespace kor
