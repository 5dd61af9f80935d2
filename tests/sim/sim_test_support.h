// Small helpers shared by the virtual camera tests.
#pragma once

#include "korcam.h"
#include "korcamsim.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace simtest {

inline FrameFormat currentFormat(CameraHandle handle) {
    FrameFormat format{};
    float rate = 0;
    EXPECT_NE(KorcamGetFormat(handle, &format, &rate), 0);
    return format;
}

inline SnapshotSettings settingsFor(const FrameFormat& format, float exposure = 10.0f, float gain = 1.0f) {
    SnapshotSettings settings{};
    settings.exposure = exposure;
    settings.gain = gain;
    settings.redGain = settings.blueGain = settings.green1Gain = settings.green2Gain = 1.0f;
    settings.timeout = 5000.0f;
    settings.format = format;
    return settings;
}

inline uint64_t rawBytes(const FrameFormat& f) {
    return uint64_t{f.width / f.xBinSub} * (f.height / f.yBinSub) * (f.pixelFormat == 0 ? 1 : 2);
}

// One snapshot in the given format; empty when the SDK refused it.
inline std::vector<uint8_t> snapshot(CameraHandle handle, const FrameFormat& format, float exposure = 10.0f,
                                     float gain = 1.0f) {
    std::vector<uint8_t> raw(rawBytes(format));
    const SnapshotSettings settings = settingsFor(format, exposure, gain);
    if (KorcamTakeSnapshot(handle, &settings, raw.data()) == 0) return {};
    return raw;
}

inline std::vector<uint8_t> toBgr24(CameraHandle handle, const std::vector<uint8_t>& raw, uint32_t width,
                                    uint32_t height) {
    std::vector<uint8_t> bgr(uint64_t{width} * height * 3);
    const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
    EXPECT_NE(KorcamConvertFrameToRgb24(handle, bgr.data(), raw.data(), width, height, 0, &params), 0);
    return bgr;
}

// Blue, green, red of the pixel at picture row `fromTop` (0 = top of the
// picture, which is the last row of the buffer) and column x.
inline std::array<int, 3> bgrAt(const std::vector<uint8_t>& bgr, uint32_t width, uint32_t height, uint32_t fromTop,
                                uint32_t x) {
    const uint8_t* p = bgr.data() + 3 * (uint64_t{height - 1 - fromTop} * width + x);
    return {p[0], p[1], p[2]};
}

}  // namespace simtest
