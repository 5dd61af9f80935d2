#include "pixels_kernels.h"

namespace kor::pixels {
namespace {

uint16_t monoSample16(const uint8_t* raw, size_t i, bool swapBytes) {
    const uint8_t first = raw[2 * i], second = raw[2 * i + 1];
    // Little-endian samples read first byte low; swapped ones first byte high.
    const uint16_t sample =
        swapBytes ? static_cast<uint16_t>(first << 8 | second) : static_cast<uint16_t>(second << 8 | first);
    // The sensor delivers 12 significant bits; the low four are noise.
    return static_cast<uint16_t>(sample & 0xFFF0);
}

uint16_t widen(uint8_t v) { return static_cast<uint16_t>(v * 257); }

void buildMono8(const uint8_t* raw, size_t pixelCount, uint8_t* picture) {
    for (size_t i = 0; i < pixelCount; ++i) picture[3 * i] = picture[3 * i + 1] = picture[3 * i + 2] = raw[i];
}

void buildMono16(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture) {
    for (size_t i = 0; i < sampleCount; ++i)
        picture[3 * i] = picture[3 * i + 1] = picture[3 * i + 2] = monoSample16(raw, i, swapBytes);
}

template <typename In, typename Out, typename Convert>
void fill(const In* picture, size_t rowSamples, uint32_t width, uint32_t height, Out* out, ImageLayout layout,
          Convert convert) {
    for (uint32_t t = 0; t < height; ++t) {
        const size_t row = height - 1 - t;
        const In* pixel = picture + t * rowSamples;
        for (uint32_t c = 0; c < width; ++c, pixel += 3) {
            Out* at = out + row + static_cast<size_t>(c) * layout.rows;
            at[0] = convert(pixel[2]);
            at[layout.pageStride] = convert(pixel[1]);
            at[2 * layout.pageStride] = convert(pixel[0]);
        }
    }
}

template <typename Out, typename Sample>
void fillMono(uint32_t width, uint32_t height, Out* out, ImageLayout layout, Sample sample) {
    for (uint32_t t = 0; t < height; ++t) {
        const size_t row = height - 1 - t;
        for (uint32_t c = 0; c < width; ++c) {
            Out* at = out + row + static_cast<size_t>(c) * layout.rows;
            at[0] = at[layout.pageStride] = at[2 * layout.pageStride] = sample(static_cast<size_t>(t) * width + c);
        }
    }
}

void fill8Strided(const uint8_t* picture, size_t rowSamples, uint32_t width, uint32_t height, uint8_t* out,
                  ImageLayout layout) {
    fill(picture, rowSamples, width, height, out, layout, [](uint8_t v) { return v; });
}

void fill16Strided(const uint16_t* picture, size_t rowSamples, uint32_t width, uint32_t height, uint16_t* out,
                   ImageLayout layout) {
    fill(picture, rowSamples, width, height, out, layout, [](uint16_t v) { return v; });
}

void fill8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    fill8Strided(picture, width * size_t{3}, width, height, out, layout);
}

void fill16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fill16Strided(picture, width * size_t{3}, width, height, out, layout);
}

void fill8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fill(picture, width * size_t{3}, width, height, out, layout, widen);
}

void fillMono8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    fillMono(width, height, out, layout, [raw](size_t i) { return raw[i]; });
}

void fillMono16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                ImageLayout layout) {
    fillMono(width, height, out, layout, [raw, swapBytes](size_t i) { return monoSample16(raw, i, swapBytes); });
}

void fillMono8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fillMono(width, height, out, layout, [raw](size_t i) { return widen(raw[i]); });
}

}  // namespace

const Kernels& naiveKernels() {
    static const Kernels kernels{"naive",      buildMono8,    buildMono16, fill8,      fill16,       fill8To16,
                                 fill8Strided, fill16Strided, fillMono8,   fillMono16, fillMono8To16};
    return kernels;
}

}  // namespace kor::pixels
