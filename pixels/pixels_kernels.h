// The implementations behind pixels.h, reachable one by one so that tests and
// benchmarks can hold each against the naive loops. The gateway itself calls
// only pixels.h, which picks the fastest kernel this processor runs.
#pragma once

#include "pixels.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KOR_PIXELS_HAVE_SSSE3 1
#define KOR_TARGET_SSSE3 __attribute__((target("ssse3")))
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#define KOR_PIXELS_HAVE_SSSE3 1
#define KOR_TARGET_SSSE3
#else
#define KOR_PIXELS_HAVE_SSSE3 0
#endif

namespace kor::pixels {

// The set of pixel functions of one implementation.
struct Kernels {
    const char* name;
    void (*buildMonoPicture8)(const uint8_t* raw, size_t pixelCount, uint8_t* picture);
    void (*buildMonoPicture16)(const uint8_t* raw, size_t sampleCount, bool swapBytes, uint16_t* picture);
    void (*fillImage8)(const uint8_t* picture, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout);
    void (*fillImage16)(const uint16_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout);
    void (*fillImage8To16)(const uint8_t* picture, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout);
    // The fills of a picture whose rows lie rowSamples samples apart.
    void (*fillImage8Strided)(const uint8_t* picture, size_t rowSamples, uint32_t width, uint32_t height, uint8_t* out,
                              ImageLayout layout);
    void (*fillImage16Strided)(const uint16_t* picture, size_t rowSamples, uint32_t width, uint32_t height,
                               uint16_t* out, ImageLayout layout);
    void (*fillMonoImage8)(const uint8_t* raw, uint32_t width, uint32_t height, uint8_t* out, ImageLayout layout);
    void (*fillMonoImage16)(const uint8_t* raw, uint32_t width, uint32_t height, bool swapBytes, uint16_t* out,
                            ImageLayout layout);
    void (*fillMonoImage8To16)(const uint8_t* raw, uint32_t width, uint32_t height, uint16_t* out, ImageLayout layout);
};

// One pixel at a time in picture order, exactly as the array fill is defined:
// the yardstick for every other implementation.
const Kernels& naiveKernels();
// Cache-blocked scalar loops; runs on any processor.
const Kernels& portableKernels();
// SSSE3 shuffles and in-register transposes; nullptr when this build or this
// processor lacks SSSE3.
const Kernels* ssse3Kernels();
// What pixels.h uses: SSSE3 when the processor has it, else portable.
const Kernels& activeKernels();
// The functions of pixels.h themselves, the active kernels split over
// threads for large images: what the gateway runs. No strided fills.
const Kernels& gatewayKernels();

}  // namespace kor::pixels
