// Grey-scale pages against naive loops written from the rule: page row i,
// column j holds frame row height-1-i, column j; monochrome samples as the
// three-page fill makes them, colour pixels as their rounded luminance.
#include "pixels_grey.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using namespace kor::pixels;

struct Size {
    uint32_t width, height;
    size_t rows;  // leading dimension of the page
};

// Odd sizes, one-pixel frames and pages inside taller arrays, so that partial
// blocks and the row stride are both exercised.
const Size kSizes[] = {{1, 1, 1}, {3, 2, 2}, {17, 5, 5}, {16, 300, 300}, {33, 257, 260}, {640, 3, 9}};

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

std::vector<uint16_t> randomSamples(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint16_t> samples(n);
    for (auto& s : samples) s = static_cast<uint16_t>(random());
    return samples;
}

// Elements of the page outside the image must stay as they were.
constexpr int kUntouched = 0xAB;

template <typename T>
std::vector<T> page(const Size& s) {
    return std::vector<T>(s.rows * s.width, static_cast<T>(kUntouched));
}

template <typename T, typename Expected>
void expectPage(const std::vector<T>& out, const Size& s, Expected expected) {
    for (uint32_t j = 0; j < s.width; ++j)
        for (size_t i = 0; i < s.rows; ++i) {
            const T want = i < s.height ? expected(s.height - 1 - static_cast<uint32_t>(i), j) : T(kUntouched);
            ASSERT_EQ(out[i + j * s.rows], want) << s.width << "x" << s.height << " row " << i << " column " << j;
        }
}

TEST(GreyPage, MonochromeSamplesGoStraightIntoOnePage) {
    for (const Size& s : kSizes) {
        const size_t n = size_t{s.width} * s.height;
        const std::vector<uint8_t> raw8 = randomBytes(n, 1);
        auto out8 = page<uint8_t>(s);
        fillGreyImage8(raw8.data(), s.width, s.height, out8.data(), s.rows);
        expectPage(out8, s, [&](uint32_t t, uint32_t c) { return raw8[t * s.width + c]; });

        auto wide = page<uint16_t>(s);
        fillGreyImage8To16(raw8.data(), s.width, s.height, wide.data(), s.rows);
        expectPage(wide, s, [&](uint32_t t, uint32_t c) { return uint16_t(raw8[t * s.width + c] * 257); });

        const std::vector<uint8_t> raw16 = randomBytes(2 * n, 2);
        for (bool swap : {false, true}) {
            auto out16 = page<uint16_t>(s);
            fillGreyImage16(raw16.data(), s.width, s.height, swap, out16.data(), s.rows);
            expectPage(out16, s, [&](uint32_t t, uint32_t c) {
                const size_t k = t * s.width + c;
                const unsigned low = swap ? raw16[2 * k + 1] : raw16[2 * k];
                const unsigned high = swap ? raw16[2 * k] : raw16[2 * k + 1];
                return uint16_t((high << 8 | low) & 0xFFF0);
            });
        }
    }
}

TEST(GreyPage, SixteenBitSampleInBothByteOrders) {
    // The bytes 0x12, 0x34: 0x3410 in the machine's order, 0x1230 swapped.
    const uint8_t raw[2] = {0x12, 0x34};
    uint16_t out = 0;
    fillGreyImage16(raw, 1, 1, false, &out, 1);
    EXPECT_EQ(out, 0x3410);
    fillGreyImage16(raw, 1, 1, true, &out, 1);
    EXPECT_EQ(out, 0x1230);
}

TEST(GreyPage, ColourPicturesBecomeTheirLuminance) {
    for (const Size& s : kSizes) {
        const size_t n = size_t{s.width} * s.height;
        const std::vector<uint8_t> bgr8 = randomBytes(3 * n, 3);
        auto lum = [](double b, double g, double r) {
            return std::round(0.298936021293775 * r + 0.587043074451121 * g + 0.114020904255103 * b);
        };
        auto out8 = page<uint8_t>(s);
        fillLuminance8(bgr8.data(), s.width, s.height, out8.data(), s.rows);
        expectPage(out8, s, [&](uint32_t t, uint32_t c) {
            const uint8_t* p = &bgr8[3 * (t * s.width + c)];
            return uint8_t(lum(p[0], p[1], p[2]));
        });
        auto wide = page<uint16_t>(s);
        fillLuminance8To16(bgr8.data(), s.width, s.height, wide.data(), s.rows);
        expectPage(wide, s, [&](uint32_t t, uint32_t c) {
            const uint8_t* p = &bgr8[3 * (t * s.width + c)];
            return uint16_t(lum(p[0], p[1], p[2]) * 257);
        });

        const std::vector<uint16_t> bgr16 = randomSamples(3 * n, 4);
        auto out16 = page<uint16_t>(s);
        fillLuminance16(bgr16.data(), s.width, s.height, out16.data(), s.rows);
        expectPage(out16, s, [&](uint32_t t, uint32_t c) {
            const uint16_t* p = &bgr16[3 * (t * s.width + c)];
            return uint16_t(lum(p[0], p[1], p[2]));
        });
    }
}

TEST(GreyPage, LuminanceKeepsGreysAndTheExtremes) {
    // blue, green, red, and the grey value expected
    const struct {
        uint16_t b, g, r, grey;
    } cases[] = {{0, 0, 0, 0},     {255, 255, 255, 255}, {65535, 65535, 65535, 65535},
                 {77, 77, 77, 77}, {0, 0, 255, 76},      {0, 255, 0, 150},
                 {255, 0, 0, 29}};
    for (const auto& c : cases) {
        const uint16_t picture[3] = {c.b, c.g, c.r};
        uint16_t out = 0;
        fillLuminance16(picture, 1, 1, &out, 1);
        EXPECT_EQ(out, c.grey) << c.b << " " << c.g << " " << c.r;
    }
}

}  // namespace
