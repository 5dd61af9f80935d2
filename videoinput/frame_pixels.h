// The pixels of one logged frame, in memory of their own: the engine keeps
// its frame for the adaptor's next image, so the adaptor always writes into
// memory in use, and the log copies each frame once.
//
// Frames of 2 MiB and more are mapped on their own, so that their memory
// goes back to the system when they go (the heap kept most of a long
// acquisition's frames resident after getdata had taken them), on 2 MiB pages
// where the system offers them: fresh memory costs one fault per page on its
// first touch, about a thousand 4 KiB faults per 1280 x 1024 colour frame,
// which cost more than the camera's whole frame on these machines. A few
// buffers of frames taken from the log are kept for the next frames of the
// same size, so that while getdata keeps up with an acquisition every frame
// lands in memory touched already.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvid {

class FramePixels {
public:
    FramePixels() = default;
    // A copy of `size` bytes; std::bad_alloc when the memory is not to be had.
    static FramePixels copyOf(const std::uint8_t* bytes, std::size_t size);
    // `size` bytes to be written by the caller; std::bad_alloc as copyOf.
    static FramePixels ofSize(std::size_t size);
    ~FramePixels();
    FramePixels(FramePixels&& other) noexcept;
    FramePixels& operator=(FramePixels&& other) noexcept;
    FramePixels(const FramePixels&) = delete;
    FramePixels& operator=(const FramePixels&) = delete;

    const std::uint8_t* data() const { return bytes_; }
    std::uint8_t* data() { return bytes_; }
    std::size_t size() const { return size_; }
    std::uint8_t operator[](std::size_t index) const { return bytes_[index]; }

private:
    void release() noexcept;
    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;  // bytes mapped on their own; 0: from the heap
};

}  // namespace korvid
