#include "frame_geometry.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kor {
namespace {

FrameFormat format(uint32_t width, uint32_t height, uint32_t pixelFormat, uint16_t xBin = 1, uint16_t yBin = 1) {
    FrameFormat f{};
    f.width = width;
    f.height = height;
    f.pixelFormat = pixelFormat;
    f.xBinSub = xBin;
    f.yBinSub = yBin;
    return f;
}

TEST(FrameGeometry, OnlyKnownSampleFormatsWithBinningCanBeCaptured) {
    EXPECT_EQ(captureFault(format(640, 480, 0)), FormatFault::None);
    EXPECT_EQ(captureFault(format(640, 480, 1)), FormatFault::None);
    for (uint32_t pixelFormat : {2u, 3u, 4u, 0xFFFFFFFFu})
        EXPECT_EQ(captureFault(format(640, 480, pixelFormat)), FormatFault::PixelFormat) << pixelFormat;
    EXPECT_EQ(captureFault(format(640, 480, 0, 0, 1)), FormatFault::ZeroBinning);
    EXPECT_EQ(captureFault(format(640, 480, 1, 1, 0)), FormatFault::ZeroBinning);
    // A bad pixel format is named first, whatever the binning.
    EXPECT_EQ(captureFault(format(640, 480, 3, 0, 0)), FormatFault::PixelFormat);
}

TEST(FrameGeometry, DeliveredSizeAndBuffers) {
    struct Row {
        FrameFormat format;
        uint32_t width, height;
        uint64_t raw, picture;
    };
    const Row rows[] = {
        {format(1280, 1024, 0), 1280, 1024, 1310720, 3932160},
        {format(2048, 1536, 1), 2048, 1536, 6291456, 18874368},
        {format(1280, 1024, 0, 2, 4), 640, 256, 163840, 491520},
        // Unsigned division: a region narrower than its binning delivers nothing.
        {format(1281, 1023, 1, 2, 2), 640, 511, 654080, 1962240},
        {format(1, 7, 0, 2, 1), 0, 7, 0, 0},
    };
    for (const Row& r : rows) {
        const FrameGeometry g = frameGeometry(r.format);
        EXPECT_EQ(g.width, r.width);
        EXPECT_EQ(g.height, r.height);
        EXPECT_EQ(g.pixelCount, uint64_t{r.width} * r.height);
        EXPECT_EQ(g.sampleBytes, r.format.pixelFormat == 0 ? 1u : 2u);
        EXPECT_EQ(g.pixelFormat, r.format.pixelFormat);
        EXPECT_EQ(g.rawBytes, r.raw);
        EXPECT_EQ(g.pictureBytes, r.picture);
    }
}

TEST(FrameGeometry, HugeFormatsSaturateInsteadOfWrapping) {
    // 2^32-1 squared fits in 64 bits, twice it does not, nor three times twice.
    const FrameGeometry g = frameGeometry(format(0xFFFFFFFFu, 0xFFFFFFFFu, 1));
    EXPECT_EQ(g.pixelCount, 0xFFFFFFFE00000001ull);
    EXPECT_EQ(g.rawBytes, UINT64_MAX);
    EXPECT_EQ(g.pictureBytes, UINT64_MAX);
    // 8-bit: the raw size fits, the picture does not.
    const FrameGeometry g8 = frameGeometry(format(0xFFFFFFFFu, 0xFFFFFFFFu, 0));
    EXPECT_EQ(g8.rawBytes, 0xFFFFFFFE00000001ull);
    EXPECT_EQ(g8.pictureBytes, UINT64_MAX);
    // Just past 2^32 pixels: the sizes stay exact (a 32-bit product would wrap to small).
    const FrameGeometry wrap = frameGeometry(format(65536, 65537, 1));
    EXPECT_EQ(wrap.rawBytes, 2ull * 65536 * 65537);
    EXPECT_EQ(wrap.pictureBytes, 6ull * 65536 * 65537);
}

TEST(FrameGeometry, SaturatingProductAndArrayBytes) {
    EXPECT_EQ(saturatingProduct(0, UINT64_MAX), 0u);
    EXPECT_EQ(saturatingProduct(UINT64_MAX, 1), UINT64_MAX);
    EXPECT_EQ(saturatingProduct(1ull << 32, 1ull << 31), 1ull << 63);
    EXPECT_EQ(saturatingProduct(1ull << 32, 1ull << 32), UINT64_MAX);
    EXPECT_EQ(imageArrayBytes(1024, 1280, 1, 1), 3932160u);
    EXPECT_EQ(imageArrayBytes(1536, 2048, 3, 2), 56623104u);
    EXPECT_EQ(imageArrayBytes(0, 1280, 2, 2), 0u);
    EXPECT_EQ(imageArrayBytes(0xFFFFFFFFu, 0xFFFFFFFFu, 10, 2), UINT64_MAX);
}

}  // namespace
}  // namespace kor
