// The three argument checks and the conversions of MEX parameters.
#pragma once

#include <cstdint>

#include "mex.h"

namespace kor {

// Real numeric 1x1 array of any numeric class (fractional values pass).
bool isIntegerArgument(const mxArray* array);
// Real double 1x1 array.
bool isDoubleArgument(const mxArray* array);
// Non-empty logical array of any size (its first element counts).
bool isLogicalArgument(const mxArray* array);

// The parameters of one call; parameter k (from 1) is MEX input k.
class Params {
public:
    Params(int count, const mxArray* const* inputs) : count_(count), inputs_(inputs) {}

    int count() const { return count_; }
    // Integer conversion: the scalar value truncated toward zero (saturating).
    int32_t integer(int k) const;
    // Integer conversion of a parameter that no check covered: any array
    // whose scalar value converts is taken; others are refused by name.
    int32_t uncheckedInteger(int k) const;
    // Double read: the first element of the double data.
    double real(int k) const;
    // Numeric value of a 1x1 array of any numeric class, as a double.
    double number(int k) const;
    // Logical read: the first element (also of a sparse array).
    bool logical(int k) const;
    const mxArray* array(int k) const { return inputs_[k]; }

private:
    int count_;
    const mxArray* const* inputs_;
};

}  // namespace kor
