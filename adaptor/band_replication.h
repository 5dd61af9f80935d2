// The monochrome path of an acquisition run: each 8-bit sample of the raw
// frame goes into all three bands of its colour pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace korvix {

// color holds 3 * pixelCount bytes and does not overlap raw.
inline void replicateBands(const std::uint8_t* raw, std::uint8_t* color, std::size_t pixelCount) {
    std::size_t i = 0;
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Eight pixels as three 64-bit words: byte-wise stores of three bands
    // cost more than taking the frame itself.
    constexpr std::uint64_t kThree = 0x010101u;
    constexpr std::uint64_t kTwo = 0x0101u;
    for (; i + 8 <= pixelCount; i += 8) {
        std::uint64_t s[8];
        for (int k = 0; k < 8; ++k) s[k] = raw[i + k];
        const std::uint64_t words[3] = {
            s[0] * kThree | (s[1] * kThree) << 24 | (s[2] * kTwo) << 48,
            s[2] | (s[3] * kThree) << 8 | (s[4] * kThree) << 32 | s[5] << 56,
            s[5] * kTwo | (s[6] * kThree) << 16 | (s[7] * kThree) << 40,
        };
        std::memcpy(color + 3 * i, words, sizeof words);
    }
#endif
    for (; i < pixelCount; ++i) {
        const std::uint8_t sample = raw[i];
        color[3 * i] = sample;
        color[3 * i + 1] = sample;
        color[3 * i + 2] = sample;
    }
}

}  // namespace korvix
