// Number conversions between MATLAB doubles and the SDK's fixed-width fields,
// defined for every double (NaN, infinities and out-of-range values included).
// Pure functions: no host or SDK calls.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace kor {

// Truncation toward zero into int32; NaN and values below the range give the
// minimum, values above it the maximum.
constexpr int32_t truncateToInt32(double value) {
    if (!(value >= -2147483648.0)) return std::numeric_limits<int32_t>::min();  // NaN too
    if (value >= 2147483648.0) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

// Truncation toward zero into int64 with the same saturation rule.
constexpr int64_t truncateToInt64(double value) {
    if (!(value >= -9223372036854775808.0)) return std::numeric_limits<int64_t>::min();
    if (value >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(value);
}

// A 32-bit format field from a double: truncated to 64 bits, low 32 bits kept.
constexpr uint32_t lowBits32(double value) {
    return static_cast<uint32_t>(static_cast<uint64_t>(truncateToInt64(value)));
}

// A 16-bit format field from a double: truncated to 32 bits, low 16 bits kept.
constexpr uint16_t lowBits16(double value) {
    return static_cast<uint16_t>(static_cast<uint32_t>(truncateToInt32(value)));
}

// Double to float rounded to nearest; a finite double beyond the float range
// gives an infinity of the same sign, as IEEE rounding does (a plain cast of
// such a value is undefined in C++).
inline float toFloat(double value) {
    // Halfway between FLT_MAX and 2^128: from here on, round-to-nearest overflows.
    constexpr double kOverflow = 340282356779733661637539395458142568448.0;
    if (value >= kOverflow) return std::numeric_limits<float>::infinity();
    if (value <= -kOverflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

}  // namespace kor
