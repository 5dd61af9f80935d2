// Size of the frames a camera delivers and of the buffers and arrays that hold
// them, computed without overflow. Pure functions: no host or SDK calls.
#pragma once

#include <cstdint>

#include "korcam.h"

namespace kor {

// Why a frame format cannot be captured.
enum class FormatFault { None, PixelFormat, ZeroBinning };

// Pixel formats 0 and 1 with non-zero binning factors are the only ones whose
// frames have a known size and sample width.
FormatFault captureFault(const FrameFormat& format);

struct FrameGeometry {
    uint32_t width;         // delivered width: format width / xBinSub
    uint32_t height;        // delivered height: format height / yBinSub
    uint64_t pixelCount;    // width * height
    uint32_t pixelFormat;   // as in the format
    uint32_t sampleBytes;   // 1 for pixel format 0, 2 for any other
    uint64_t rawBytes;      // the frame as the SDK delivers it
    uint64_t pictureBytes;  // three samples per pixel
};

// Geometry of a format that passed captureFault. Byte counts that exceed
// 64 bits saturate at UINT64_MAX, which no buffer accepts.
FrameGeometry frameGeometry(const FrameFormat& format);

// a * b, or UINT64_MAX when the product does not fit.
uint64_t saturatingProduct(uint64_t a, uint64_t b);

// Bytes of a [rows columns 3 count] array of samples of sampleBytes each,
// saturating at UINT64_MAX.
uint64_t imageArrayBytes(uint64_t rows, uint64_t columns, uint64_t count, uint32_t sampleBytes);

}  // namespace kor
