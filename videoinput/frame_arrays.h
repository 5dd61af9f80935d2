// Logged frames turned into MATLAB arrays: [h w 3 n] uint8 images, right way
// up, and the metadata of each frame.
#pragma once

#include "frame_log.h"
#include "mex.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace korvid {

struct Video;

// One row of metadata per frame (AbsTime, FrameNumber, RelativeFrame, TriggerIndex).
mxArray* metaOf(const Video& video, const std::vector<std::shared_ptr<const LoggedFrame>>& frames);
// [h w bands n] uint8 array for n frames of one size, or a refusal when it cannot be addressed.
mxArray* createFrameArray(std::int32_t width, std::int32_t height, std::int32_t bands, std::uint64_t count);
// Elements of one frame in such an array: h x w x bands.
std::size_t frameElements(const LoggedFrame& frame);
// One frame into its h x w x bands place of such an array.
void fillFrame(const LoggedFrame& frame, std::uint8_t* out);
// One frame as an [h w bands] array.
mxArray* frameArray(const LoggedFrame& frame);

}  // namespace korvid
