// Working buffers of the gateway: owned, released on every path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace kor {

// The gateway runs in a 32-bit MATLAB process: no single block larger than
// this can be obtained there, so larger requests are refused everywhere.
constexpr uint64_t kMaxBufferBytes = 0x7FFFFFFFu;

// A malloc'ed block that is freed when the owner goes out of scope. An
// allocation that fails (or asks for more than kMaxBufferBytes) leaves the
// buffer empty; the caller raises its own message.
class Buffer {
public:
    Buffer() = default;
    explicit Buffer(uint64_t bytes) { allocate(bytes); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    Buffer(Buffer&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    Buffer& operator=(Buffer&& other) noexcept {
        if (this != &other) {
            reset();
            data_ = other.data_;
            size_ = other.size_;
            other.data_ = nullptr;
            other.size_ = 0;
        }
        return *this;
    }
    ~Buffer() { reset(); }

    bool allocate(uint64_t bytes) {
        reset();
        if (bytes > kMaxBufferBytes) return false;
        // An empty frame still gets a valid block: malloc(0) may answer null.
        data_ = static_cast<uint8_t*>(std::malloc(bytes == 0 ? 1 : static_cast<size_t>(bytes)));
        if (data_) size_ = static_cast<size_t>(bytes);
        return data_ != nullptr;
    }
    void reset() {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
    }
    explicit operator bool() const { return data_ != nullptr; }
    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    template <typename T>
    T* as() const {
        return reinterpret_cast<T*>(data_);
    }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace kor
