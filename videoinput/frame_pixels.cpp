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
#endif

// Buffers of frames taken from the log, kept for the next frames of the same
// size: while getdata keeps up with an acquisition, every frame lands in
// memory the process has touched already. Few, so that the process gives
// back what a large getdata freed.
constexpr std::size_t kSpareBytes = std::size_t{32} << 20;

struct Spare {
    std::uint8_t* bytes;
    std::size_t size;
    std::size_t mapped;
};

struct Spares {
    std::mutex mutex;
    std::vector<Spare> buffers;
    std::size_t bytes = 0;
};

Spares& spares() {
    static Spares* kept = new Spares;  // never destroyed: frames may be freed during the process's exit
    return *kept;
}

bool takeSpare(std::size_t size, Spare& spare) {
    Spares& all = spares();
    std::lock_guard<std::mutex> lock(all.mutex);
    for (std::size_t k = 0; k < all.buffers.size(); ++k) {
        if (all.buffers[k].size != size) continue;
        spare = all.buffers[k];
        all.buffers[k] = all.buffers.back();
        all.buffers.pop_back();
        all.bytes -= spare.size;
        return true;
    }
    return false;
}

bool keepSpare(const Spare& spare) noexcept {
    Spares& all = spares();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (all.bytes + spare.size > kSpareBytes) return false;
    try {
        all.buffers.push_back(spare);
    } catch (...) {
        return false;
    }
    all.bytes += spare.size;
    return true;
}

}  // namespace

FramePixels FramePixels::copyOf(const std::uint8_t* bytes, std::size_t size) {
    FramePixels pixels;
    if (Spare spare{}; takeSpare(size, spare)) {
        pixels.bytes_ = spare.bytes;
        pixels.mapped_ = spare.mapped;
    }
#if defined(__linux__)
    if (pixels.bytes_ == nullptr && size >= kLargePage && size <= SIZE_MAX - kLargePage) {
        const std::size_t mapped = (size + kLargePage - 1) / kLargePage * kLargePage;
        pixels.bytes_ = mapLarge(mapped);
        if (pixels.bytes_ != nullptr) pixels.mapped_ = mapped;
    }
#endif
    if (pixels.bytes_ == nullptr) pixels.bytes_ = new std::uint8_t[size == 0 ? 1 : size];
    pixels.size_ = size;
    if (size != 0) std::memcpy(pixels.bytes_, bytes, size);
    return pixels;
}

FramePixels::~FramePixels() { free(); }

FramePixels::FramePixels(FramePixels&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

FramePixels& FramePixels::operator=(FramePixels&& other) noexcept {
    if (this != &other) {
        free();
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void FramePixels::free() noexcept {
    if (bytes_ == nullptr) return;
    if (keepSpare({bytes_, size_, mapped_})) {
        bytes_ = nullptr;
        return;
    }
#if defined(__linux__)
    if (mapped_ != 0) {
        munmap(bytes_, mapped_);
        bytes_ = nullptr;
        return;
    }
#endif
    delete[] bytes_;
    bytes_ = nullptr;
}

}  // namespace korvid
