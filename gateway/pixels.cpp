#include "pixels.h"

namespace kor::pixels {
namespace {

template <typename In, typename Out, typename Widen>
void fillImage(const In* picture, uint32_t width, uint32_t height, Out* out, ImageLayout layout, Widen widen) {
    for (uint32_t t = 0; t < height; ++t) {
        const size_t row = height - 1 - t;
        const In* pixel = picture + static_cast<size_t>(t) * width * 3;
        for (uint32_t c = 0; c < width; ++c, pixel += 3) {
            Out* at = out + row + static_cast<size_t>(c) * layout.rows;
            at[0] = widen(pixel[2]);
            at[layout.pageStride] = widen(pixel[1]);
            at[2 * layout.pageStride] = widen(pixel[0]);
        }
    }
}

}  // namespace

void buildMonoPicture8(const uint8_t* raw, size_t pixelCount, uint8_t* picture) {
    for (size_t i = 0; i < pixelCount; ++i) picture[3 * i] = picture[3 * i + 1] = picture[3 * i + 2] = raw[i];
}

void buildMonoPicture16(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture) {
    for (size_t i = 0; i < sampleCount; ++i) {
        const uint8_t first = raw[2 * i], second = raw[2 * i + 1];
        // Little-endian samples read first byte low; swapped ones first byte high.
        uint16_t sample = swapBytes ? static_cast<uint16_t>(first << 8 | second)
                                    : static_cast<uint16_t>(second << 8 | first);
        sample &= 0xFFF0;
        picture[3 * i] = picture[3 * i + 1] = picture[3 * i + 2] = sample;
    }
}

void fillImage8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    fillImage(picture, width, height, out, layout, [](uint8_t v) { return v; });
}

void fillImage16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fillImage(picture, width, height, out, layout, [](uint16_t v) { return v; });
}

void fillImage8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fillImage(picture, width, height, out, layout, [](uint8_t v) { return static_cast<uint16_t>(v * 257); });
}

}  // namespace kor::pixels
