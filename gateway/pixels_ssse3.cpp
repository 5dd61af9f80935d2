// SSSE3 kernels. Each function carries its own target attribute, so the file
// builds with the compiler's default flags (the MEX build passes none) and
// the code runs only after the processor check below.
#include "pixels_kernels.h"

#if KOR_PIXELS_HAVE_SSSE3

#include <tmmintrin.h>

#include <algorithm>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

#if defined(__GNUC__) || defined(__clang__)
#define KOR_UNROLL _Pragma("GCC unroll 16")
#else
#define KOR_UNROLL
#endif

namespace kor::pixels {
namespace {

// Byte shuffles that gather one sample out of 48 bytes of three-sample
// pixels (16 pixels of 8 bits or 8 of 16 bits): [sample][source vector].
struct SplitMasks {
    alignas(16) int8_t bytes[3][3][16];
};

constexpr SplitMasks makeSplitMasks(int sampleBytes) {
    SplitMasks m{};
    const int pixelsPerVector = 16 / sampleBytes;
    for (int s = 0; s < 3; ++s)
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < pixelsPerVector; ++k)
                for (int b = 0; b < sampleBytes; ++b) {
                    const int source = (3 * k + s) * sampleBytes + b;
                    m.bytes[s][v][k * sampleBytes + b] = static_cast<int8_t>(source / 16 == v ? source % 16 : -128);
                }
    return m;
}

constexpr SplitMasks split8 = makeSplitMasks(1);
constexpr SplitMasks split16 = makeSplitMasks(2);

// Byte shuffles that repeat each sample of 16 bytes three times over 48
// bytes: [destination vector].
struct TripleMasks {
    alignas(16) int8_t bytes[3][16];
};

constexpr TripleMasks makeTripleMasks(int sampleBytes) {
    TripleMasks m{};
    for (int v = 0; v < 3; ++v)
        for (int b = 0; b < 16; ++b) {
            const int outByte = 16 * v + b;
            const int sample = outByte / sampleBytes / 3;
            m.bytes[v][b] = static_cast<int8_t>(sample * sampleBytes + outByte % sampleBytes);
        }
    return m;
}

constexpr TripleMasks triple8 = makeTripleMasks(1);
constexpr TripleMasks triple16 = makeTripleMasks(2);

KOR_TARGET_SSSE3 inline __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
KOR_TARGET_SSSE3 inline void store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

KOR_TARGET_SSSE3 inline __m128i splitSample(const void* pixels, const int8_t (*masks)[16]) {
    const uint8_t* bytes = static_cast<const uint8_t*>(pixels);
    const __m128i a = _mm_shuffle_epi8(load(bytes), load(masks[0]));
    const __m128i b = _mm_shuffle_epi8(load(bytes + 16), load(masks[1]));
    const __m128i c = _mm_shuffle_epi8(load(bytes + 32), load(masks[2]));
    return _mm_or_si128(_mm_or_si128(a, b), c);
}

// Sixteen vectors of 16 bytes as a 16x16 matrix, rows to columns: four
// rounds of the perfect shuffle.
KOR_TARGET_SSSE3 inline void transpose16x16(__m128i x[16]) {
    KOR_UNROLL for (int round = 0; round < 4; ++round) {
        __m128i y[16];
        KOR_UNROLL for (int k = 0; k < 8; ++k) {
            y[2 * k] = _mm_unpacklo_epi8(x[k], x[k + 8]);
            y[2 * k + 1] = _mm_unpackhi_epi8(x[k], x[k + 8]);
        }
        KOR_UNROLL for (int k = 0; k < 16; ++k) x[k] = y[k];
    }
}

// Eight vectors of eight 16-bit samples as an 8x8 matrix, rows to columns.
KOR_TARGET_SSSE3 inline void transpose8x8(__m128i x[8]) {
    KOR_UNROLL for (int round = 0; round < 3; ++round) {
        __m128i y[8];
        KOR_UNROLL for (int k = 0; k < 4; ++k) {
            y[2 * k] = _mm_unpacklo_epi16(x[k], x[k + 4]);
            y[2 * k + 1] = _mm_unpackhi_epi16(x[k], x[k + 4]);
        }
        KOR_UNROLL for (int k = 0; k < 8; ++k) x[k] = y[k];
    }
}

// 12 significant bits in the machine's order, from two raw bytes per sample.
KOR_TARGET_SSSE3 inline __m128i monoSamples16(const uint8_t* raw, bool swapBytes) {
    const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    __m128i v = load(raw);
    if (swapBytes) v = _mm_shuffle_epi8(v, swap);
    return _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFFF0)));
}

// Where the tiles of one image go: output column c of page p starts at
// out + c * rows + p * pageStride, and array row i comes from picture row
// height - 1 - i.
template <typename Out>
struct Target {
    Out* out;
    size_t rows;
    size_t pageStride;
    uint32_t height;
    Out* at(uint32_t column, unsigned page, uint32_t row) const {
        return out + static_cast<size_t>(column) * rows + page * pageStride + row;
    }
};

// A 16x16 block of 8-bit colour pixels into 16 rows of 16 columns on each
// page. Output type uint8_t copies, uint16_t widens as x * 257.
template <typename Out>
struct Colour8Tile {
    static constexpr uint32_t columns = 16, rows = 16;
    const uint8_t* picture;
    size_t rowBytes;
    Target<Out> target;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0) const {
        const uint8_t* bottom = picture + static_cast<size_t>(target.height - 1 - r0) * rowBytes + c0 * size_t{3};
        KOR_UNROLL for (unsigned page = 0; page < 3; ++page) {
            __m128i x[16];
            KOR_UNROLL for (int k = 0; k < 16; ++k) x[k] = splitSample(bottom - k * rowBytes, split8.bytes[2 - page]);
            transpose16x16(x);
            KOR_UNROLL for (int j = 0; j < 16; ++j) storeColumn(target.at(c0 + j, page, r0), x[j]);
        }
    }
    KOR_TARGET_SSSE3 static void storeColumn(uint8_t* dst, __m128i v) { store(dst, v); }
    KOR_TARGET_SSSE3 static void storeColumn(uint16_t* dst, __m128i v) {
        store(dst, _mm_unpacklo_epi8(v, v));
        store(dst + 8, _mm_unpackhi_epi8(v, v));
    }
};

// An 8x8 block of 16-bit colour pixels.
struct Colour16Tile {
    static constexpr uint32_t columns = 8, rows = 8;
    const uint16_t* picture;
    size_t rowSamples;
    Target<uint16_t> target;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0) const {
        const uint16_t* bottom = picture + static_cast<size_t>(target.height - 1 - r0) * rowSamples + c0 * size_t{3};
        KOR_UNROLL for (unsigned page = 0; page < 3; ++page) {
            __m128i x[8];
            KOR_UNROLL for (int k = 0; k < 8; ++k) x[k] = splitSample(bottom - k * rowSamples, split16.bytes[2 - page]);
            transpose8x8(x);
            KOR_UNROLL for (int j = 0; j < 8; ++j) store(target.at(c0 + j, page, r0), x[j]);
        }
    }
};

// A 16x16 block of 8-bit monochrome samples, the same on every page.
template <typename Out>
struct Mono8Tile {
    static constexpr uint32_t columns = 16, rows = 16;
    const uint8_t* raw;
    size_t rowBytes;
    Target<Out> target;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0) const {
        const uint8_t* bottom = raw + static_cast<size_t>(target.height - 1 - r0) * rowBytes + c0;
        __m128i x[16];
        KOR_UNROLL for (int k = 0; k < 16; ++k) x[k] = load(bottom - k * rowBytes);
        transpose16x16(x);
        KOR_UNROLL for (int j = 0; j < 16; ++j)
            KOR_UNROLL for (unsigned page = 0; page < 3; ++page)
                Colour8Tile<Out>::storeColumn(target.at(c0 + j, page, r0), x[j]);
    }
};

// An 8x8 block of 16-bit monochrome samples.
struct Mono16Tile {
    static constexpr uint32_t columns = 8, rows = 8;
    const uint8_t* raw;
    size_t rowBytes;
    bool swapBytes;
    Target<uint16_t> target;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0) const {
        const uint8_t* bottom = raw + static_cast<size_t>(target.height - 1 - r0) * rowBytes + c0 * size_t{2};
        __m128i x[8];
        KOR_UNROLL for (int k = 0; k < 8; ++k) x[k] = monoSamples16(bottom - k * rowBytes, swapBytes);
        transpose8x8(x);
        KOR_UNROLL for (int j = 0; j < 8; ++j)
            KOR_UNROLL for (unsigned page = 0; page < 3; ++page) store(target.at(c0 + j, page, r0), x[j]);
    }
};

// Column blocks outermost; within one, row blocks long enough that every
// visit writes a long run down each column, while the picture rows under the
// block stay cached. Array rows ascend, so the picture is read bottom-up. The
// last tile of a row or column is moved back to end at the image's edge: it
// writes some elements twice, with equal values. Needs an image at least one
// tile wide and high.
template <typename Tile>
KOR_TARGET_SSSE3 void tiled(const Tile& tile, uint32_t width, uint32_t height, size_t outBytes) {
    constexpr uint32_t blockColumns = 64;
    const uint32_t blockRows = static_cast<uint32_t>(std::max<size_t>(Tile::rows, 512 / outBytes));
    for (uint32_t cb = 0; cb < width; cb += blockColumns) {
        const uint32_t cEnd = std::min(width, cb + blockColumns);
        for (uint32_t rb = 0; rb < height; rb += blockRows) {
            const uint32_t rEnd = std::min(height, rb + blockRows);
            for (uint32_t c = cb; c < cEnd; c += Tile::columns) {
                const uint32_t c0 = std::min(c, width - Tile::columns);
                for (uint32_t r = rb; r < rEnd; r += Tile::rows) tile(c0, std::min(r, height - Tile::rows));
            }
        }
    }
}

template <typename Tile>
bool fitsTile(uint32_t width, uint32_t height) {
    return width >= Tile::columns && height >= Tile::rows;
}

KOR_TARGET_SSSE3 void buildMono8(const uint8_t* raw, size_t pixelCount, uint8_t* picture) {
    const __m128i m0 = load(triple8.bytes[0]), m1 = load(triple8.bytes[1]), m2 = load(triple8.bytes[2]);
    size_t i = 0;
    for (; i + 16 <= pixelCount; i += 16) {
        const __m128i v = load(raw + i);
        uint8_t* dst = picture + 3 * i;
        store(dst, _mm_shuffle_epi8(v, m0));
        store(dst + 16, _mm_shuffle_epi8(v, m1));
        store(dst + 32, _mm_shuffle_epi8(v, m2));
    }
    portableKernels().buildMonoPicture8(raw + i, pixelCount - i, picture + 3 * i);
}

KOR_TARGET_SSSE3 void buildMono16(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture) {
    const __m128i m0 = load(triple16.bytes[0]), m1 = load(triple16.bytes[1]), m2 = load(triple16.bytes[2]);
    size_t i = 0;
    for (; i + 8 <= sampleCount; i += 8) {
        const __m128i v = monoSamples16(raw + 2 * i, swapBytes);
        uint16_t* dst = picture + 3 * i;
        store(dst, _mm_shuffle_epi8(v, m0));
        store(dst + 8, _mm_shuffle_epi8(v, m1));
        store(dst + 16, _mm_shuffle_epi8(v, m2));
    }
    portableKernels().buildMonoPicture16(raw + 2 * i, sampleCount - i, swapBytes, picture + 3 * i);
}

template <typename Out>
Target<Out> targetOf(Out* out, ImageLayout layout, uint32_t height) {
    return Target<Out>{out, layout.rows, layout.pageStride, height};
}

void fill8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    using Tile = Colour8Tile<uint8_t>;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillImage8(picture, width, height, out, layout);
    tiled(Tile{picture, width * size_t{3}, targetOf(out, layout, height)}, width, height, 1);
}

void fill16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    using Tile = Colour16Tile;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillImage16(picture, width, height, out, layout);
    tiled(Tile{picture, width * size_t{3}, targetOf(out, layout, height)}, width, height, 2);
}

void fill8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    using Tile = Colour8Tile<uint16_t>;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillImage8To16(picture, width, height, out, layout);
    tiled(Tile{picture, width * size_t{3}, targetOf(out, layout, height)}, width, height, 2);
}

void fillMono8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    using Tile = Mono8Tile<uint8_t>;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillMonoImage8(raw, width, height, out, layout);
    tiled(Tile{raw, width, targetOf(out, layout, height)}, width, height, 1);
}

void fillMono16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                ImageLayout layout) {
    using Tile = Mono16Tile;
    if (!fitsTile<Tile>(width, height))
        return portableKernels().fillMonoImage16(raw, width, height, swapBytes, out, layout);
    tiled(Tile{raw, width * size_t{2}, swapBytes, targetOf(out, layout, height)}, width, height, 2);
}

void fillMono8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    using Tile = Mono8Tile<uint16_t>;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillMonoImage8To16(raw, width, height, out, layout);
    tiled(Tile{raw, width, targetOf(out, layout, height)}, width, height, 2);
}

bool processorHasSsse3() {
#if defined(_MSC_VER) && !defined(__clang__)
    int info[4];
    __cpuid(info, 1);
    return (info[2] & (1 << 9)) != 0;
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
#endif
}

}  // namespace

const Kernels* ssse3Kernels() {
    static const Kernels kernels{"ssse3",   buildMono8, buildMono16, fill8,        fill16,
                                 fill8To16, fillMono8,  fillMono16,  fillMono8To16};
    static const bool available = processorHasSsse3();
    return available ? &kernels : nullptr;
}

}  // namespace kor::pixels

#endif
