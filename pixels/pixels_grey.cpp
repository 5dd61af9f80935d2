#include "pixels_grey.h"

#include <cmath>

#include "pixels_shared.h"

namespace kor::pixels {
namespace {

// One page: blockedFill's source reads pixel t * width + c of the frame.
template <typename Out, typename Source>
void blockedPageFill(uint32_t width, uint32_t height, Out* out, size_t rows, Source source) {
    blockedFill<1>(width, height, out, ImageLayout{rows, 0},
                   [=](uint32_t t, uint32_t c, unsigned) { return source(static_cast<size_t>(t) * width + c); });
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

void fillGreyImage16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows, [=](size_t k) { return monoSample16(raw, k, swapBytes); });
}

void fillGreyImage8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows, [=](size_t k) { return static_cast<uint16_t>(raw[k] * 257); });
}

// The weights sum to 1, so the rounded luminance of in-range samples stays in
// range and the conversions below cannot overflow.
void fillLuminance8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows, [=](size_t k) { return static_cast<uint8_t>(luminanceAt(picture, k)); });
}

void fillLuminance16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows, [=](size_t k) { return static_cast<uint16_t>(luminanceAt(picture, k)); });
}

void fillLuminance8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, size_t rows) {
    blockedPageFill(width, height, out, rows,
                    [=](size_t k) { return static_cast<uint16_t>(luminanceAt(picture, k) * 257); });
}

}  // namespace kor::pixels
