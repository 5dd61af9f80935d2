// The pixel pipeline between a raw camera frame and a MATLAB image array.
// Pure functions: no host or SDK calls. Large images are filled on several
// threads, all joined before the function returns (pixels_split.h); the
// bytes written are the same as on one thread.
//
// A picture holds three samples per pixel (s0, s1, s2 as the SDK conversion
// delivers them: blue, green, red), rows of `width` pixels one after the
// other, top row first. A MATLAB image is column-major with red, green and
// blue pages and the picture's first row as its last: the fill reverses the
// rows and the sample order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kor::pixels {

// Where one image goes inside a (possibly larger) column-major array: element
// (row i, column j, page p) lies at out[i + j * rows + p * pageStride].
struct ImageLayout {
    size_t rows;        // leading dimension of the array (>= picture height)
    size_t pageStride;  // elements between pages (>= rows * picture width)
};

// Monochrome 8-bit: every raw byte becomes all three samples of its pixel.
void buildMonoPicture8(const uint8_t* raw, size_t pixelCount, uint8_t* picture);
// Monochrome 16-bit: each sample, byte-swapped when swapBytes, masked with
// 0xFFF0 (12 significant bits), becomes all three samples of its pixel.
void buildMonoPicture16(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture);

// Copies a picture of width x height pixels into the array: picture row t to
// array row height-1-t, sample s2 to page 0, s1 to page 1, s0 to page 2.
void fillImage8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout);
void fillImage16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout);
// As fillImage8 into a uint16 array, each sample widened as x * 257.
void fillImage8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout);

// As fillImage8 and fillImage16 for the picture columns [firstColumn,
// endColumn) only, so that threads can share one image by column ranges.
void fillImage8Columns(const uint8_t* picture, uint32_t width, uint32_t height, uint32_t firstColumn,
                       uint32_t endColumn, uint8_t* out, ImageLayout layout);
void fillImage16Columns(const uint16_t* picture, uint32_t width, uint32_t height, uint32_t firstColumn,
                        uint32_t endColumn, uint16_t* out, ImageLayout layout);

// Monochrome frames straight into the array, without a picture buffer: the
// same elements as building the picture and filling it, in one pass.
void fillMonoImage8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout);
void fillMonoImage16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                     ImageLayout layout);
// As fillMonoImage8 into a uint16 array, each sample widened as x * 257.
void fillMonoImage8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout);

// Layout of a lone [height width 3] image.
constexpr ImageLayout denseLayout(uint32_t width, uint32_t height) {
    return ImageLayout{height, static_cast<size_t>(height) * width};
}

}  // namespace kor::pixels
