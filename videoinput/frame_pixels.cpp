#include "frame_pixels.h"

#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace korvid {
namespace {

// At most this many bytes of buffers are kept: 8 frames of 1280 x 1024 colour.
constexpr std::size_t kSpareBytes = std::size_t{32} << 20;

struct Spare {
    std::uint8_t* bytes;
    std::size_t size;
};

struct Spares {
    std::mutex mutex;
    std::vector<Spare> buffers;
    std::size_t bytes = 0;
};

Spares& spares() {
    static Spares* kept = new Spares;  // never destroyed: frames may go while the process exits
    return *kept;
}

std::uint8_t* takeSpare(std::size_t size) {
    Spares& all = spares();
    std::lock_guard<std::mutex> lock(all.mutex);
    for (std::size_t k = 0; k < all.buffers.size(); ++k) {
        if (all.buffers[k].size != size) continue;
        std::uint8_t* bytes = all.buffers[k].bytes;
        all.buffers[k] = all.buffers.back();
        all.buffers.pop_back();
        all.bytes -= size;
        return bytes;
    }
    return nullptr;
}

bool keepSpare(std::uint8_t* bytes, std::size_t size) noexcept {
    Spares& all = spares();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (size > kSpareBytes - all.bytes) return false;
    try {
        all.buffers.push_back({bytes, size});
    } catch (...) {
        return false;
    }
    all.bytes += size;
    return true;
}

}  // namespace

FramePixels FramePixels::copyOf(const std::uint8_t* bytes, std::size_t size) {
    FramePixels pixels;
    pixels.bytes_ = takeSpare(size);
    // Not value-initialized: the copy writes every byte.
    if (pixels.bytes_ == nullptr) pixels.bytes_ = new std::uint8_t[size == 0 ? 1 : size];
    pixels.size_ = size;
    if (size != 0) std::memcpy(pixels.bytes_, bytes, size);
    return pixels;
}

FramePixels::~FramePixels() { release(); }

FramePixels::FramePixels(FramePixels&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)) {}

FramePixels& FramePixels::operator=(FramePixels&& other) noexcept {
    if (this != &other) {
        release();
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void FramePixels::release() noexcept {
    if (bytes_ != nullptr && !keepSpare(bytes_, size_)) delete[] bytes_;
    bytes_ = nullptr;
    size_ = 0;
}

}  // namespace korvid
