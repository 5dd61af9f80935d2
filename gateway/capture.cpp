// Frame capture: a frame of the live stream, a snapshot, and synchronous
// snapshots of every connected camera, each returned as a MATLAB image array.
#include <array>
#include <cstddef>
#include <cstdint>

#include "buffer.h"
#include "commands.h"
#include "errors.h"
#include "frame_geometry.h"
#include "korcam.h"
#include "korcam_color_format.h"
#include "matlab_values.h"
#include "pixels.h"
#include "pixels_grey.h"
#include "preview.h"
#include "slots.h"

namespace kor {
namespace {

constexpr const char* kArrayNotCreated = "An error occured while creating the Matlab array.";

// What property 80 says about the sensor.
struct ColorFormat {
    bool monochrome;
    bool swapBytes;  // 16-bit monochrome samples arrive with their bytes swapped
};

ColorFormat readColorFormat(CameraHandle handle) {
    float value = 0;
    int32_t flags = 0;
    if (!KorcamGetProperty(handle, KORCAM_PROP_COLOR_FORMAT, &value, &flags))
        fail("An error occured while obtaining the color format.\n");
    return ColorFormat{korcam::isMonochromeColorFormat(value),
                       static_cast<uint32_t>(flags) != KORCAM_COLOR_FLAGS_LITTLE_ENDIAN};
}

FrameFormat currentFormat(CameraHandle handle) {
    FrameFormat format{};
    float rate = 0;  // travels with the format; capture does not need it
    if (!KorcamGetFormat(handle, &format, &rate)) fail("An error occured while obtaining the frame format.\n");
    return format;
}

// Only formats 0 and 1 with non-zero binning have a known frame size and
// sample width; anything else would size the buffers wrongly.
void refuseUncapturable(const FrameFormat& format, int32_t n) {
    switch (captureFault(format)) {
        case FormatFault::PixelFormat:
            fail("Pixel format %u of camera %d cannot be captured: only formats 0 (8 bits) and 1 (16 bits) can.",
                 format.pixelFormat, n);
        case FormatFault::ZeroBinning: fail("The frame format of camera %d has a binning factor of 0.", n);
        case FormatFault::None: break;
    }
}

Buffer obtain(uint64_t bytes, const char* notEnoughMemory) {
    Buffer buffer(bytes);
    if (!buffer) fail("%s", notEnoughMemory);
    return buffer;
}

// Three samples per pixel from a raw frame: the SDK demosaics colour sensors,
// monochrome samples are replicated.
void buildPicture(CameraHandle handle, ColorFormat color, const FrameGeometry& g, const Buffer& raw,
                  const Buffer& picture) {
    if (color.monochrome) {
        // Both buffers were obtained, so their sizes fit in size_t.
        if (g.sampleBytes == 1)
            pixels::buildMonoPicture8(raw.data(), static_cast<size_t>(g.pixelCount), picture.data());
        else
            pixels::buildMonoPicture16(raw.data(), static_cast<size_t>(g.rawBytes / 2), color.swapBytes,
                                       picture.as<uint16_t>());
        return;
    }
    const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
    if (g.sampleBytes == 1) {
        if (!KorcamConvertFrameToRgb24(handle, picture.data(), raw.data(), g.width, g.height, KORCAM_PIXEL_8BIT,
                                       &params))
            fail("Failed to convert frame to RGB24.");
    } else if (!KorcamConvertFrameToRgb48(handle, picture.data(), raw.data(), g.width, g.height, g.pixelFormat,
                                          &params)) {
        fail("Failed to convert frame to RGB48.");
    }
}

// What each image of a capture holds: red, green and blue pages, or one grey
// page (the samples of a monochrome camera, the luminance of a colour one).
enum class Pages { Colour, Grey };

// A zeroed [rows columns 3 count] uint8 or uint16 array, three-dimensional
// for a single image; [rows columns 1 count] for grey images, a matrix for a
// single one. A 32-bit MATLAB process cannot hold more than kMaxBufferBytes
// in one array, so larger ones are refused here everywhere.
mxArray* createImageArray(uint32_t rows, uint32_t columns, uint32_t count, bool wideSamples,
                          Pages pages = Pages::Colour) {
    const uint32_t sampleBytes = wideSamples ? 2 : 1;
    const bool grey = pages == Pages::Grey;
    const uint64_t bytes = grey ? saturatingProduct(saturatingProduct(rows, columns), uint64_t{count} * sampleBytes)
                                : imageArrayBytes(rows, columns, count, sampleBytes);
    if (bytes > kMaxBufferBytes) fail("%s", kArrayNotCreated);
    const mwSize dims[4] = {rows, columns, grey ? mwSize{1} : mwSize{3}, count};
    const mwSize dimensions = count != 1 ? 4 : grey ? 2 : 3;
    // MATLAB answers null when it cannot create the array (Octave throws).
    mxArray* array = mxCreateNumericArray(dimensions, dims, wideSamples ? mxUINT16_CLASS : mxUINT8_CLASS, mxREAL);
    if (!array) fail("%s", kArrayNotCreated);
    return array;
}

// Fills the grey page of image k of a [rows columns 1 count] array: a
// monochrome camera's samples straight from its raw frame, a colour camera's
// luminance from its picture. In a uint16 array 8-bit values are widened as
// im2uint16 does.
void fillGreyImage(mxArray* array, uint32_t rows, uint32_t columns, bool wideSamples, uint32_t k, ColorFormat color,
                   const Buffer& raw, const Buffer& picture, const FrameGeometry& g) {
    const size_t first = static_cast<size_t>(rows) * columns * k;
    uint8_t* out8 = static_cast<uint8_t*>(mxGetData(array)) + (wideSamples ? 0 : first);
    uint16_t* out16 = static_cast<uint16_t*>(mxGetData(array)) + (wideSamples ? first : 0);
    if (color.monochrome) {
        if (!wideSamples)
            pixels::fillGreyImage8(raw.data(), g.width, g.height, out8, rows);
        else if (g.sampleBytes == 2)
            pixels::fillGreyImage16(raw.data(), g.width, g.height, color.swapBytes, out16, rows);
        else
            pixels::fillGreyImage8To16(raw.data(), g.width, g.height, out16, rows);
    } else if (!wideSamples) {
        pixels::fillLuminance8(picture.data(), g.width, g.height, out8, rows);
    } else if (g.sampleBytes == 2) {
        pixels::fillLuminance16(picture.as<uint16_t>(), g.width, g.height, out16, rows);
    } else {
        pixels::fillLuminance8To16(picture.data(), g.width, g.height, out16, rows);
    }
}

// The [H W] array of one frame: from the raw frame of a monochrome camera,
// from the picture of a colour one.
mxArray* greyImageOf(ColorFormat color, const FrameGeometry& g, const Buffer& raw, const Buffer& picture) {
    const bool wide = g.sampleBytes == 2;
    OwnedArray image(createImageArray(g.height, g.width, 1, wide, Pages::Grey));
    fillGreyImage(image.get(), g.height, g.width, wide, 0, color, raw, picture, g);
    return image.release();
}

// Copies a picture into image k of a [rows columns 3 count] array: rows 1 to
// H and columns 1 to W of its three pages; in a uint16 array 8-bit samples
// are widened as im2uint16 does.
void fillImage(mxArray* array, uint32_t rows, uint32_t columns, bool wideSamples, uint32_t k, const Buffer& picture,
               const FrameGeometry& g) {
    const size_t page = static_cast<size_t>(rows) * columns;
    const pixels::ImageLayout layout{rows, page};
    const size_t first = 3 * page * k;
    if (!wideSamples) {
        pixels::fillImage8(picture.data(), g.width, g.height, static_cast<uint8_t*>(mxGetData(array)) + first, layout);
    } else if (g.sampleBytes == 2) {
        pixels::fillImage16(picture.as<uint16_t>(), g.width, g.height, static_cast<uint16_t*>(mxGetData(array)) + first,
                            layout);
    } else {
        pixels::fillImage8To16(picture.data(), g.width, g.height, static_cast<uint16_t*>(mxGetData(array)) + first,
                               layout);
    }
}

// The [H W 3] array of one picture.
mxArray* imageOf(const Buffer& picture, const FrameGeometry& g) {
    const bool wide = g.sampleBytes == 2;
    OwnedArray image(createImageArray(g.height, g.width, 1, wide));
    fillImage(image.get(), g.height, g.width, wide, 0, picture, g);
    return image.release();
}

// The [H W 3] (or grey [H W]) array of a colour raw frame, demosaicked into
// the picture buffer; the raw frame is released before the array is created.
mxArray* colourImageOf(CameraHandle handle, ColorFormat color, const FrameGeometry& g, Buffer& raw,
                       const Buffer& picture, Pages pages) {
    buildPicture(handle, color, g, raw, picture);
    raw.reset();
    return pages == Pages::Grey ? greyImageOf(color, g, raw, picture) : imageOf(picture, g);
}

// The [H W 3] array of a monochrome raw frame. Its samples go straight into
// the three pages: the same elements as building the picture and filling
// from it, without writing and reading three times the frame in between.
mxArray* monochromeImageOf(const Buffer& raw, ColorFormat color, const FrameGeometry& g) {
    const bool wide = g.sampleBytes == 2;
    OwnedArray image(createImageArray(g.height, g.width, 1, wide));
    const pixels::ImageLayout layout = pixels::denseLayout(g.width, g.height);
    if (wide)
        pixels::fillMonoImage16(raw.data(), g.width, g.height, color.swapBytes,
                                static_cast<uint16_t*>(mxGetData(image.get())), layout);
    else
        pixels::fillMonoImage8(raw.data(), g.width, g.height, static_cast<uint8_t*>(mxGetData(image.get())), layout);
    return image.release();
}

// Previews stopped for a capture. resume() restarts them in camera order; a
// capture that ends early restarts the rest, errors ignored, so that each
// slot's previewing flag still tells the truth about its camera.
class PausedPreviews {
public:
    PausedPreviews() = default;
    PausedPreviews(const PausedPreviews&) = delete;
    PausedPreviews& operator=(const PausedPreviews&) = delete;
    ~PausedPreviews() {
        for (int i = resumed_; i < count_; ++i)
            KorcamStreamVideoControl(slotOf(cameras_[i]).handle, KORCAM_STREAM_START_OWN_WINDOW, nullptr);
    }

    // Stops camera n's stream and destroys its window if it is previewing.
    // A stop that fails half-way leaves the stream in an unknown state: it
    // counts as stopped, so that it is restarted too.
    void pause(int32_t n) {
        const CameraSlot slot = slotOf(n);
        if (!slot.previewing) return;
        cameras_[count_++] = n;
        stopPreviewStream(slot);
    }

    // Restarts every stopped preview; the first failure ends the call.
    void resume() {
        while (resumed_ < count_) restartPreviewStream(slotOf(cameras_[resumed_++]));
    }

private:
    std::array<int32_t, kSlotCount> cameras_{};
    int count_ = 0;
    int resumed_ = 0;
};

// A synchronous-snapshot group, disabled again however the call ends.
class SynchronousGroup {
public:
    SynchronousGroup(uint32_t count, const CameraHandle* handles, SnapshotSettings* const* settings)
        : group_(KorcamEnableSynchronousSnapshots(count, handles, settings)) {
        if (group_ == 0) fail("Failed to enable synchronous snapshots.");
    }
    SynchronousGroup(const SynchronousGroup&) = delete;
    SynchronousGroup& operator=(const SynchronousGroup&) = delete;
    ~SynchronousGroup() {
        if (group_ != 0) KorcamDisableSynchronousSnapshots(group_);
    }

    SyncGroupHandle handle() const { return group_; }
    void disable() {
        const SyncGroupHandle group = group_;
        group_ = 0;
        if (!KorcamDisableSynchronousSnapshots(group)) fail("Error disabling synchronous snapshots.");
    }

private:
    SyncGroupHandle group_;
};

mxArray* videoFrame(const Params& p, Pages pages) {
    const int32_t n = p.integer(1);
    const CameraSlot slot = guardConnectedCamera(n, "Cannot capture a frame, camera %d is not connected.");
    if (!slot.previewing) fail("Cannot capture a frame, not previewing.");
    const FrameFormat format = currentFormat(slot.handle);
    if (format.pixelFormat == KORCAM_PIXEL_YUV422) fail("YUV422 mode is not supported.");
    refuseUncapturable(format, n);
    const ColorFormat color = readColorFormat(slot.handle);
    const FrameGeometry g = frameGeometry(format);
    Buffer raw = obtain(g.rawBytes, "Not enough memory to make raw frame buffer.");
    if (!KorcamTakeVideo(slot.handle, 1, raw.data())) fail("An error occured while trying to take a video frame.");
    if (color.monochrome)
        return pages == Pages::Grey ? greyImageOf(color, g, raw, Buffer()) : monochromeImageOf(raw, color, g);
    const Buffer picture = obtain(g.pictureBytes, "Not enough memory to make rgb frame buffer.");
    return colourImageOf(slot.handle, color, g, raw, picture, pages);
}

mxArray* snapshot(const Params& p, Pages pages) {
    const int32_t n = p.integer(1);
    const CameraSlot slot = guardConnectedCamera(n, "Cannot take snapshot, camera %d is not connected.");
    PausedPreviews paused;
    paused.pause(n);
    const ColorFormat color = readColorFormat(slot.handle);
    // Every snapshot is taken in the camera's current format, and the slot keeps it.
    slot.snapshot.format = currentFormat(slot.handle);
    refuseUncapturable(slot.snapshot.format, n);
    const FrameGeometry g = frameGeometry(slot.snapshot.format);
    Buffer raw = obtain(g.rawBytes, "Not enough memory to make raw buffer.");
    // Monochrome frames go from the raw buffer straight into the array.
    Buffer picture = color.monochrome ? Buffer() : obtain(g.pictureBytes, "Not enough memory to make picture buffer.");
    slot.snapshot.timeout = slot.snapshot.exposure + 5000.0f;
    if (!KorcamTakeSnapshot(slot.handle, &slot.snapshot, raw.data())) {
        const uint32_t error = KorcamGetLastError();
        if (error == KORCAM_ERROR_TIMEOUT) fail("Snapshot timed out.");
        fail("Error %u occured while attempting to take a fast frame with camera %d.", error, n);
    }
    OwnedArray image(color.monochrome ? (pages == Pages::Grey ? greyImageOf(color, g, raw, picture)
                                                              : monochromeImageOf(raw, color, g))
                                      : colourImageOf(slot.handle, color, g, raw, picture, pages));
    raw.reset();
    picture.reset();
    paused.resume();
    return image.release();
}

mxArray* synchronousSnapshots(Pages pages) {
    // The participating cameras, in ascending number. The lists below hold at
    // most ten entries and live on the stack: unlike the frames, they cannot
    // fail to be obtained.
    std::array<int32_t, kSlotCount> cameras{};
    uint32_t n = 0;
    for (int32_t c = 1; c <= kSlotCount; ++c)
        if (slotOf(c).connected) cameras[n++] = c;
    if (n < 2) fail("Must have at least 2 cameras connected to take synchronous snapshots.");

    // Each camera's snapshot settings as stored; this command changes nothing in them.
    std::array<CameraHandle, kSlotCount> handles{};
    std::array<SnapshotSettings*, kSlotCount> settings{};
    std::array<FrameGeometry, kSlotCount> geometry{};
    for (uint32_t k = 0; k < n; ++k) {
        const CameraSlot slot = slotOf(cameras[k]);
        refuseUncapturable(slot.snapshot.format, cameras[k]);
        handles[k] = slot.handle;
        settings[k] = &slot.snapshot;
        geometry[k] = frameGeometry(slot.snapshot.format);
    }

    PausedPreviews paused;
    for (uint32_t k = 0; k < n; ++k) paused.pause(cameras[k]);

    std::array<Buffer, kSlotCount> raw;
    std::array<Buffer, kSlotCount> pictures;
    {
        SynchronousGroup group(n, handles.data(), settings.data());
        std::array<void*, kSlotCount> rawList{};
        for (uint32_t k = 0; k < n; ++k) {
            raw[k] = obtain(geometry[k].rawBytes, "Not enough memory to create raw buffer.");
            rawList[k] = raw[k].data();
        }
        if (!KorcamTakeSynchronousSnapshots(group.handle(), rawList.data()))
            fail("Error taking synchronous snapshots.");
        group.disable();
    }
    uint32_t rows = 0;
    uint32_t columns = 0;
    bool wide = false;
    for (uint32_t k = 0; k < n; ++k) {
        if (geometry[k].height > rows) rows = geometry[k].height;
        if (geometry[k].width > columns) columns = geometry[k].width;
        wide = wide || geometry[k].sampleBytes == 2;
    }
    if (pages == Pages::Grey) {
        // Grey pages of monochrome cameras come straight from their raw
        // frames: only colour cameras need a picture.
        std::array<ColorFormat, kSlotCount> colors{};
        for (uint32_t k = 0; k < n; ++k) colors[k] = readColorFormat(handles[k]);
        for (uint32_t k = 0; k < n; ++k) {
            if (colors[k].monochrome) continue;
            pictures[k] = obtain(geometry[k].pictureBytes, "Not enough memory to create rgb buffer.");
            buildPicture(handles[k], colors[k], geometry[k], raw[k], pictures[k]);
            raw[k].reset();
        }
        OwnedArray images(createImageArray(rows, columns, n, wide, Pages::Grey));
        for (uint32_t k = 0; k < n; ++k)
            fillGreyImage(images.get(), rows, columns, wide, k, colors[k], raw[k], pictures[k], geometry[k]);
        for (uint32_t k = 0; k < n; ++k) {
            raw[k].reset();
            pictures[k].reset();
        }
        paused.resume();
        return images.release();
    }

    for (uint32_t k = 0; k < n; ++k)
        pictures[k] = obtain(geometry[k].pictureBytes, "Not enough memory to create rgb buffer.");
    for (uint32_t k = 0; k < n; ++k)
        buildPicture(handles[k], readColorFormat(handles[k]), geometry[k], raw[k], pictures[k]);
    for (uint32_t k = 0; k < n; ++k) raw[k].reset();

    OwnedArray images(createImageArray(rows, columns, n, wide));
    for (uint32_t k = 0; k < n; ++k) fillImage(images.get(), rows, columns, wide, k, pictures[k], geometry[k]);
    for (uint32_t k = 0; k < n; ++k) pictures[k].reset();

    paused.resume();
    return images.release();
}

}  // namespace

mxArray* takeVideoFrame(const Params& p) { return videoFrame(p, Pages::Colour); }
mxArray* takeSnapshot(const Params& p) { return snapshot(p, Pages::Colour); }
mxArray* takeSynchronousSnapshots(const Params&) { return synchronousSnapshots(Pages::Colour); }

mxArray* takeGreyVideoFrame(const Params& p) { return videoFrame(p, Pages::Grey); }
mxArray* takeGreySnapshot(const Params& p) { return snapshot(p, Pages::Grey); }
mxArray* takeGreySynchronousSnapshots(const Params&) { return synchronousSnapshots(Pages::Grey); }

}  // namespace kor
