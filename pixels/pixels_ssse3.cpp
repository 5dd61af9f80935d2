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

// Where tiles write: element (row, column, page) at
// base + column * columnStride + page * pageStride + row. Either the array
// or a small staging block.
template <typename Out>
struct Sink {
    Out* base;
    size_t columnStride;
    size_t pageStride;
    Out* at(uint32_t column, unsigned page, uint32_t row) const {
        return base + static_cast<size_t>(column) * columnStride + page * pageStride + row;
    }
};

KOR_TARGET_SSSE3 inline void storeColumn(uint8_t* dst, __m128i v) { store(dst, v); }
// Widens 16 bytes to 16 words x * 257: each byte paired with itself.
KOR_TARGET_SSSE3 inline void storeColumn(uint16_t* dst, __m128i v) {
    store(dst, _mm_unpacklo_epi8(v, v));
    store(dst + 8, _mm_unpackhi_epi8(v, v));
}

// A tile covers `columns` picture columns and `rows` array rows from (c0,
// r0); array row r comes from picture row height - 1 - r. It writes sink
// columns from sinkColumn and sink rows from sinkRow.
//
// Transposing a block of three-sample pixels as plain bytes (or 16-bit
// words) splits the samples as well: transposed vector b holds one sample
// position of the block's picture rows, sample b % 3 of pixel b / 3, which
// is a run of array rows in column b / 3 of page 2 - b % 3. No shuffles.

// 16 picture rows of 16 8-bit colour pixels (48 bytes each). Output type
// uint8_t copies, uint16_t widens.
template <typename Out>
struct Colour8Tile {
    using Output = Out;
    static constexpr uint32_t columns = 16, rows = 16;
    const uint8_t* picture;
    size_t rowBytes;
    uint32_t height;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0, const Sink<Out>& sink, uint32_t sinkColumn,
                                     uint32_t sinkRow) const {
        const uint8_t* bottom = picture + static_cast<size_t>(height - 1 - r0) * rowBytes + c0 * size_t{3};
        KOR_UNROLL for (int third = 0; third < 3; ++third) {
            __m128i x[16];
            KOR_UNROLL for (int k = 0; k < 16; ++k) x[k] = load(bottom - k * rowBytes + 16 * third);
            transpose16x16(x);
            KOR_UNROLL for (int j = 0; j < 16; ++j) {
                const int b = 16 * third + j;
                storeColumn(sink.at(sinkColumn + b / 3, 2 - b % 3, sinkRow), x[j]);
            }
        }
    }
};

// 8 picture rows of 8 16-bit colour pixels (48 bytes each).
struct Colour16Tile {
    using Output = uint16_t;
    static constexpr uint32_t columns = 8, rows = 8;
    const uint16_t* picture;
    size_t rowSamples;
    uint32_t height;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0, const Sink<uint16_t>& sink, uint32_t sinkColumn,
                                     uint32_t sinkRow) const {
        const uint16_t* bottom = picture + static_cast<size_t>(height - 1 - r0) * rowSamples + c0 * size_t{3};
        KOR_UNROLL for (int third = 0; third < 3; ++third) {
            __m128i x[8];
            KOR_UNROLL for (int k = 0; k < 8; ++k) x[k] = load(bottom - k * rowSamples + 8 * third);
            transpose8x8(x);
            KOR_UNROLL for (int j = 0; j < 8; ++j) {
                const int e = 8 * third + j;
                store(sink.at(sinkColumn + e / 3, 2 - e % 3, sinkRow), x[j]);
            }
        }
    }
};

// 16x16 8-bit monochrome samples, the same on every page.
template <typename Out>
struct Mono8Tile {
    using Output = Out;
    static constexpr uint32_t columns = 16, rows = 16;
    const uint8_t* raw;
    size_t rowBytes;
    uint32_t height;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0, const Sink<Out>& sink, uint32_t sinkColumn,
                                     uint32_t sinkRow) const {
        const uint8_t* bottom = raw + static_cast<size_t>(height - 1 - r0) * rowBytes + c0;
        __m128i x[16];
        KOR_UNROLL for (int k = 0; k < 16; ++k) x[k] = load(bottom - k * rowBytes);
        transpose16x16(x);
        KOR_UNROLL for (int j = 0; j < 16; ++j) KOR_UNROLL for (unsigned page = 0; page < 3; ++page)
            storeColumn(sink.at(sinkColumn + j, page, sinkRow), x[j]);
    }
};

// 8x8 16-bit monochrome samples.
struct Mono16Tile {
    using Output = uint16_t;
    static constexpr uint32_t columns = 8, rows = 8;
    const uint8_t* raw;
    size_t rowBytes;
    uint32_t height;
    bool swapBytes;
    KOR_TARGET_SSSE3 void operator()(uint32_t c0, uint32_t r0, const Sink<uint16_t>& sink, uint32_t sinkColumn,
                                     uint32_t sinkRow) const {
        const uint8_t* bottom = raw + static_cast<size_t>(height - 1 - r0) * rowBytes + c0 * size_t{2};
        __m128i x[8];
        KOR_UNROLL for (int k = 0; k < 8; ++k) x[k] = monoSamples16(bottom - k * rowBytes, swapBytes);
        transpose8x8(x);
        KOR_UNROLL for (int j = 0; j < 8; ++j) KOR_UNROLL for (unsigned page = 0; page < 3; ++page)
            store(sink.at(sinkColumn + j, page, sinkRow), x[j]);
    }
};

// Runs of this many bytes down each column per visit: long enough for the
// write-combining and prefetch hardware, short enough for the staging block
// to stay in the first-level cache.
constexpr size_t runBytes = 256;
// Arrays above this size bypass the caches (non-temporal stores): they are
// far larger than any cache, and write-allocating them would read every
// line first.
constexpr size_t streamingBytes = size_t{24} << 20;

bool isAligned(const void* p, size_t alignment) { return reinterpret_cast<uintptr_t>(p) % alignment == 0; }

// Column blocks of one tile width outermost; down each block, in runs of
// runBytes per column. Array rows ascend, so the picture is read bottom-up,
// and each run's picture rows are read once. A run is transposed into a
// staging block in the first-level cache and then written out column by
// column, each run contiguous, so that every output line is written whole
// at once: straight writes of 16-byte pieces into 48 columns at once thrash
// the cache when the column length is a power of two. Large arrays whose
// columns start on 64-byte lines take non-temporal stores.
//
// The last tile of a row or column range is moved back to end at the image's
// edge: it writes some elements twice, with equal values. Needs an image at
// least one tile wide and high.
template <typename Tile>
KOR_TARGET_SSSE3 void tiled(const Tile& tile, uint32_t width, uint32_t height, const Sink<typename Tile::Output>& out) {
    using Out = typename Tile::Output;
    constexpr uint32_t runRows = runBytes / sizeof(Out);
    constexpr uint32_t runSlots = Tile::columns * 3;
    alignas(64) Out stage[runSlots * runRows];
    const Sink<Out> staging{stage, runRows, size_t{Tile::columns} * runRows};

    // The whole array decides, not this call's part of it: a band of a large
    // image streams as the whole image would.
    const size_t arrayBytes = size_t{3} * out.pageStride * sizeof(Out);
    const bool streaming = arrayBytes >= streamingBytes && isAligned(out.base, 16) &&
                           out.columnStride * sizeof(Out) % 64 == 0 && out.pageStride * sizeof(Out) % 64 == 0;
    // Rows before the first line boundary of every column.
    const uint32_t head =
        streaming ? static_cast<uint32_t>((64 - reinterpret_cast<uintptr_t>(out.base) % 64) % 64 / sizeof(Out)) : 0;

    auto direct = [&](uint32_t c0, uint32_t rBegin, uint32_t rEnd) KOR_TARGET_SSSE3 {
        for (uint32_t r = rBegin; r < rEnd; r += Tile::rows) {
            const uint32_t r0 = std::min(r, height - Tile::rows);
            tile(c0, r0, out, c0, r0);
        }
    };

    const uint32_t fullColumns = width / Tile::columns * Tile::columns;
    for (uint32_t c0 = 0; c0 < fullColumns; c0 += Tile::columns) {
        direct(c0, 0, std::min(head, height));
        uint32_t r = std::min(head, height);
        for (; r + runRows <= height; r += runRows) {
            for (uint32_t k = 0; k < runRows; k += Tile::rows) tile(c0, r + k, staging, 0, k);
            for (uint32_t slot = 0; slot < runSlots; ++slot) {
                const uint32_t column = slot % Tile::columns;
                const unsigned page = slot / Tile::columns;
                const __m128i* from = reinterpret_cast<const __m128i*>(staging.at(column, page, 0));
                __m128i* to = reinterpret_cast<__m128i*>(out.at(c0 + column, page, r));
                if (streaming) {
                    KOR_UNROLL for (size_t i = 0; i < runBytes / 16; ++i)
                        _mm_stream_si128(to + i, _mm_load_si128(from + i));
                } else {
                    KOR_UNROLL for (size_t i = 0; i < runBytes / 16; ++i)
                        _mm_storeu_si128(to + i, _mm_load_si128(from + i));
                }
            }
        }
        direct(c0, r, height);
    }
    if (fullColumns < width) {
        const uint32_t c0 = width - Tile::columns;
        for (uint32_t r = 0; r < height; r += Tile::rows) {
            const uint32_t r0 = std::min(r, height - Tile::rows);
            tile(c0, r0, out, c0, r0);
        }
    }
    if (streaming) _mm_sfence();
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
Sink<Out> sinkOf(Out* out, ImageLayout layout) {
    return Sink<Out>{out, layout.rows, layout.pageStride};
}

void fill8Strided(const uint8_t* picture, size_t rowSamples, uint32_t width, uint32_t height, uint8_t* out,
                  ImageLayout layout) {
    using Tile = Colour8Tile<uint8_t>;
    if (!fitsTile<Tile>(width, height))
        return portableKernels().fillImage8Strided(picture, rowSamples, width, height, out, layout);
    tiled(Tile{picture, rowSamples, height}, width, height, sinkOf(out, layout));
}

void fill16Strided(const uint16_t* picture, size_t rowSamples, uint32_t width, uint32_t height, uint16_t* out,
                   ImageLayout layout) {
    using Tile = Colour16Tile;
    if (!fitsTile<Tile>(width, height))
        return portableKernels().fillImage16Strided(picture, rowSamples, width, height, out, layout);
    tiled(Tile{picture, rowSamples, height}, width, height, sinkOf(out, layout));
}

void fill8(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    fill8Strided(picture, width * size_t{3}, width, height, out, layout);
}

void fill16(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    fill16Strided(picture, width * size_t{3}, width, height, out, layout);
}

void fill8To16(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    using Tile = Colour8Tile<uint16_t>;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillImage8To16(picture, width, height, out, layout);
    tiled(Tile{picture, width * size_t{3}, height}, width, height, sinkOf(out, layout));
}

void fillMono8(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout) {
    using Tile = Mono8Tile<uint8_t>;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillMonoImage8(raw, width, height, out, layout);
    tiled(Tile{raw, width, height}, width, height, sinkOf(out, layout));
}

void fillMono16(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                ImageLayout layout) {
    using Tile = Mono16Tile;
    if (!fitsTile<Tile>(width, height))
        return portableKernels().fillMonoImage16(raw, width, height, swapBytes, out, layout);
    tiled(Tile{raw, width * size_t{2}, height, swapBytes}, width, height, sinkOf(out, layout));
}

void fillMono8To16(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout) {
    using Tile = Mono8Tile<uint16_t>;
    if (!fitsTile<Tile>(width, height)) return portableKernels().fillMonoImage8To16(raw, width, height, out, layout);
    tiled(Tile{raw, width, height}, width, height, sinkOf(out, layout));
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
    static const Kernels kernels{"ssse3",      buildMono8,    buildMono16, fill8,      fill16,       fill8To16,
                                 fill8Strided, fill16Strided, fillMono8,   fillMono16, fillMono8To16};
    static const bool available = processorHasSsse3();
    return available ? &kernels : nullptr;
}

}  // namespace kor::pixels

#endif
