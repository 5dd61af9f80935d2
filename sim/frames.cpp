#include "frames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace korcamsim::detail {

namespace {

// Red, green, blue of the bars, left to right.
constexpr uint8_t kBars[8][3] = {
    {1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0},
};

// White of the scene at the default exposure: headroom for brighter settings.
constexpr double kNominalWhite = 200.0 / 255.0;
// The ramp dims the bottom of the sensor to this fraction of the top.
constexpr double kRampBottom = 0.25;

// Digits 0-9 in a 3x5 font, one row per entry, bit 2 = left column.
constexpr uint8_t kFont[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

// Frames up to this size keep their frame-independent part; larger ones are
// drawn in full every time rather than doubling the memory they need.
constexpr uint64_t kCachedFrameLimit = 32ull << 20;
constexpr std::size_t kCacheEntries = 6;

bool sixteenBit(const FrameFormat& format) { return format.pixelFormat != KORCAM_PIXEL_8BIT; }

int bayerSite(uint64_t row, uint64_t column) {
    // 0 red, 1 green, 2 blue: R G on even rows, G B on odd rows.
    if ((row & 1) == 0) return (column & 1) == 0 ? 0 : 1;
    return (column & 1) == 0 ? 1 : 2;
}

class SampleWriter {
public:
    SampleWriter(uint8_t* buffer, uint32_t width, bool wide, bool littleEndian)
        : buffer_(buffer), width_(width), wide_(wide), littleEndian_(littleEndian) {}

    // code: 8-bit value, or 12-bit value for 16-bit frames (noise added here).
    void put(uint64_t row, uint64_t column, uint32_t code, bool noise) const {
        const uint64_t index = row * width_ + column;
        if (!wide_) {
            buffer_[index] = static_cast<uint8_t>(code);
            return;
        }
        uint32_t sample = code << 4;
        if (noise) sample |= static_cast<uint32_t>((column + 3 * row) & 0xF);
        uint8_t* p = buffer_ + 2 * index;
        if (littleEndian_) {
            p[0] = static_cast<uint8_t>(sample);
            p[1] = static_cast<uint8_t>(sample >> 8);
        } else {
            p[0] = static_cast<uint8_t>(sample >> 8);
            p[1] = static_cast<uint8_t>(sample);
        }
    }

private:
    uint8_t* buffer_;
    uint64_t width_;
    bool wide_;
    bool littleEndian_;
};

void renderScene(const FrameRecipe& recipe, uint8_t* buffer) {
    const FrameFormat& f = recipe.format;
    const uint32_t width = deliveredWidth(f);
    const uint32_t height = deliveredHeight(f);
    if (width == 0 || height == 0) return;
    const bool wide = sixteenBit(f);
    const double maxCode = wide ? 4095.0 : 255.0;
    const uint64_t sensorWidth = std::max<uint32_t>(recipe.sensorWidth, 1);
    const uint64_t sensorHeight = std::max<uint32_t>(recipe.sensorHeight, 1);
    const SampleWriter writer(buffer, width, wide, recipe.littleEndian);

    std::vector<uint8_t> barOfColumn(width);
    for (uint32_t x = 0; x < width; ++x) {
        const uint64_t sx = f.xOffset + static_cast<uint64_t>(x) * f.xBinSub;
        barOfColumn[x] = static_cast<uint8_t>(std::min<uint64_t>(7, sx * 8 / sensorWidth));
    }

    uint32_t codes[3][8];  // per Bayer site (or [0] for monochrome) and bar
    for (uint32_t row = 0; row < height; ++row) {
        const uint64_t sceneRow = height - 1 - row;
        const uint64_t sy = std::min<uint64_t>(f.yOffset + sceneRow * f.yBinSub, sensorHeight - 1);
        const double ramp = 1.0 - (1.0 - kRampBottom) * static_cast<double>(sy) /
                                      static_cast<double>(std::max<uint64_t>(sensorHeight - 1, 1));
        const double level = std::min(1.0, kNominalWhite * recipe.brightness * ramp);
        for (int bar = 0; bar < 8; ++bar) {
            if (recipe.color) {
                for (int site = 0; site < 3; ++site)
                    codes[site][bar] = static_cast<uint32_t>(level * kBars[bar][site] * maxCode + 0.5);
            } else {
                const double luma = 0.299 * kBars[bar][0] + 0.587 * kBars[bar][1] + 0.114 * kBars[bar][2];
                codes[0][bar] = static_cast<uint32_t>(level * luma * maxCode + 0.5);
            }
        }
        for (uint32_t x = 0; x < width; ++x) {
            const int site = recipe.color ? bayerSite(row, x) : 0;
            writer.put(row, x, codes[site][barOfColumn[x]], true);
        }
    }
}

void stampNumber(const FrameRecipe& recipe, uint8_t* buffer) {
    const FrameFormat& f = recipe.format;
    const uint32_t width = deliveredWidth(f);
    const uint32_t height = deliveredHeight(f);
    if (width == 0 || height == 0) return;
    char digits[24];
    int count = 0;
    uint64_t n = recipe.number;
    do {
        digits[count++] = static_cast<char>(n % 10);
        n /= 10;
    } while (n != 0);
    std::reverse(digits, digits + count);

    const uint32_t scale = std::max<uint32_t>(1, std::min(width, height) / 100);
    const uint64_t boxWidth = std::min<uint64_t>(width, static_cast<uint64_t>(count * 4 + 1) * scale);
    const uint64_t boxHeight = std::min<uint64_t>(height, 7ull * scale);
    const bool wide = sixteenBit(f);
    const uint32_t white = wide ? 4095 : 255;
    const SampleWriter writer(buffer, width, wide, recipe.littleEndian);
    for (uint64_t sceneRow = 0; sceneRow < boxHeight; ++sceneRow) {
        const uint64_t row = height - 1 - sceneRow;
        const uint64_t glyphRow = sceneRow / scale;  // 0..6; the glyph uses 1..5
        for (uint64_t x = 0; x < boxWidth; ++x) {
            const uint64_t cell = x / scale;  // 4 cells per digit after a 1-cell margin
            bool ink = false;
            if (glyphRow >= 1 && glyphRow <= 5 && cell >= 1 && (cell - 1) % 4 < 3) {
                const uint64_t digit = (cell - 1) / 4;
                const uint64_t column = (cell - 1) % 4;
                ink = (kFont[static_cast<int>(digits[digit])][glyphRow - 1] >> (2 - column)) & 1;
            }
            writer.put(row, x, ink ? 0 : white, false);
        }
    }
}

bool sameScene(const FrameRecipe& a, const FrameRecipe& b) {
    return a.sensorWidth == b.sensorWidth && a.sensorHeight == b.sensorHeight && a.color == b.color &&
           a.littleEndian == b.littleEndian && a.brightness == b.brightness && a.format.xOffset == b.format.xOffset &&
           a.format.yOffset == b.format.yOffset && a.format.width == b.format.width &&
           a.format.height == b.format.height && a.format.pixelFormat == b.format.pixelFormat &&
           a.format.xBinSub == b.format.xBinSub && a.format.yBinSub == b.format.yBinSub;
}

class TestPatternGenerator final : public FrameGenerator {
public:
    void render(const FrameRecipe& recipe, uint8_t* buffer) override {
        const uint64_t bytes = frameBytes(recipe.format);
        if (bytes == 0) return;
        if (bytes > kCachedFrameLimit) {
            renderScene(recipe, buffer);
        } else {
            const std::shared_ptr<const std::vector<uint8_t>> scene = sceneFor(recipe);
            std::memcpy(buffer, scene->data(), scene->size());
        }
        stampNumber(recipe, buffer);
    }

private:
    struct Entry {
        FrameRecipe recipe;
        std::shared_ptr<const std::vector<uint8_t>> scene;
    };

    std::shared_ptr<const std::vector<uint8_t>> sceneFor(const FrameRecipe& recipe) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::size_t i = 0; i < entries_.size(); ++i) {
                if (sameScene(entries_[i].recipe, recipe)) {
                    std::rotate(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(i),
                                entries_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                    return entries_.front().scene;
                }
            }
        }
        // Drawn outside the lock: other cameras keep streaming meanwhile.
        auto scene = std::make_shared<std::vector<uint8_t>>(static_cast<std::size_t>(frameBytes(recipe.format)));
        renderScene(recipe, scene->data());
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.insert(entries_.begin(), Entry{recipe, scene});
        if (entries_.size() > kCacheEntries) entries_.pop_back();
        return scene;
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;  // most recently used first
};

// Reads 8-bit samples, or 16-bit samples in the camera's byte order with the
// noise bits cleared.
template <bool Wide>
class SampleReader {
public:
    SampleReader(const uint8_t* raw, uint32_t width, bool littleEndian)
        : raw_(raw), width_(width), littleEndian_(littleEndian) {}

    uint32_t at(uint64_t row, uint64_t column) const {
        const uint64_t index = row * width_ + column;
        if (!Wide) return raw_[index];
        const uint8_t* p = raw_ + 2 * index;
        const uint32_t sample = littleEndian_ ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]);
        return sample & 0xFFF0;
    }

private:
    const uint8_t* raw_;
    uint64_t width_;
    bool littleEndian_;
};

template <bool Wide>
class PixelWriter {
public:
    explicit PixelWriter(uint8_t* destination) : destination_(destination) {}

    void put(uint64_t pixel, uint32_t blue, uint32_t green, uint32_t red) const {
        if (!Wide) {
            uint8_t* p = destination_ + 3 * pixel;
            p[0] = static_cast<uint8_t>(blue);
            p[1] = static_cast<uint8_t>(green);
            p[2] = static_cast<uint8_t>(red);
        } else {
            const uint16_t samples[3] = {static_cast<uint16_t>(blue), static_cast<uint16_t>(green),
                                         static_cast<uint16_t>(red)};
            std::memcpy(destination_ + 6 * pixel, samples, sizeof samples);
        }
    }

private:
    uint8_t* destination_;
};

template <bool Wide>
uint32_t meanGreen(uint32_t a, uint32_t b) {
    const uint32_t mean = (a + b) / 2;
    return Wide ? mean & 0xFFF0 : mean;
}

// The first row or column of the 2x2 cell a pixel takes its colours from; an
// odd last row or column borrows the cell before it.
uint64_t cellStart(uint32_t index, uint32_t size) {
    uint32_t start = index & ~1u;
    if (start + 1 >= size && start >= 2) start -= 2;
    return start;
}

// One pixel: red and blue of its cell, its own green or the mean of the
// cell's two greens.
template <bool Wide>
void demosaicPixel(const SampleReader<Wide>& in, const PixelWriter<Wide>& out, uint32_t width, uint32_t height,
                   uint32_t row, uint32_t column) {
    const uint64_t top = cellStart(row, height);
    const uint64_t bottom = std::min<uint64_t>(top + 1, height - 1);
    const uint64_t left = cellStart(column, width);
    const uint64_t right = std::min<uint64_t>(left + 1, width - 1);
    const uint32_t green =
        bayerSite(row, column) == 1 ? in.at(row, column) : meanGreen<Wide>(in.at(top, right), in.at(bottom, left));
    out.put(static_cast<uint64_t>(row) * width + column, in.at(bottom, right), green, in.at(top, left));
}

template <bool Wide>
void demosaic(const SampleReader<Wide>& in, const PixelWriter<Wide>& out, uint32_t width, uint32_t height) {
    for (uint32_t top = 0; top < height; top += 2) {
        if (top + 1 >= height) {
            for (uint32_t column = 0; column < width; ++column) demosaicPixel(in, out, width, height, top, column);
            break;
        }
        const uint64_t upper = static_cast<uint64_t>(top) * width;
        const uint64_t lower = upper + width;
        uint32_t left = 0;
        for (; left + 1 < width; left += 2) {
            const uint32_t red = in.at(top, left);
            const uint32_t green1 = in.at(top, left + 1);
            const uint32_t green2 = in.at(top + 1, left);
            const uint32_t blue = in.at(top + 1, left + 1);
            const uint32_t mean = meanGreen<Wide>(green1, green2);
            out.put(upper + left, blue, mean, red);
            out.put(upper + left + 1, blue, green1, red);
            out.put(lower + left, blue, green2, red);
            out.put(lower + left + 1, blue, mean, red);
        }
        if (left < width) {
            demosaicPixel(in, out, width, height, top, left);
            demosaicPixel(in, out, width, height, top + 1, left);
        }
    }
}

template <bool Wide>
void convert(const uint8_t* raw, uint32_t width, uint32_t height, bool color, bool littleEndian, uint8_t* destination) {
    const SampleReader<Wide> in(raw, width, littleEndian);
    const PixelWriter<Wide> out(destination);
    if (color) {
        demosaic(in, out, width, height);
        return;
    }
    for (uint32_t row = 0; row < height; ++row) {
        for (uint32_t column = 0; column < width; ++column) {
            const uint32_t v = in.at(row, column);
            out.put(static_cast<uint64_t>(row) * width + column, v, v, v);
        }
    }
}

}  // namespace

uint32_t deliveredWidth(const FrameFormat& format) { return format.xBinSub == 0 ? 0 : format.width / format.xBinSub; }

uint32_t deliveredHeight(const FrameFormat& format) { return format.yBinSub == 0 ? 0 : format.height / format.yBinSub; }

uint64_t frameBytes(const FrameFormat& format) {
    return static_cast<uint64_t>(deliveredWidth(format)) * deliveredHeight(format) * (sixteenBit(format) ? 2u : 1u);
}

float brightnessFactor(double exposure, double gain) {
    constexpr double kDefaultExposure = 10.0;
    const double light = exposure / kDefaultExposure * gain;
    if (!(light > 0)) return 1.0f / 16;  // NaN and non-positive settings
    const double factor = 1.0 + std::log2(light) / 8.0;
    return static_cast<float>(std::clamp(factor, 1.0 / 16, 1.25));
}

std::unique_ptr<FrameGenerator> makeTestPatternGenerator() { return std::make_unique<TestPatternGenerator>(); }

void convertToBgr(const uint8_t* raw, uint32_t width, uint32_t height, uint32_t pixelFormat, bool color,
                  bool littleEndian, uint8_t* destination) {
    if (width == 0 || height == 0) return;
    if (pixelFormat == KORCAM_PIXEL_8BIT)
        convert<false>(raw, width, height, color, littleEndian, destination);
    else
        convert<true>(raw, width, height, color, littleEndian, destination);
}

}  // namespace korcamsim::detail
