#include "frame_pixels.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace korvid {
namespace {

struct Buffer {
    std::uint8_t* bytes;
    std::size_t size;
    std::size_t mapped;
};

#if defined(__linux__)
constexpr std::size_t kLargePage = std::size_t{2} << 20;

// `bytes` (a multiple of kLargePage) on pages of that size where the system
// gives them, or null. The kernel puts a large page only where one fits
// whole and aligned: the mapping is made a page longer, then trimmed to an
// aligned start.
std::uint8_t* mapLarge(std::size_t bytes) {
    void* raw = mmap(nullptr, bytes + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    auto* start = static_cast<std::uint8_t*>(raw);
    const std::size_t head = (kLargePage - reinterpret_cast<std::uintptr_t>(start) % kLargePage) % kLargePage;
    if (head != 0) munmap(start, head);
    munmap(start + head + bytes, kLargePage - head);
    // Advice only: without large pages the mapping works on small ones.
    madvise(start + head, bytes, MADV_HUGEPAGE);
    return start + head;
}

Buffer allocate(std::size_t size) {
    if (size >= kLargePage && size <= SIZE_MAX - 2 * kLargePage) {
        const std::size_t mapped = (size + kLargePage - 1) / kLargePage * kLargePage;
        if (std::uint8_t* bytes = mapLarge(mapped)) return {bytes, size, mapped};
    }
    return {new std::uint8_t[size == 0 ? 1 : size], size, 0};  // not value-initialized: the copy writes every byte
}

void deallocate(const Buffer& buffer) noexcept {
    if (buffer.mapped != 0)
        munmap(buffer.bytes, buffer.mapped);
    else
        delete[] buffer.bytes;
}
#else
Buffer allocate(std::size_t size) { return {new std::uint8_t[size == 0 ? 1 : size], size, 0}; }
void deallocate(const Buffer& buffer) noexcept { delete[] buffer.bytes; }
#endif

// At most this many bytes of buffers are kept: 8 frames of 1280 x 1024 colour.
constexpr std::size_t kSpareBytes = std::size_t{32} << 20;

struct Spares {
    std::mutex mutex;
    std::vector<Buffer> buffers;
    std::size_t bytes = 0;
};

Spares& spares() {
    static Spares* kept = new Spares;  // never destroyed: frames may go while the process exits
    return *kept;
}

bool takeSpare(std::size_t size, Buffer& buffer) {
    Spares& all = spares();
    std::lock_guard<std::mutex> lock(all.mutex);
    for (std::size_t k = 0; k < all.buffers.size(); ++k) {
        if (all.buffers[k].size != size) continue;
        buffer = all.buffers[k];
        all.buffers[k] = all.buffers.back();
        all.buffers.pop_back();
        all.bytes -= size;
        return true;
    }
    return false;
}

bool keepSpare(const Buffer& buffer) noexcept {
    Spares& all = spares();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (buffer.size > kSpareBytes - all.bytes) return false;
    try {
        all.buffers.push_back(buffer);
    } catch (...) {
        return false;
    }
    all.bytes += buffer.size;
    return true;
}

}  // namespace

FramePixels FramePixels::ofSize(std::size_t size) {
    Buffer buffer{};
    if (!takeSpare(size, buffer)) buffer = allocate(size);
    FramePixels pixels;
    pixels.bytes_ = buffer.bytes;
    pixels.size_ = size;
    pixels.mapped_ = buffer.mapped;
    return pixels;
}

FramePixels FramePixels::copyOf(const std::uint8_t* bytes, std::size_t size) {
    FramePixels pixels = ofSize(size);
    if (size != 0) std::memcpy(pixels.bytes_, bytes, size);
    return pixels;
}

FramePixels::~FramePixels() { release(); }

FramePixels::FramePixels(FramePixels&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

FramePixels& FramePixels::operator=(FramePixels&& other) noexcept {
    if (this != &other) {
        release();
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void FramePixels::release() noexcept {
    if (bytes_ == nullptr) return;
    const Buffer buffer{bytes_, size_, mapped_};
    if (!keepSpare(buffer)) deallocate(buffer);
    bytes_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

}  // namespace korvid
