// Small builders of the MATLAB values the commands return. Each raises the
// gateway error given when the host returns no array.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "mex.h"
#include "owned_array.h"

namespace kor {

using mexentry::OwnedArray;

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
