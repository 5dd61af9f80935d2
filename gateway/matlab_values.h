// Small builders of the MATLAB values the commands return. Each raises the
// gateway error given when the host returns no array.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "mex.h"

namespace kor {

// Owns an mxArray until it is handed to the caller, so an error raised in
// between frees it.
class OwnedArray {
public:
    explicit OwnedArray(mxArray* array) : array_(array) {}
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;
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

// What the call raises when MATLAB cannot create an array: it answers null,
// and a handler that passed the null on would leave its output unassigned.
constexpr const char* kNotEnoughMemory = "Not enough memory.";

mxArray* doubleScalar(double value, const char* failure = kNotEnoughMemory);
mxArray* logicalScalar(bool value, const char* failure = kNotEnoughMemory);
// Real column (n x 1) and row (1 x n) of doubles.
mxArray* doubleColumn(std::initializer_list<double> values, const char* failure = kNotEnoughMemory);
mxArray* doubleRow(std::initializer_list<double> values, const char* failure = kNotEnoughMemory);
mxArray* text(const char* value, const char* failure = kNotEnoughMemory);

}  // namespace kor
