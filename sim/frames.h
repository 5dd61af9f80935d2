// Frames of the virtual cameras: the test pattern they deliver and the RGB
// conversion of the SDK.
//
// The pattern is a scene over the whole sensor: eight colour bars across
// (white, yellow, cyan, green, magenta, red, blue, black, left to right), each
// dimmed by a vertical ramp from full at the top of the sensor to a quarter at
// the bottom, with the frame number in a white box in the top left corner of
// the delivered region. Frames are delivered bottom row first (the last row of
// the buffer is the top of the picture), as device-independent bitmaps are.
// Colour sensors deliver a Bayer mosaic with red on even buffer rows and even
// columns (R G / G B cells); monochrome sensors the luma of the bars. 16-bit
// samples carry 12 significant bits in their top; the low four bits are noise.
#pragma once

#include "korcam.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace korcamsim::detail {

// Everything that decides the bytes of one frame.
struct FrameRecipe {
    uint32_t sensorWidth = 0;
    uint32_t sensorHeight = 0;
    FrameFormat format{};
    bool color = false;
    bool littleEndian = false;  // 16-bit samples: low byte first
    float brightness = 1.0f;    // from exposure and gain, see brightnessFactor
    uint64_t number = 0;        // drawn in the corner
};

// Delivered width and height (after binning); 0 when a factor is 0.
uint32_t deliveredWidth(const FrameFormat& format);
uint32_t deliveredHeight(const FrameFormat& format);
// Bytes of one raw frame: one per pixel, two for any pixel format but 0.
uint64_t frameBytes(const FrameFormat& format);

// Scene brightness for an exposure (ms) and gain: 1 at the default exposure
// and gain, growing logarithmically, limited to [1/16, 1.25].
float brightnessFactor(double exposure, double gain);

class FrameGenerator {
public:
    virtual ~FrameGenerator() = default;
    // Writes frameBytes(recipe.format) bytes. Safe to call from several threads.
    virtual void render(const FrameRecipe& recipe, uint8_t* buffer) = 0;
};

// The test pattern, with the frame-independent part kept per format so that
// a frame costs one copy plus the number box.
std::unique_ptr<FrameGenerator> makeTestPatternGenerator();

// Demosaic (colour) or replicate (monochrome) a raw frame into blue, green,
// red samples per pixel: bytes for pixel format 0, 16-bit samples in the
// machine's byte order, low four bits cleared, for pixel format 1.
void convertToBgr(const uint8_t* raw, uint32_t width, uint32_t height, uint32_t pixelFormat, bool color,
                  bool littleEndian, uint8_t* destination);

}  // namespace korcamsim::detail
