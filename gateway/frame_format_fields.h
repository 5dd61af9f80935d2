// The frame format structure exchanged with MATLAB: ten real double fields,
// in an order of their own (not the order of FrameFormat), and their
// conversion to and from the SDK's FrameFormat and the float frame rate that
// travels beside it. Pure functions: no host or SDK calls.
#pragma once

#include <array>

#include "korcam.h"

namespace kor {

constexpr int kFrameFormatFieldCount = 10;

// Field names in structure order. Not an inline variable: g++ gives those a
// unique-symbol binding, which keeps the MEX module from ever being unloaded.
constexpr const char* kFrameFormatFieldNames[kFrameFormatFieldCount] = {
    "width", "height", "xOffset", "yOffset", "xBinSub", "yBinSub", "xFlags", "yFlags", "pixelFormat", "frameRate"};

// The ten field values, in structure order.
using FrameFormatValues = std::array<double, kFrameFormatFieldCount>;

struct FormatAndRate {
    FrameFormat format;
    float frameRate;
};

// Every format field as its unsigned value; the rate widened to double.
FrameFormatValues frameFormatValues(const FrameFormat& format, float frameRate);

// 32-bit fields truncated toward zero and reduced to their low 32 bits,
// 16-bit fields to their low 16 bits; the rate rounded to the nearest float.
FormatAndRate frameFormatFromValues(const FrameFormatValues& values);

}  // namespace kor
