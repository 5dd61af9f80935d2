#include "pixels.h"

#include <algorithm>
#include <cstdint>

#include "pixels_shared.h"
#include "pixels_kernels.h"
#include "pixels_split.h"

namespace kor::pixels {
namespace {

uint16_t widen(uint8_t v) { return static_cast<uint16_t>(v * 257); }

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

// The public fills below split large images over threads (pixels_split.h):
// each thread fills a band of array rows, from the matching picture rows,
// with the same kernel the whole image would take.

namespace {

// Output bytes of a [height width 3] image of sampleBytes samples, saturated
// rather than wrapped on a 32-bit size_t.
size_t imageBytes(uint32_t width, uint32_t height, size_t sampleBytes) {
    const uint64_t bytes = uint64_t{3} * width * height * sampleBytes;
    return bytes > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(bytes);
}

// Calls fill(firstPictureRow, bandHeight, firstArrayRow) for the bands of an
// image; band [first, end) of array rows comes from picture rows
// [height - end, height - first).
template <typename BandFill>
void inBands(uint32_t width, uint32_t height, size_t sampleBytes, BandFill fill) {
    splitRows(height, fillWorkers(imageBytes(width, height, sampleBytes)),
              [&](uint32_t first, uint32_t end) { fill(size_t{height} - end, end - first, first); });
}

}  // namespace

void buildMonoPicture8(const uint8_t* raw, size_t pixelCount, uint8_t* picture) {
    const Kernels& k = activeKernels();
    // 16 pixels at a time: the SSSE3 kernel's step.
    splitRange(pixelCount, 16, fillWorkers(pixelCount > SIZE_MAX / 3 ? SIZE_MAX : 3 * pixelCount),
               [&](size_t begin, size_t end) { k.buildMonoPicture8(raw + begin, end - begin, picture + 3 * begin); });
}

void buildMonoPicture16(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture) {
    const Kernels& k = activeKernels();
    splitRange(sampleCount, 16, fillWorkers(sampleCount > SIZE_MAX / 6 ? SIZE_MAX : 6 * sampleCount),
               [&](size_t begin, size_t end) {
                   k.buildMonoPicture16(raw + 2 * begin, end - begin, swapBytes, picture + 3 * begin);
               });
}

void fillImage8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    const Kernels& k = activeKernels();
    inBands(width, height, 1, [&](size_t pictureRow, uint32_t rows, uint32_t arrayRow) {
        k.fillImage8(picture + pictureRow * width * 3, width, rows, out + arrayRow, layout);
    });
}

void fillImage16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    const Kernels& k = activeKernels();
    inBands(width, height, 2, [&](size_t pictureRow, uint32_t rows, uint32_t arrayRow) {
        k.fillImage16(picture + pictureRow * width * 3, width, rows, out + arrayRow, layout);
    });
}

void fillImage8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    const Kernels& k = activeKernels();
    inBands(width, height, 2, [&](size_t pictureRow, uint32_t rows, uint32_t arrayRow) {
        k.fillImage8To16(picture + pictureRow * width * 3, width, rows, out + arrayRow, layout);
    });
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
    const Kernels& k = activeKernels();
    inBands(width, height, 1, [&](size_t pictureRow, uint32_t rows, uint32_t arrayRow) {
        k.fillMonoImage8(raw + pictureRow * width, width, rows, out + arrayRow, layout);
    });
}

void fillMonoImage16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                     ImageLayout layout) {
    const Kernels& k = activeKernels();
    inBands(width, height, 2, [&](size_t pictureRow, uint32_t rows, uint32_t arrayRow) {
        k.fillMonoImage16(raw + pictureRow * width * 2, width, rows, swapBytes, out + arrayRow, layout);
    });
}

void fillMonoImage8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    const Kernels& k = activeKernels();
    inBands(width, height, 2, [&](size_t pictureRow, uint32_t rows, uint32_t arrayRow) {
        k.fillMonoImage8To16(raw + pictureRow * width, width, rows, out + arrayRow, layout);
    });
}

const Kernels& gatewayKernels() {
    static const Kernels kernels{
        "gateway", buildMonoPicture8, buildMonoPicture16, fillImage8,      fillImage16,       fillImage8To16,
        nullptr,   nullptr,           fillMonoImage8,     fillMonoImage16, fillMonoImage8To16};
    return kernels;
}

}  // namespace kor::pixels
