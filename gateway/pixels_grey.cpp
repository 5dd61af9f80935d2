#include "pixels_grey.h"

#include <algorithm>
#include <cmath>

namespace kor::pixels {
namespace {

// The page is column-major, so its writes are the cost: each visit of a block
// writes runs down a few columns while the frame rows it reads stay in the
// first-level cache. Page rows ascend, so the frame is read bottom-up.
// Column blocks are independent, so threads can share a page by them.
template <typename Out, typename Source>
void blockedPageFill(uint32_t width, uint32_t height, Out* out, size_t rows, Source source) {
    constexpr uint32_t blockColumns = 16;
    constexpr uint32_t blockRows = 512 / sizeof(Out);
    for (uint32_t cb = 0; cb < width; cb += blockColumns) {
        const uint32_t cEnd = std::min(width, cb + blockColumns);
        for (uint32_t ib = 0; ib < height; ib += blockRows) {
            const uint32_t iEnd = std::min(height, ib + blockRows);
            for (uint32_t c = cb; c < cEnd; ++c) {
                Out* column = out + static_cast<size_t>(c) * rows;
                for (uint32_t i = ib; i < iEnd; ++i)
                    column[i] = source(static_cast<size_t>(height - 1 - i) * width + c);
            }
        }
    }
}

uint16_t monoSample16(const uint8_t* raw, size_t i, bool swapBytes) {
    const uint8_t first = raw[2 * i], second = raw[2 * i + 1];
    const uint16_t sample = swapBytes ? static_cast<uint16_t>(first << 8 | second)
                                      : static_cast<uint16_t>(second << 8 | first);
    return static_cast<uint16_t>(sample & 0xFFF0);
}

template <typename In>
double luminanceAt(const In* picture, size_t pixel) {
    const In* p = picture + 3 * pixel;
    return luminance(p[2], p[1], p[0]);
}

}  // namespace

double luminance(double red, double green, double blue) {
    return std::round(0.298936021293775 * red + 0.587043074451121 * green + 0.114020904255103 * blue);
}

void fillGreyImage8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows, [=](size_t k) { return raw[k]; });
}

void fillGreyImage16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                     size_t rows) {
    blockedPageFill(width, height, out, rows, [=](size_t k) { return monoSample16(raw, k, swapBytes); });
}

void fillGreyImage8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows, [=](size_t k) { return static_cast<uint16_t>(raw[k] * 257); });
}

// The weights sum to 1, so the rounded luminance of in-range samples stays in
// range and the conversions below cannot overflow.
void fillLuminance8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows,
                    [=](size_t k) { return static_cast<uint8_t>(luminanceAt(picture, k)); });
}

void fillLuminance16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows,
                    [=](size_t k) { return static_cast<uint16_t>(luminanceAt(picture, k)); });
}

void fillLuminance8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows,
                    [=](size_t k) { return static_cast<uint16_t>(luminanceAt(picture, k) * 257); });
}

}  // namespace kor::pixels
