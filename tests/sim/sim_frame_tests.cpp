// Frames of the virtual cameras: the pattern's orientation and colour order as
// callers see it after conversion, brightness, 16-bit content and byte order,
// and the conversion itself.
#include "sim_test_support.h"

#include <algorithm>
#include <cstring>

using namespace simtest;

namespace {

class Frames : public ::testing::Test {
protected:
    // Unpaced: these tests look at the frames' content, not their timing.
    void SetUp() override {
        korcamsim::reset();
        korcamsim::setPacing(false);
    }
    void TearDown() override { korcamsim::reset(); }
};

// Blue, green, red of the bars, left to right, as on/off.
const std::array<std::array<bool, 3>, 8> kBarsBgr = {{
    {true, true, true},     // white
    {false, true, true},    // yellow
    {true, true, false},    // cyan
    {false, true, false},   // green
    {true, false, true},    // magenta
    {false, false, true},   // red
    {true, false, false},   // blue
    {false, false, false},  // black
}};

// Below the number box (7 font cells of min(width, height) / 100 pixels: 105
// rows on a 2048 x 1536 sensor).
constexpr uint32_t kProbeRow = 160;

// Bytes of the buffer rows below the number box of a full-sensor frame.
uint64_t bytesBelowBox(const FrameFormat& f, uint32_t sampleBytes) {
    return uint64_t{f.width} * (f.height - kProbeRow) * sampleBytes;
}

TEST_F(Frames, ColourBarsRunLeftToRightAtTheTopOfThePicture) {
    const CameraHandle h = KorcamCameraOpen(1);
    const FrameFormat f = currentFormat(h);
    const std::vector<uint8_t> raw = snapshot(h, f);
    ASSERT_FALSE(raw.empty());
    const std::vector<uint8_t> bgr = toBgr24(h, raw, f.width, f.height);
    for (uint32_t bar = 0; bar < 8; ++bar) {
        SCOPED_TRACE(bar);
        const auto px = bgrAt(bgr, f.width, f.height, kProbeRow, bar * 160 + 80);
        for (int channel = 0; channel < 3; ++channel) {
            if (kBarsBgr[bar][channel])
                EXPECT_GT(px[channel], 150);
            else
                EXPECT_EQ(px[channel], 0);
        }
    }
}

TEST_F(Frames, RampDimsTowardsTheBottomOfThePicture) {
    const CameraHandle h = KorcamCameraOpen(1);
    const FrameFormat f = currentFormat(h);
    const std::vector<uint8_t> bgr = toBgr24(h, snapshot(h, f), f.width, f.height);
    int previous = 256;
    for (uint32_t row : {100u, 400u, 700u, 1023u}) {
        const int green = bgrAt(bgr, f.width, f.height, row, 80)[1];
        EXPECT_LT(green, previous) << "row " << row;
        previous = green;
    }
    const int top = bgrAt(bgr, f.width, f.height, kProbeRow, 80)[1];
    EXPECT_NEAR(previous, top / 4, top / 10) << "the bottom is a quarter of the top";
}

TEST_F(Frames, MonochromeBarsDescendInLuma) {
    const CameraHandle h = KorcamCameraOpen(2);
    const FrameFormat f = currentFormat(h);
    const std::vector<uint8_t> raw = snapshot(h, f);
    ASSERT_EQ(raw.size(), 2048u * 1536);
    int previous = 256;
    for (uint32_t bar = 0; bar < 8; ++bar) {
        const int v = raw[uint64_t{f.height - 1 - kProbeRow} * f.width + bar * 256 + 128];
        EXPECT_LT(v, previous) << "bar " << bar;
        previous = v;
    }
    EXPECT_EQ(previous, 0);
}

TEST_F(Frames, FrameNumberChangesOnlyTheTopLeftCorner) {
    const CameraHandle h = KorcamCameraOpen(3);
    const FrameFormat f = currentFormat(h);  // 640 x 480: 4-pixel font cells, a 28 x 20 box
    const std::vector<uint8_t> first = snapshot(h, f);
    const std::vector<uint8_t> second = snapshot(h, f);
    ASSERT_EQ(korcamsim::lastFrame(3).number, 2u);
    uint32_t changed = 0;
    for (uint32_t row = 0; row < f.height; ++row) {
        for (uint32_t x = 0; x < f.width; ++x) {
            const uint64_t i = uint64_t{row} * f.width + x;
            if (first[i] == second[i]) continue;
            ++changed;
            EXPECT_GE(row, f.height - 28) << "changed pixel below the box";
            EXPECT_LT(x, 20u) << "changed pixel right of the box";
        }
    }
    EXPECT_GT(changed, 0u);
    EXPECT_EQ(first[uint64_t{f.height - 1} * f.width], 255) << "the box is white at the picture's top left";
}

TEST_F(Frames, BrightnessFollowsExposureAndGain) {
    const CameraHandle h = KorcamCameraOpen(2);
    const FrameFormat f = currentFormat(h);
    const uint64_t probe = uint64_t{f.height - 1 - kProbeRow} * f.width + 128;
    auto white = [&](float exposure, float gain) { return snapshot(h, f, exposure, gain)[probe]; };
    EXPECT_LT(white(0.0f, 1.0f), white(1.0f, 1.0f));
    EXPECT_LT(white(1.0f, 1.0f), white(10.0f, 1.0f));
    EXPECT_LT(white(10.0f, 1.0f), white(20.0f, 1.0f));
    EXPECT_LT(white(10.0f, 1.0f), white(10.0f, 2.0f));
    EXPECT_EQ(white(5.0f, 2.0f), white(10.0f, 1.0f));

    // Video frames follow the live exposure property.
    ASSERT_NE(KorcamStreamVideoControl(h, KORCAM_STREAM_START_OWN_WINDOW, nullptr), 0);
    std::vector<uint8_t> raw(rawBytes(f));
    ASSERT_NE(KorcamTakeVideo(h, 1, raw.data()), 0);
    const uint8_t before = raw[probe];
    ASSERT_NE(KorcamSetProperty(h, KORCAM_PROP_EXPOSURE, 40.0f, 0), 0);
    ASSERT_NE(KorcamTakeVideo(h, 1, raw.data()), 0);
    EXPECT_GT(raw[probe], before);
}

TEST_F(Frames, RegionShowsItsPartOfTheSensor) {
    const CameraHandle h = KorcamCameraOpen(1);
    // The sixth eighth of the sensor is the red bar.
    const FrameFormat red{5 * 160 + 16, 0, 128, 200, 0, 1, 0, 1, 0};
    const std::vector<uint8_t> bgr = toBgr24(h, snapshot(h, red), red.width, red.height);
    const auto px = bgrAt(bgr, red.width, red.height, kProbeRow, 100);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[1], 0);
    EXPECT_GT(px[2], 150);
}

TEST_F(Frames, SixteenBitSamplesCarryTwelveBitsInTheAnnouncedByteOrder) {
    const CameraHandle h = KorcamCameraOpen(2);
    FrameFormat f8 = currentFormat(h);
    FrameFormat f16 = f8;
    f16.pixelFormat = 1;
    const std::vector<uint8_t> narrow = snapshot(h, f8);
    const std::vector<uint8_t> wide = snapshot(h, f16);
    ASSERT_EQ(wide.size(), 2 * narrow.size());
    bool noise = false;
    for (uint64_t i = 0; i < bytesBelowBox(f8, 1); i += 997) {
        const uint32_t sample = wide[2 * i] | (wide[2 * i + 1] << 8);  // flags 0x80000000: little-endian
        const uint32_t twelve = sample >> 4;
        EXPECT_NEAR(twelve * 255.0 / 4095.0, narrow[i], 1.0) << "sample " << i;
        noise = noise || (sample & 0xF) != 0;
    }
    EXPECT_TRUE(noise) << "the low four bits carry no signal and are not kept clear";

    // The same camera announcing another flags word delivers swapped bytes.
    std::vector<korcamsim::CameraSpec> rig = korcamsim::defaultRig();
    rig[1].littleEndian = false;
    korcamsim::setRig(rig);
    const CameraHandle swapped = KorcamCameraOpen(2);
    float v;
    int32_t flags;
    ASSERT_NE(KorcamGetProperty(swapped, KORCAM_PROP_COLOR_FORMAT, &v, &flags), 0);
    EXPECT_EQ(flags, 0);
    const std::vector<uint8_t> bigEndian = snapshot(swapped, f16);
    ASSERT_EQ(bigEndian.size(), wide.size());
    for (uint64_t i = 0; i < bytesBelowBox(f16, 2); i += 2 * 1009) {
        EXPECT_EQ(bigEndian[i], wide[i + 1]);
        EXPECT_EQ(bigEndian[i + 1], wide[i]);
    }
}

TEST_F(Frames, Rgb48DemosaicsSixteenBitColourFrames) {
    korcamsim::CameraSpec colour16;
    colour16.bits16 = true;
    for (bool littleEndian : {true, false}) {
        SCOPED_TRACE(littleEndian);
        colour16.littleEndian = littleEndian;
        korcamsim::setRig({colour16});
        const CameraHandle h = KorcamCameraOpen(1);
        FrameFormat f = currentFormat(h);
        f.pixelFormat = 1;
        const std::vector<uint8_t> raw = snapshot(h, f);
        ASSERT_FALSE(raw.empty());
        std::vector<uint16_t> bgr(uint64_t{f.width} * f.height * 3);
        const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
        ASSERT_NE(KorcamConvertFrameToRgb48(h, bgr.data(), raw.data(), f.width, f.height, 1, &params), 0);
        for (uint32_t bar = 0; bar < 8; ++bar) {
            const uint16_t* px = &bgr[3 * (uint64_t{f.height - 1 - kProbeRow} * f.width + bar * 160 + 80)];
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_EQ(px[channel] & 0xF, 0) << "bar " << bar;
                if (kBarsBgr[bar][channel])
                    EXPECT_GT(px[channel], 150 * 256) << "bar " << bar;
                else
                    EXPECT_EQ(px[channel], 0) << "bar " << bar;
            }
        }
    }
}

TEST_F(Frames, DemosaicOfAFlatColourIsExactAtEveryEdge) {
    const CameraHandle h = KorcamCameraOpen(1);
    const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
    for (uint32_t width : {1u, 2u, 3u, 5u, 8u}) {
        for (uint32_t height : {1u, 2u, 3u, 4u}) {
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
            // R G / G B cells of red 200, green 100, blue 50.
            std::vector<uint8_t> raw(width * height);
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < width; ++x)
                    raw[y * width + x] = (y % 2 == 0) ? (x % 2 == 0 ? 200 : 100) : (x % 2 == 0 ? 100 : 50);
            std::vector<uint8_t> bgr(raw.size() * 3, 0xEE);
            ASSERT_NE(KorcamConvertFrameToRgb24(h, bgr.data(), raw.data(), width, height, 0, &params), 0);
            if (width < 2 || height < 2) continue;  // no whole cell: only safety matters
            for (uint64_t p = 0; p < raw.size(); ++p) {
                EXPECT_EQ(bgr[3 * p], 50) << "pixel " << p;
                EXPECT_EQ(bgr[3 * p + 1], 100) << "pixel " << p;
                EXPECT_EQ(bgr[3 * p + 2], 200) << "pixel " << p;
            }
            EXPECT_EQ(korcamsim::convertFrame(1, raw, width, height, 0), bgr);
        }
    }
}

TEST_F(Frames, ConversionRefusesMismatchedFormatsAndMissingBuffers) {
    const CameraHandle h = KorcamCameraOpen(1);
    const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
    std::vector<uint8_t> raw(16 * 2), out(16 * 6);
    EXPECT_EQ(KorcamConvertFrameToRgb24(h, out.data(), raw.data(), 4, 4, 1, &params), 0);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{KORCAM_ERROR_FORMAT_NOT_SUPPORTED});
    EXPECT_EQ(KorcamConvertFrameToRgb48(h, out.data(), raw.data(), 4, 4, 3, &params), 0);
    EXPECT_EQ(KorcamConvertFrameToRgb24(h, out.data(), raw.data(), 4, 4, 0, nullptr), 0);
    EXPECT_EQ(KorcamGetLastError(), uint32_t{korcamsim::kErrorInvalidParameter});
    EXPECT_EQ(KorcamConvertFrameToRgb24(h, nullptr, raw.data(), 4, 4, 0, &params), 0);
    EXPECT_EQ(KorcamConvertFrameToRgb24(h, out.data(), raw.data(), 0, 4, 0, &params), 0);
    EXPECT_EQ(KorcamConvertFrameToRgb24(h, out.data(), raw.data(), 0xFFFFFFFFu, 0xFFFFFFFFu, 0, &params), 0);
    EXPECT_THROW(korcamsim::convertFrame(1, raw, 4, 4, 0), std::invalid_argument) << "32 bytes for 16 pixels";
}

TEST_F(Frames, MonochromeConversionReplicatesMaskedSamples) {
    const CameraHandle h = KorcamCameraOpen(2);
    const std::vector<uint8_t> raw = {0x12, 0x34, 0xFF, 0xFF};  // two little-endian samples
    std::vector<uint16_t> out(6);
    const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
    ASSERT_NE(KorcamConvertFrameToRgb48(h, out.data(), raw.data(), 2, 1, 1, &params), 0);
    EXPECT_EQ(out, (std::vector<uint16_t>{0x3410, 0x3410, 0x3410, 0xFFF0, 0xFFF0, 0xFFF0}));
}

}  // namespace
