// The pixel pipeline: hand-written arrays for small frames, and every kernel
// against the naive loops on random frames of many sizes and layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pixels.h"
#include "pixels_kernels.h"
#include "random_samples.h"

namespace kor::pixels {
namespace {

// --- Which implementation a test runs -------------------------------------

enum class Which { naive, portable, ssse3, active };

const Kernels* kernelsOf(Which which) {
    switch (which) {
        case Which::naive: return &naiveKernels();
        case Which::portable: return &portableKernels();
        case Which::ssse3: return ssse3Kernels();
        case Which::active: return &activeKernels();
    }
    return nullptr;
}

std::string nameOf(const testing::TestParamInfo<Which>& info) {
    switch (info.param) {
        case Which::naive: return "naive";
        case Which::portable: return "portable";
        case Which::ssse3: return "ssse3";
        case Which::active: return "active";
    }
    return "unknown";
}

class PixelKernels : public testing::TestWithParam<Which> {
protected:
    void SetUp() override {
        kernels = kernelsOf(GetParam());
        if (!kernels) GTEST_SKIP() << "this processor or this build has no SSSE3";
    }
    const Kernels* kernels = nullptr;
};

// --- Small frames written out by hand --------------------------------------

template <typename T>
struct FillCase {
    const char* name;
    uint32_t width, height;
    std::vector<T> picture;   // three samples per pixel, top row first
    std::vector<T> expected;  // [height width 3], column-major
};

TEST_P(PixelKernels, Fill8MatchesHandWrittenArrays) {
    const std::vector<FillCase<uint8_t>> cases = {
        {"one pixel: samples reversed across pages", 1, 1, {1, 2, 3}, {3, 2, 1}},
        {"3x2: rows reversed",
         3,
         2,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19},
         {13, 3, 16, 6, 19, 9, 12, 2, 15, 5, 18, 8, 11, 1, 14, 4, 17, 7}},
        {"one row", 4, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {3, 6, 9, 12, 2, 5, 8, 11, 1, 4, 7, 10}},
        {"one column", 1, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, 6, 3, 8, 5, 2, 7, 4, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out(c.expected.size(), 0xEE);
        kernels->fillImage8(c.picture.data(), c.width, c.height, out.data(), denseLayout(c.width, c.height));
        EXPECT_EQ(out, c.expected);
    }
}

TEST_P(PixelKernels, Fill16KeepsSamplesUnchanged) {
    // 1x2, samples chosen so that a byte swap or a mask would show.
    const std::vector<uint16_t> picture = {0x0102, 0x0304, 0xFFFF, 0x1112, 0x8001, 0x000F};
    const std::vector<uint16_t> expected = {0x000F, 0xFFFF, 0x8001, 0x0304, 0x1112, 0x0102};
    std::vector<uint16_t> out(expected.size(), 0xEEEE);
    kernels->fillImage16(picture.data(), 1, 2, out.data(), denseLayout(1, 2));
    EXPECT_EQ(out, expected);
}

TEST_P(PixelKernels, Fill8To16WidensToFullScale) {
    const std::vector<uint8_t> picture = {0, 1, 255, 2, 3, 128};  // 1x2
    const std::vector<uint16_t> expected = {32896, 65535, 771, 257, 514, 0};
    std::vector<uint16_t> out(expected.size(), 0xEEEE);
    kernels->fillImage8To16(picture.data(), 1, 2, out.data(), denseLayout(1, 2));
    EXPECT_EQ(out, expected);
}

TEST_P(PixelKernels, MonochromeFramesGiveThreeEqualPagesWithRowsReversed) {
    // 2x2 raw 10, 20 / 30, 40: array rows 30, 40 and 10, 20 on every page.
    const std::vector<uint8_t> raw8 = {10, 20, 30, 40};
    const std::vector<uint8_t> page8 = {30, 10, 40, 20};
    std::vector<uint8_t> picture8(12);
    kernels->buildMonoPicture8(raw8.data(), 4, picture8.data());
    EXPECT_EQ(picture8, (std::vector<uint8_t>{10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40}));

    std::vector<uint8_t> viaPicture(12), fused(12, 0xEE);
    kernels->fillImage8(picture8.data(), 2, 2, viaPicture.data(), denseLayout(2, 2));
    kernels->fillMonoImage8(raw8.data(), 2, 2, fused.data(), denseLayout(2, 2));
    for (const auto* out : {&viaPicture, &fused})
        for (int page = 0; page < 3; ++page)
            EXPECT_EQ(std::vector<uint8_t>(out->begin() + 4 * page, out->begin() + 4 * page + 4), page8);

    std::vector<uint16_t> widened(12, 0xEEEE);
    kernels->fillMonoImage8To16(raw8.data(), 2, 2, widened.data(), denseLayout(2, 2));
    for (int page = 0; page < 3; ++page)
        EXPECT_EQ(std::vector<uint16_t>(widened.begin() + 4 * page, widened.begin() + 4 * page + 4),
                  (std::vector<uint16_t>{30 * 257, 10 * 257, 40 * 257, 20 * 257}));
}

TEST_P(PixelKernels, Monochrome16BitByteOrderAndMask) {
    // Bytes 0x12, 0x34 are 0x3410 in the machine's order, 0x1230 swapped;
    // the low four bits are always cleared.
    const std::vector<uint8_t> raw = {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0xFF};  // one row of three
    struct Case {
        bool swapBytes;
        std::vector<uint16_t> samples;
    };
    for (const Case& c : {Case{false, {0x3410, 0xCDA0, 0xFFF0}}, Case{true, {0x1230, 0xABC0, 0xFFF0}}}) {
        SCOPED_TRACE(c.swapBytes ? "swapped" : "machine order");
        std::vector<uint16_t> picture(9);
        kernels->buildMonoPicture16(raw.data(), 3, c.swapBytes, picture.data());
        std::vector<uint16_t> expectedPicture;
        for (uint16_t s : c.samples) expectedPicture.insert(expectedPicture.end(), {s, s, s});
        EXPECT_EQ(picture, expectedPicture);

        std::vector<uint16_t> fused(9, 0xEEEE);
        kernels->fillMonoImage16(raw.data(), 3, 1, c.swapBytes, fused.data(), denseLayout(3, 1));
        std::vector<uint16_t> expected;
        for (int page = 0; page < 3; ++page) expected.insert(expected.end(), c.samples.begin(), c.samples.end());
        EXPECT_EQ(fused, expected);
    }
}

TEST_P(PixelKernels, PaddedLayoutWritesOnlyTheImage) {
    // A 2x1 image in an array of 3 rows and page stride 10, as a smaller
    // camera inside a synchronous snapshot.
    const std::vector<uint8_t> picture = {1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> out(30, 0xEE);
    kernels->fillImage8(picture.data(), 2, 1, out.data(), ImageLayout{3, 10});
    std::vector<uint8_t> expected(30, 0xEE);
    expected[0] = 3, expected[3] = 6, expected[10] = 2, expected[13] = 5, expected[20] = 1, expected[23] = 4;
    EXPECT_EQ(out, expected);
}

// --- Larger frames: formula, and naive loops on random data -----------------

// Sizes around the tile (8, 16), block (64 columns, 256 or 512 rows) edges.
const std::vector<std::pair<uint32_t, uint32_t>>& frameSizes() {
    static const std::vector<std::pair<uint32_t, uint32_t>> sizes = [] {
        std::vector<std::pair<uint32_t, uint32_t>> s;
        const uint32_t edges[] = {1, 2, 7, 8, 9, 15, 16, 17, 31, 33, 64, 65, 100};
        for (uint32_t w : edges)
            for (uint32_t h : edges) s.emplace_back(w, h);
        s.emplace_back(130, 513);
        s.emplace_back(333, 1031);
        s.emplace_back(640, 17);
        return s;
    }();
    return sizes;
}

// Dense, and with spare rows and a gap between pages.
std::vector<ImageLayout> layoutsFor(uint32_t width, uint32_t height) {
    return {denseLayout(width, height), ImageLayout{height + 5u, (height + 5u) * size_t{width} + 3}};
}

size_t elementsOf(ImageLayout layout) { return 3 * layout.pageStride; }

TEST_P(PixelKernels, FillPlacesEveryPixelByFormula) {
    // The sample value encodes its picture row, column and sample number.
    for (const auto& size : frameSizes()) {
        const uint32_t width = size.first, height = size.second;
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        auto value = [](uint32_t t, uint32_t c, unsigned s) { return static_cast<uint16_t>(t * 7919 + c * 31 + s); };
        std::vector<uint16_t> picture(size_t{width} * height * 3);
        for (uint32_t t = 0; t < height; ++t)
            for (uint32_t c = 0; c < width; ++c)
                for (unsigned s = 0; s < 3; ++s) picture[(size_t{t} * width + c) * 3 + s] = value(t, c, s);
        const ImageLayout layout = layoutsFor(width, height)[1];
        std::vector<uint16_t> out(elementsOf(layout));
        kernels->fillImage16(picture.data(), width, height, out.data(), layout);
        size_t wrong = 0;
        for (uint32_t i = 0; i < height; ++i)
            for (uint32_t j = 0; j < width; ++j)
                for (unsigned p = 0; p < 3; ++p)
                    wrong += out[i + j * layout.rows + p * layout.pageStride] != value(height - 1 - i, j, 2 - p);
        ASSERT_EQ(wrong, 0u);
    }
}

TEST_P(PixelKernels, EveryFunctionMatchesNaiveLoops) {
    std::mt19937 rng(20240611);
    for (const auto& size : frameSizes()) {
        const uint32_t width = size.first, height = size.second;
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const size_t n = size_t{width} * height;
        const auto picture8 = randomSamples<uint8_t>(3 * n, rng);
        const auto picture16 = randomSamples<uint16_t>(3 * n, rng);
        const auto raw = randomSamples<uint8_t>(2 * n, rng);
        for (const ImageLayout layout : layoutsFor(width, height)) {
            SCOPED_TRACE(layout.rows == height ? "dense" : "padded");
            // Whole arrays, gaps included, prefilled with a sentinel.
            auto compare = [&](const char* what, auto sample, auto run) {
                using Out = decltype(sample);
                std::vector<Out> expected(elementsOf(layout), static_cast<Out>(0xA5A5));
                std::vector<Out> actual(expected);
                run(naiveKernels(), expected.data());
                run(*kernels, actual.data());
                EXPECT_TRUE(expected == actual) << what;
            };
            const uint8_t byte = 0;
            const uint16_t word = 0;
            compare("fillImage8", byte,
                    [&](const Kernels& k, uint8_t* out) { k.fillImage8(picture8.data(), width, height, out, layout); });
            compare("fillImage16", word, [&](const Kernels& k, uint16_t* out) {
                k.fillImage16(picture16.data(), width, height, out, layout);
            });
            compare("fillImage8To16", word, [&](const Kernels& k, uint16_t* out) {
                k.fillImage8To16(picture8.data(), width, height, out, layout);
            });
            compare("fillMonoImage8", byte,
                    [&](const Kernels& k, uint8_t* out) { k.fillMonoImage8(raw.data(), width, height, out, layout); });
            compare("fillMonoImage8To16", word, [&](const Kernels& k, uint16_t* out) {
                k.fillMonoImage8To16(raw.data(), width, height, out, layout);
            });
            // Two column ranges of one picture, as two threads would fill it.
            const uint32_t split = width / 3;
            compare("fillImage8Strided in two column ranges", byte, [&](const Kernels& k, uint8_t* out) {
                if (&k == &naiveKernels()) return k.fillImage8(picture8.data(), width, height, out, layout);
                k.fillImage8Strided(picture8.data(), 3 * size_t{width}, split, height, out, layout);
                k.fillImage8Strided(picture8.data() + 3 * size_t{split}, 3 * size_t{width}, width - split, height,
                                    out + split * layout.rows, layout);
            });
            compare("fillImage16Strided in two column ranges", word, [&](const Kernels& k, uint16_t* out) {
                if (&k == &naiveKernels()) return k.fillImage16(picture16.data(), width, height, out, layout);
                k.fillImage16Strided(picture16.data(), 3 * size_t{width}, split, height, out, layout);
                k.fillImage16Strided(picture16.data() + 3 * size_t{split}, 3 * size_t{width}, width - split, height,
                                     out + split * layout.rows, layout);
            });
            for (bool swapBytes : {false, true})
                compare(swapBytes ? "fillMonoImage16 swapped" : "fillMonoImage16", word,
                        [&](const Kernels& k, uint16_t* out) {
                            k.fillMonoImage16(raw.data(), width, height, swapBytes, out, layout);
                        });
        }
    }
}

TEST_P(PixelKernels, MonochromeBuildMatchesNaiveAndFusedFillMatchesBuildThenFill) {
    std::mt19937 rng(7);
    for (const auto& size : frameSizes()) {
        const uint32_t width = size.first, height = size.second;
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const size_t n = size_t{width} * height;
        const auto raw = randomSamples<uint8_t>(2 * n, rng);
        const ImageLayout layout = layoutsFor(width, height)[1];

        std::vector<uint8_t> picture8(3 * n), naive8(3 * n);
        kernels->buildMonoPicture8(raw.data(), n, picture8.data());
        naiveKernels().buildMonoPicture8(raw.data(), n, naive8.data());
        ASSERT_TRUE(picture8 == naive8);
        std::vector<uint8_t> twoPass8(elementsOf(layout)), fused8(elementsOf(layout));
        kernels->fillImage8(picture8.data(), width, height, twoPass8.data(), layout);
        kernels->fillMonoImage8(raw.data(), width, height, fused8.data(), layout);
        ASSERT_TRUE(twoPass8 == fused8);

        for (bool swapBytes : {false, true}) {
            std::vector<uint16_t> picture16(3 * n), naive16(3 * n);
            kernels->buildMonoPicture16(raw.data(), n, swapBytes, picture16.data());
            naiveKernels().buildMonoPicture16(raw.data(), n, swapBytes, naive16.data());
            ASSERT_TRUE(picture16 == naive16) << swapBytes;
            std::vector<uint16_t> twoPass16(elementsOf(layout)), fused16(elementsOf(layout));
            kernels->fillImage16(picture16.data(), width, height, twoPass16.data(), layout);
            kernels->fillMonoImage16(raw.data(), width, height, swapBytes, fused16.data(), layout);
            ASSERT_TRUE(twoPass16 == fused16) << swapBytes;
        }
    }
}

TEST_P(PixelKernels, EmptyFramesWriteNothing) {
    std::vector<uint8_t> out8(4, 0xEE);
    std::vector<uint16_t> out16(4, 0xEEEE);
    const uint8_t raw[6] = {};
    const uint16_t picture16[3] = {};
    for (auto [width, height] : {std::pair<uint32_t, uint32_t>{0, 0}, {0, 5}, {5, 0}}) {
        kernels->fillImage8(raw, width, height, out8.data(), ImageLayout{height, 0});
        kernels->fillImage16(picture16, width, height, out16.data(), ImageLayout{height, 0});
        kernels->fillMonoImage16(raw, width, height, true, out16.data(), ImageLayout{height, 0});
    }
    kernels->buildMonoPicture8(raw, 0, out8.data());
    kernels->buildMonoPicture16(raw, 0, false, out16.data());
    EXPECT_EQ(out8, std::vector<uint8_t>(4, 0xEE));
    EXPECT_EQ(out16, std::vector<uint16_t>(4, 0xEEEE));
}

INSTANTIATE_TEST_SUITE_P(Pixels, PixelKernels,
                         testing::Values(Which::naive, Which::portable, Which::ssse3, Which::active), nameOf);

// Outputs of 24 MB and more go out through non-temporal stores in runs that
// start on 64-byte lines; the array's own alignment decides where the first
// run begins. Only the SSSE3 kernels have that path.
TEST(PixelsStreaming, LargeFramesMatchNaiveLoopsAtEveryArrayAlignment) {
    const Kernels* kernels = ssse3Kernels();
    if (!kernels) GTEST_SKIP() << "this processor or this build has no SSSE3";
    std::mt19937 rng(11);
    {
        const uint32_t width = 2056, height = 4096;  // 25 MB; the last 8 columns in a tile of their own
        const size_t n = size_t{width} * height;
        const auto picture = randomSamples<uint8_t>(3 * n, rng);
        const ImageLayout layout = denseLayout(width, height);
        std::vector<uint8_t> expected(3 * n);
        naiveKernels().fillImage8(picture.data(), width, height, expected.data(), layout);
        std::vector<uint8_t> storage(3 * n + 64);
        const size_t misalignment = reinterpret_cast<uintptr_t>(storage.data()) % 64;
        for (size_t offset : {0, 16, 32, 48}) {
            uint8_t* out = storage.data() + (64 - misalignment + offset) % 64;
            std::fill(storage.begin(), storage.end(), 0xEE);
            kernels->fillImage8(picture.data(), width, height, out, layout);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out)) << "array at line offset " << offset;
        }
    }
    {
        const uint32_t width = 1024, height = 4096;  // 25 MB of 16-bit samples
        const size_t n = size_t{width} * height;
        const auto picture = randomSamples<uint16_t>(3 * n, rng);
        const ImageLayout layout = denseLayout(width, height);
        std::vector<uint16_t> expected(3 * n);
        naiveKernels().fillImage16(picture.data(), width, height, expected.data(), layout);
        std::vector<uint16_t> storage(3 * n + 32);
        const size_t misalignment = reinterpret_cast<uintptr_t>(storage.data()) % 64 / 2;
        for (size_t offset : {0, 8, 16, 24}) {
            uint16_t* out = storage.data() + (32 - misalignment + offset) % 32;
            std::fill(storage.begin(), storage.end(), 0xEEEE);
            kernels->fillImage16(picture.data(), width, height, out, layout);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out)) << "array at line offset " << 2 * offset;
        }
    }
}

// The functions the gateway calls are the active kernels.
TEST(PixelsPublic, PublicFunctionsGiveTheNaiveResults) {
    std::mt19937 rng(3);
    const uint32_t width = 37, height = 21;
    const size_t n = size_t{width} * height;
    const auto picture = randomSamples<uint8_t>(3 * n, rng);
    const auto raw = randomSamples<uint8_t>(2 * n, rng);
    const ImageLayout layout = denseLayout(width, height);
    std::vector<uint8_t> expected(3 * n), actual(3 * n);
    naiveKernels().fillImage8(picture.data(), width, height, expected.data(), layout);
    fillImage8(picture.data(), width, height, actual.data(), layout);
    EXPECT_TRUE(expected == actual);
    std::fill(actual.begin(), actual.end(), 0);
    fillImage8Columns(picture.data(), width, height, 0, 17, actual.data(), layout);
    fillImage8Columns(picture.data(), width, height, 17, 1000, actual.data(), layout);
    EXPECT_TRUE(expected == actual);
    std::vector<uint16_t> expected16(3 * n), actual16(3 * n);
    naiveKernels().fillMonoImage16(raw.data(), width, height, true, expected16.data(), layout);
    fillMonoImage16(raw.data(), width, height, true, actual16.data(), layout);
    EXPECT_TRUE(expected16 == actual16);
    const auto picture16 = randomSamples<uint16_t>(3 * n, rng);
    naiveKernels().fillImage16(picture16.data(), width, height, expected16.data(), layout);
    std::fill(actual16.begin(), actual16.end(), 0);
    fillImage16Columns(picture16.data(), width, height, 20, width, actual16.data(), layout);
    fillImage16Columns(picture16.data(), width, height, 0, 20, actual16.data(), layout);
    fillImage16Columns(picture16.data(), width, height, 30, 30, actual16.data(), layout);
    EXPECT_TRUE(expected16 == actual16);
}

}  // namespace
}  // namespace kor::pixels
