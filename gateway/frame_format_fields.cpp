#include "frame_format_fields.h"

#include "conversions.h"

namespace kor {

FrameFormatValues frameFormatValues(const FrameFormat& f, float frameRate) {
    // Every field is unsigned and fits a double exactly.
    auto d = [](auto field) { return static_cast<double>(field); };
    return {d(f.width),   d(f.height), d(f.xOffset), d(f.yOffset),     d(f.xBinSub),
            d(f.yBinSub), d(f.xFlags), d(f.yFlags),  d(f.pixelFormat), d(frameRate)};
}

FormatAndRate frameFormatFromValues(const FrameFormatValues& v) {
    FormatAndRate result{};
    FrameFormat& f = result.format;
    f.width = lowBits32(v[0]);
    f.height = lowBits32(v[1]);
    f.xOffset = lowBits32(v[2]);
    f.yOffset = lowBits32(v[3]);
    f.xBinSub = lowBits16(v[4]);
    f.yBinSub = lowBits16(v[5]);
    f.xFlags = lowBits16(v[6]);
    f.yFlags = lowBits16(v[7]);
    f.pixelFormat = lowBits32(v[8]);
    result.frameRate = toFloat(v[9]);
    return result;
}

}  // namespace kor
