// Random frames for the pixel tests.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

namespace kor::pixels {

// `count` samples of type T, every value possible.
template <typename T>
std::vector<T> randomSamples(size_t count, std::mt19937& rng) {
    std::uniform_int_distribution<unsigned> dist(0, (1u << (8 * sizeof(T))) - 1);
    std::vector<T> v(count);
    for (T& x : v) x = static_cast<T>(dist(rng));
    return v;
}

}  // namespace kor::pixels
