// Pieces shared by the pixel fills: how a 16-bit monochrome sample is read,
// and the order in which column-major arrays are written.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "pixels.h"

namespace kor::pixels {

// Sample i of a 16-bit monochrome raw frame: its two bytes in the machine's
// (little-endian) order, or swapped, cut to the 12 significant bits.
inline uint16_t monoSample16(const uint8_t* raw, size_t i, bool swapBytes) {
    const uint8_t first = raw[2 * i], second = raw[2 * i + 1];
    const uint16_t sample =
        swapBytes ? static_cast<uint16_t>(first << 8 | second) : static_cast<uint16_t>(second << 8 | first);
    return static_cast<uint16_t>(sample & 0xFFF0);
}

// The array is column-major, so output writes are the cost: each visit of a
// block writes long runs down a few columns (256 bytes at least) while the
// picture rows it reads stay in the first-level cache. Array rows ascend, so
// the picture is read bottom-up. source(t, c, page) gives the element of
// picture row t, column c for each of the Pages pages.
template <unsigned Pages = 3, typename Out, typename Source>
void blockedFill(uint32_t width, uint32_t height, Out* out, ImageLayout layout, Source source) {
    constexpr uint32_t blockColumns = 16;
    constexpr uint32_t blockRows = 512 / sizeof(Out);
    for (uint32_t cb = 0; cb < width; cb += blockColumns) {
        const uint32_t cEnd = std::min(width, cb + blockColumns);
        for (uint32_t ib = 0; ib < height; ib += blockRows) {
            const uint32_t iEnd = std::min(height, ib + blockRows);
            for (uint32_t c = cb; c < cEnd; ++c) {
                Out* column = out + static_cast<size_t>(c) * layout.rows;
                for (unsigned page = 0; page < Pages; ++page) {
                    Out* dst = column + page * layout.pageStride;
                    for (uint32_t i = ib; i < iEnd; ++i) dst[i] = source(height - 1 - i, c, page);
                }
            }
        }
    }
}

}  // namespace kor::pixels
