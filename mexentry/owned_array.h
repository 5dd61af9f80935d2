// Owns an mxArray until it is handed to the caller (or to the end of the
// scope), so that an error raised in between frees it.
#pragma once

#include "mex.h"

namespace mexentry {

class OwnedArray {
public:
    explicit OwnedArray(mxArray* array = nullptr) : array_(array) {}
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;
    OwnedArray(OwnedArray&& other) noexcept : array_(other.release()) {}
    OwnedArray& operator=(OwnedArray&& other) noexcept {
        if (this != &other) {
            if (array_) mxDestroyArray(array_);
            array_ = other.release();
        }
        return *this;
    }
    ~OwnedArray() {
        if (array_) mxDestroyArray(array_);
    }
    mxArray* get() const { return array_; }
    explicit operator bool() const { return array_ != nullptr; }
    mxArray* release() {
        mxArray* a = array_;
        array_ = nullptr;
        return a;
    }

private:
    mxArray* array_;
};

}  // namespace mexentry
