#include "pixels.h"

#include <algorithm>

#include "pixels_kernels.h"

namespace kor::pixels {
namespace {

uint16_t monoSample16(const uint8_t* raw, size_t i, bool swapBytes) {
    const uint8_t first = raw[2 * i], second = raw[2 * i + 1];
    const uint16_t sample = swapBytes ? static_cast<uint16_t>(first << 8 | second)
                                      : static_cast<uint16_t>(second << 8 | first);
    return static_cast<uint16_t>(sample & 0xFFF0);
}

uint16_t widen(uint8_t v) { return static_cast<uint16_t>(v * 257); }

// The array is column-major, so output writes are the cost: each visit of a
// block writes long runs down a few columns (256 bytes at least) while the
// picture rows it reads stay in the first-level cache. Array rows ascend, so
// the picture is read bottom-up.
template <typename Out, typename Source>
void blockedFill(uint32_t width, uint32_t height, Out* out, ImageLayout layout, Source source) {
    constexpr uint32_t blockColumns = 16;
    constexpr uint32_t blockRows = 512 / sizeof(Out);
    for (uint32_t cb = 0; cb < width; cb += blockColumns) {
        const uint32_t cEnd = std::min(width, cb + blockColumns);
        for (uint32_t ib = 0; ib < height; ib += blockRows) {
            const uint32_t iEnd = std::min(height, ib + blockRows);
            for (uint32_t c = cb; c < cEnd; ++c) {
                Out* column = out + static_cast<size_t>(c) * layout.rows;
                for (unsigned page = 0; page < 3; ++page) {
                    Out* dst = column + page * layout.pageStride;
                    for (uint32_t i = ib; i < iEnd; ++i) dst[i] = source(height - 1 - i, c, page);
                }
            }
        }
    }
}

void buildMono8(const uint8_t* raw, size_t pixelCount, uint8_t* picture) {
    for (size_t i = 0; i < pixelCount; ++i) picture[3 * i] = picture[3 * i + 1] = picture[3 * i + 2] = raw[i];
}

void buildMono16(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture) {
    for (size_t i = 0; i < sampleCount; ++i)
        picture[3 * i] = picture[3 * i + 1] = picture[3 * i + 2] = monoSample16(raw, i, swapBytes);
}

template <typename In, typename Out, typename Convert>
void fillColour(const In* picture, size_t rowSamples, uint32_t width, uint32_t height, Out* out, ImageLayout layout,
                Convert convert) {
    blockedFill(width, height, out, layout, [=](uint32_t t, uint32_t c, unsigned page) {
        return convert(picture[t * rowSamples + c * size_t{3} + (2 - page)]);
    });
}

void fill8Strided(const uint8_t* picture, size_t rowSamples, uint32_t width, uint32_t height, uint8_t* out,
                  ImageLayout layout) {
    fillColour(picture, rowSamples, width, height, out, layout, [](uint8_t v) { return v; });
}

void fill16Strided(const uint16_t* picture, size_t rowSamples, uint32_t width, uint32_t height, uint16_t* out,
                   ImageLayout layout) {
    fillColour(picture, rowSamples, width, height, out, layout, [](uint16_t v) { return v; });
}

void fill8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    fill8Strided(picture, width * size_t{3}, width, height, out, layout);
}

void fill16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fill16Strided(picture, width * size_t{3}, width, height, out, layout);
}

void fill8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fillColour(picture, width * size_t{3}, width, height, out, layout, widen);
}

void fillMono8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    blockedFill(width, height, out, layout,
                [=](uint32_t t, uint32_t c, unsigned) { return raw[static_cast<size_t>(t) * width + c]; });
}

void fillMono16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                ImageLayout layout) {
    blockedFill(width, height, out, layout, [=](uint32_t t, uint32_t c, unsigned) {
        return monoSample16(raw, static_cast<size_t>(t) * width + c, swapBytes);
    });
}

void fillMono8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    blockedFill(width, height, out, layout,
                [=](uint32_t t, uint32_t c, unsigned) { return widen(raw[static_cast<size_t>(t) * width + c]); });
}

}  // namespace

const Kernels& portableKernels() {
    static const Kernels kernels{"portable",   buildMono8,    buildMono16, fill8,      fill16,       fill8To16,
                                 fill8Strided, fill16Strided, fillMono8,   fillMono16, fillMono8To16};
    return kernels;
}

const Kernels& activeKernels() {
    static const Kernels& kernels = ssse3Kernels() ? *ssse3Kernels() : portableKernels();
    return kernels;
}

#if !KOR_PIXELS_HAVE_SSSE3
const Kernels* ssse3Kernels() { return nullptr; }
#endif

void buildMonoPicture8(const uint8_t* raw, size_t pixelCount, uint8_t* picture) {
    activeKernels().buildMonoPicture8(raw, pixelCount, picture);
}

void buildMonoPicture16(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture) {
    activeKernels().buildMonoPicture16(raw, sampleCount, swapBytes, picture);
}

void fillImage8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    activeKernels().fillImage8(picture, width, height, out, layout);
}

void fillImage16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    activeKernels().fillImage16(picture, width, height, out, layout);
}

void fillImage8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    activeKernels().fillImage8To16(picture, width, height, out, layout);
}

void fillImage8Columns(const uint8_t* picture, uint32_t width, uint32_t height, uint32_t firstColumn,
                       uint32_t endColumn, uint8_t* out, ImageLayout layout) {
    endColumn = std::min(endColumn, width);
    if (firstColumn >= endColumn) return;
    activeKernels().fillImage8Strided(picture + firstColumn * size_t{3}, width * size_t{3}, endColumn - firstColumn,
                                      height, out + firstColumn * layout.rows, layout);
}

void fillImage16Columns(const uint16_t* picture, uint32_t width, uint32_t height, uint32_t firstColumn,
                        uint32_t endColumn, uint16_t* out, ImageLayout layout) {
    endColumn = std::min(endColumn, width);
    if (firstColumn >= endColumn) return;
    activeKernels().fillImage16Strided(picture + firstColumn * size_t{3}, width * size_t{3}, endColumn - firstColumn,
                                       height, out + firstColumn * layout.rows, layout);
}

void fillMonoImage8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    activeKernels().fillMonoImage8(raw, width, height, out, layout);
}

void fillMonoImage16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                     ImageLayout layout) {
    activeKernels().fillMonoImage16(raw, width, height, swapBytes, out, layout);
}

void fillMonoImage8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    activeKernels().fillMonoImage8To16(raw, width, height, out, layout);
}

}  // namespace kor::pixels
