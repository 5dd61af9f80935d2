// The pixels of one logged frame, in memory of their own: the engine keeps
// its frame for the adaptor's next image, so the adaptor always writes into
// memory in use, and the log copies each frame once. A few buffers of frames
// taken from the log are kept for the next frames of the same size: while
// getdata keeps up with an acquisition, every frame lands in memory the
// process has touched already (the first touch of fresh memory costs the
// system more than the copy). Few, so that the process gives back what a
// large getdata freed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvid {

class FramePixels {
public:
    FramePixels() = default;
    // A copy of `size` bytes; std::bad_alloc when the memory is not to be had.
    static FramePixels copyOf(const std::uint8_t* bytes, std::size_t size);
    ~FramePixels();
    FramePixels(FramePixels&& other) noexcept;
    FramePixels& operator=(FramePixels&& other) noexcept;
    FramePixels(const FramePixels&) = delete;
    FramePixels& operator=(const FramePixels&) = delete;

    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    std::uint8_t operator[](std::size_t index) const { return bytes_[index]; }

private:
    void release() noexcept;
    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace korvid
