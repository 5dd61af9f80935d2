// Grey-scale images: one [height width] page per frame instead of three
// equal ones. Pure functions: no host or SDK calls.
//
// A monochrome frame's samples go straight from the raw buffer into the page
// (8-bit as they are, 16-bit byte-swapped when asked and cut to their 12
// significant bits, as the three-page fill does). A colour picture (blue,
// green, red samples per pixel, as the SDK conversion delivers them) becomes
// its luminance, weighed as MATLAB's rgb2gray weighs red, green and blue.
// Rows are reversed as in the three-page fill: the frame's first row is the
// page's last.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kor::pixels {

// Element (row i, column j) of the page lies at out[i + j * rows], with rows
// >= height (a page of a larger array).
void fillGreyImage8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, size_t rows);
void fillGreyImage16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out, size_t rows);
// As fillGreyImage8 into a uint16 page, each sample widened as x * 257.
void fillGreyImage8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, size_t rows);

// Luminance of a colour picture: round(0.298936021293775 * red +
// 0.587043074451121 * green + 0.114020904255103 * blue).
void fillLuminance8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, size_t rows);
void fillLuminance16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, size_t rows);
// As fillLuminance8 into a uint16 page, each value widened as x * 257.
void fillLuminance8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, size_t rows);

// The luminance of one pixel, as the fills compute it.
double luminance(double red, double green, double blue);

}  // namespace kor::pixels
