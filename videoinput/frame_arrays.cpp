#include "frame_arrays.h"

#include "arguments.h"
#include "output_array.h"
#include "pixels.h"
#include "pixels_grey.h"
#include "video.h"

#include <algorithm>
#include <array>
#include <limits>

namespace korvid {

mxArray* metaOf(const Video& video, const std::vector<std::shared_ptr<const LoggedFrame>>& frames) {
    const char* fields[] = {"AbsTime", "FrameNumber", "RelativeFrame", "TriggerIndex"};
    mxArray* meta = mxCreateStructMatrix(frames.size(), 1, 4, fields);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const std::array<double, 6> clock = frameClock(video.startWall, video.startStamp, frames[k]->stamp);
        mxSetFieldByNumber(meta, k, 0, row(std::vector<double>(clock.begin(), clock.end())));
        mxSetFieldByNumber(meta, k, 1, scalar(static_cast<double>(frames[k]->frameNumber)));
        mxSetFieldByNumber(meta, k, 2, scalar(static_cast<double>(frames[k]->relativeFrame)));
        mxSetFieldByNumber(meta, k, 3, scalar(static_cast<double>(frames[k]->triggerIndex)));
    }
    return meta;
}

// [h w bands n] uint8 array for n frames of one size, or a refusal when it
// cannot be addressed.
mxArray* createFrameArray(std::int32_t width, std::int32_t height, std::int32_t bands, std::uint64_t count) {
    const std::uint64_t frameElements =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * static_cast<std::uint64_t>(bands);
    const std::uint64_t limit =
        std::min<std::uint64_t>(std::numeric_limits<mwSize>::max(), std::numeric_limits<std::size_t>::max());
    if (frameElements != 0 && count > limit / frameElements)
        raise("KorVideoInput:outOfMemory",
              "So many frames do not fit in one array; ask getdata for fewer frames at a time.");
    const mwSize dims[4] = {static_cast<mwSize>(height), static_cast<mwSize>(width), static_cast<mwSize>(bands),
                            static_cast<mwSize>(count)};
    mxArray* array = mexentry::createOutputArray(4, dims, mxUINT8_CLASS).release();
    if (array == nullptr)
        raise("KorVideoInput:outOfMemory",
              "There is not enough memory for these frames; ask getdata for fewer "
              "frames at a time.");
    return array;
}

std::size_t frameElements(const LoggedFrame& frame) {
    return static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) *
           static_cast<std::size_t>(frame.bands);
}

void fillFrame(const LoggedFrame& frame, std::uint8_t* out) {
    // The adaptor's rows come bottom first: the gateway's fills turn them the
    // right way up, a grey frame into one page, blue, green and red samples
    // into red, green and blue pages.
    if (frame.bands == 1) {
        kor::pixels::fillGreyImage8(frame.pixels.data(), static_cast<std::uint32_t>(frame.width),
                                    static_cast<std::uint32_t>(frame.height), out,
                                    static_cast<std::size_t>(frame.height));
        return;
    }
    kor::pixels::fillImage8(
        frame.pixels.data(), static_cast<std::uint32_t>(frame.width), static_cast<std::uint32_t>(frame.height), out,
        kor::pixels::denseLayout(static_cast<std::uint32_t>(frame.width), static_cast<std::uint32_t>(frame.height)));
}

mxArray* frameArray(const LoggedFrame& frame) {
    mxArray* image = createFrameArray(frame.width, frame.height, frame.bands, 1);
    fillFrame(frame, static_cast<std::uint8_t*>(mxGetData(image)));
    // Hosts drop the trailing 1 themselves; Octave would copy an array of its own to reshape it.
    const mwSize dims[3] = {static_cast<mwSize>(frame.height), static_cast<mwSize>(frame.width),
                            static_cast<mwSize>(frame.bands)};
    const mwSize shown = frame.bands == 1 ? 2 : 3;
    if (mxGetNumberOfDimensions(image) != shown) mxSetDimensions(image, dims, 3);
    return image;
}

}  // namespace korvid
