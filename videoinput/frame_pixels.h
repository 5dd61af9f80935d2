// The pixels of one logged frame, in memory of their own. Every logged frame
// needs memory the process has not used before (the log keeps them all), and
// the first touch of a fresh page is what such memory costs: one fault per
// 4 KiB page, about a thousand per 1280 x 1024 colour frame, which cost more
// than the camera's whole frame on these machines. Frames of 2 MiB and more
// are therefore mapped on 2 MiB pages where the system offers them (one fault
// per 2 MiB), smaller ones come from the heap.
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
    void free() noexcept;
    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;  // bytes mapped on large pages; 0: from the heap
};

}  // namespace korvid
