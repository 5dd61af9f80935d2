// What the Windows MEX file tests share: arrays owned by the test, the folder
// of the test program (where the MEX files and DLLs lie), the stand-in's list
// of broken rules, and the picture MATLAB gets of a virtual camera's frame.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "korcamsim.h"
#include "kormex_host.h"

namespace mextest {

struct Destroy {
    void operator()(mxArray* a) const { mxDestroyArray(a); }
};
using Array = std::unique_ptr<mxArray, Destroy>;

inline Array number(double value) { return Array(mxCreateDoubleScalar(value)); }
inline Array logical(bool value) { return Array(mxCreateLogicalScalar(value)); }
inline Array text(const char* value) { return Array(mxCreateString(value)); }

template <typename... Args>
std::vector<Array> args(Args&&... arrays) {
    std::vector<Array> list;
    (list.push_back(std::forward<Args>(arrays)), ...);
    return list;
}

inline std::string brokenRules() {
    std::string all;
    for (size_t i = 0; i < kormxBrokenRuleCount(); ++i) all += std::string(kormxBrokenRule(i)) + "\n";
    return all;
}

inline std::string folderOfThisProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

inline std::vector<mwSize> dimsOf(const mxArray* a) {
    const mwSize* d = mxGetDimensions(a);
    return std::vector<mwSize>(d, d + mxGetNumberOfDimensions(a));
}

// The [H W 3] picture MATLAB gets of camera n's last frame: the buffer's
// last row on top, blue-green-red samples turned into red, green and blue
// pages. Colour frames go through the library's own conversion (8-bit here);
// monochrome samples are replicated, 16-bit ones little-endian with their
// four noise bits cleared.
template <typename T>
std::vector<T> expectedImage(int32_t n, bool color, uint32_t* height, uint32_t* width) {
    const korcamsim::Frame frame = korcamsim::lastFrame(n);
    EXPECT_EQ(frame.pixelFormat, sizeof(T) == 1 ? 0u : 1u);
    const uint32_t w = frame.width, h = frame.height;
    std::vector<T> bgr;
    if (color) {
        const std::vector<uint8_t> converted = korcamsim::convertFrame(n, frame.bytes, w, h, frame.pixelFormat);
        bgr.assign(converted.begin(), converted.end());
    } else {
        for (size_t i = 0; i + sizeof(T) <= frame.bytes.size(); i += sizeof(T)) {
            const T sample =
                sizeof(T) == 1 ? T(frame.bytes[i]) : T((frame.bytes[i] | frame.bytes[i + 1] << 8) & 0xFFF0);
            bgr.insert(bgr.end(), {sample, sample, sample});
        }
    }
    std::vector<T> image(size_t{3} * w * h);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < w; ++c)
            for (uint32_t page = 0; page < 3; ++page)
                image[r + size_t{c} * h + size_t{page} * w * h] = bgr[(size_t{h - 1 - r} * w + c) * 3 + (2 - page)];
    *height = h;
    *width = w;
    return image;
}

// Image k of a [H W 3 K] array, cut to h rows and w columns.
template <typename T>
std::vector<T> imageIn(const mxArray* a, size_t k, uint32_t h, uint32_t w) {
    const std::vector<mwSize> d = dimsOf(a);
    const T* data = static_cast<const T*>(mxGetData(a)) + k * d[0] * d[1] * 3;
    std::vector<T> image(size_t{3} * w * h);
    for (uint32_t page = 0; page < 3; ++page)
        for (uint32_t c = 0; c < w; ++c)
            for (uint32_t r = 0; r < h; ++r)
                image[r + size_t{c} * h + size_t{page} * w * h] = data[r + c * d[0] + page * d[0] * d[1]];
    return image;
}

}  // namespace mextest
