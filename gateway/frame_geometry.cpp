#include "frame_geometry.h"

namespace kor {

FormatFault captureFault(const FrameFormat& format) {
    if (format.pixelFormat != KORCAM_PIXEL_8BIT && format.pixelFormat != KORCAM_PIXEL_16BIT)
        return FormatFault::PixelFormat;
    if (format.xBinSub == 0 || format.yBinSub == 0) return FormatFault::ZeroBinning;
    return FormatFault::None;
}

uint64_t saturatingProduct(uint64_t a, uint64_t b) {
    if (a != 0 && b > UINT64_MAX / a) return UINT64_MAX;
    return a * b;
}

FrameGeometry frameGeometry(const FrameFormat& format) {
    FrameGeometry g{};
    g.width = format.width / format.xBinSub;
    g.height = format.height / format.yBinSub;
    g.pixelCount = static_cast<uint64_t>(g.width) * g.height;  // below 2^64 for 32-bit sides
    g.pixelFormat = format.pixelFormat;
    g.sampleBytes = format.pixelFormat == KORCAM_PIXEL_8BIT ? 1 : 2;
    g.rawBytes = saturatingProduct(g.pixelCount, g.sampleBytes);
    g.pictureBytes = saturatingProduct(g.rawBytes, 3);
    return g;
}

uint64_t imageArrayBytes(uint64_t rows, uint64_t columns, uint64_t count, uint32_t sampleBytes) {
    uint64_t bytes = saturatingProduct(rows, columns);
    bytes = saturatingProduct(bytes, 3);
    bytes = saturatingProduct(bytes, count);
    return saturatingProduct(bytes, sampleBytes);
}

}  // namespace kor
