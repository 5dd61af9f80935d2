// The SDK operations of korcam.h over the virtual cameras of the simulator
// (simulator.h). Frames are drawn and converted outside the simulator's lock,
// so that cameras on several threads stream at once.
#include "korcam.h"
#include "simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace {

using namespace korcamsim;
using namespace korcamsim::detail;

void draw(const FrameRecipe& recipe, void* buffer) {
    simulator().generator->render(recipe, static_cast<uint8_t*>(buffer));
}

// Trigger inputs of the virtual cameras never fire: a triggered frame times out.
KorcamBool triggerTimeout(Call& call, const SnapshotSettings& settings) {
    const Clock::duration wait = simulator().pacing.triggerWait(settings);
    call.unlock();
    if (wait > Clock::duration::zero()) std::this_thread::sleep_for(wait);
    return fail(KORCAM_ERROR_TIMEOUT, 0);
}

KorcamBool convert(Op op, CameraHandle handle, void* destination, const void* source, uint32_t width, uint32_t height,
                   uint32_t pixelFormat, const ConversionParams* params) {
    // The conversion parameters go into the log too (-1 when none were passed):
    // a caller that asks for another demosaicing method gets other colours.
    Call call(op, handle,
              {static_cast<double>(width), static_cast<double>(height), static_cast<double>(pixelFormat),
               params ? static_cast<double>(params->demosaicMethod) : -1.0,
               params ? static_cast<double>(params->colorCorrection) : -1.0});
    if (!call.ok()) return 0;
    const uint32_t wanted = op == kConvertFrameToRgb24 ? KORCAM_PIXEL_8BIT : KORCAM_PIXEL_16BIT;
    if (pixelFormat != wanted) return fail(KORCAM_ERROR_FORMAT_NOT_SUPPORTED, 0);
    if (!destination || !source || !params || width == 0 || height == 0) return fail(kErrorInvalidParameter, 0);
    if (static_cast<uint64_t>(width) * height > std::numeric_limits<std::size_t>::max() / 6)
        return fail(kErrorInvalidParameter, 0);
    const bool color = call.camera().color();
    const bool littleEndian = call.camera().littleEndian();
    call.unlock();
    convertToBgr(static_cast<const uint8_t*>(source), width, height, pixelFormat, color, littleEndian,
                 static_cast<uint8_t*>(destination));
    return 1;
}

double d(int64_t v) { return static_cast<double>(v); }

}  // namespace

// ---------------------------------------------------------------------------
// SDK operations

extern "C" {

int32_t KorcamNumCameras(void) {
    Call call(kNumCameras, {});
    if (!call.ok()) return -1;
    const Simulator& sim = simulator();
    if (sim.countOverride) {
        if (*sim.countOverride < 0) return fail(kErrorCountFailed, -1);
        return *sim.countOverride;
    }
    return static_cast<int32_t>(sim.cameras.size());
}

uint32_t KorcamEnumCameras(VersionInfo* records, uint32_t length) {
    Call call(kEnumCameras, {d(length)});
    if (!call.ok()) return 0;
    if (!records && length > 0) return fail(kErrorInvalidParameter, 0u);
    const Simulator& sim = simulator();
    const uint32_t filled = std::min(length, sim.reachable());
    for (uint32_t i = 0; i < filled; ++i) {
        const CameraSpec& s = sim.cameras[i].model;
        records[i] = VersionInfo{s.firmware, s.fpga, s.api, s.driver, s.serial, s.reserved};
    }
    return filled;
}

CameraHandle KorcamCameraOpen(int32_t cameraNumber) {
    Call call(kCameraOpen, Call::ByNumber{cameraNumber});
    if (!call.ok()) return 0;
    Simulator& sim = simulator();
    if (cameraNumber < 1 || static_cast<uint32_t>(cameraNumber) > sim.reachable())
        return fail(kErrorNoSuchCamera, CameraHandle{0});
    const uint32_t index = static_cast<uint32_t>(cameraNumber) - 1;
    const CameraHandle handle = sim.newHandle();
    sim.handles[handle] = index;
    ++sim.cameras[index].handles;
    return handle;
}

KorcamBool KorcamCameraClose(CameraHandle handle) {
    Call call(kCameraClose, handle, {});
    if (!call.ok()) return 0;
    Simulator& sim = simulator();
    sim.handles.erase(handle);
    Camera& camera = call.camera();
    if (--camera.handles == 0) {
        // Closing the last handle powers the camera's streams down; its format stays.
        camera.streaming = false;
        camera.window = false;
        camera.fastFrames = false;
        camera.focusing = false;
    }
    return 1;
}

KorcamBool KorcamGetFormat(CameraHandle handle, FrameFormat* format, float* frameRate) {
    Call call(kGetFormat, handle, {});
    if (!call.ok()) return 0;
    if (!format || !frameRate) return fail(kErrorInvalidParameter, 0);
    *format = call.camera().format;
    *frameRate = call.camera().frameRate;
    return 1;
}

KorcamBool KorcamSetFormat(CameraHandle handle, const FrameFormat* format, float frameRate) {
    Call call(kSetFormat, handle, {frameRate});
    if (!call.ok()) return 0;
    if (!format) return fail(kErrorInvalidParameter, 0);
    Camera& camera = call.camera();
    if (!formatAccepted(camera.model, *format) || !rateAccepted(camera.model, frameRate))
        return fail(KORCAM_ERROR_FORMAT_NOT_SUPPORTED, 0);
    camera.format = *format;
    camera.frameRate = frameRate;
    return 1;
}

KorcamBool KorcamStreamVideoControl(CameraHandle handle, int32_t code, void* window) {
    Call call(kStreamVideoControl, handle, {d(code)});
    if (!call.ok()) return 0;
    Camera& camera = call.camera();
    switch (code) {
        case KORCAM_STREAM_START_OWN_WINDOW:
            if (camera.streaming) return fail(kErrorWrongState, 0);
            camera.streaming = true;
            if (!window) camera.window = true;
            camera.nextFrameDue = Clock::time_point{};
            return 1;
        case KORCAM_STREAM_STOP:
            if (!camera.streaming) return fail(kErrorWrongState, 0);
            camera.streaming = false;
            return 1;
        default: return fail(KORCAM_ERROR_NOT_SUPPORTED, 0);
    }
}

KorcamBool KorcamDestroyDisplayWindow(CameraHandle handle) {
    Call call(kDestroyDisplayWindow, handle, {});
    if (!call.ok()) return 0;
    if (!call.camera().window) return fail(kErrorWrongState, 0);
    call.camera().window = false;
    return 1;
}

int32_t KorcamEnumAvailableFrameRates(CameraHandle handle, uint32_t capacity, float* rates) {
    Call call(kEnumAvailableFrameRates, handle, {d(capacity)});
    if (!call.ok()) return 0;
    const std::vector<float>& offered = call.camera().model.frameRates;
    if (capacity == 0) return static_cast<int32_t>(offered.size());
    if (!rates) return fail(kErrorInvalidParameter, 0);
    const std::size_t filled = std::min<std::size_t>(capacity, offered.size());
    std::copy(offered.begin(), offered.begin() + static_cast<std::ptrdiff_t>(filled), rates);
    return static_cast<int32_t>(filled);
}

KorcamBool KorcamDisplayPropertyPage(CameraHandle handle, void* parentWindow) {
    Call call(kDisplayPropertyPage, handle, {});
    if (!call.ok()) return 0;
    if (!parentWindow) return fail(kErrorInvalidParameter, 0);
    return 1;  // the page is modeless and closes itself
}

KorcamBool KorcamTakeVideo(CameraHandle handle, int32_t frameCount, void* buffer) {
    Call call(kTakeVideo, handle, {d(frameCount)});
    if (!call.ok()) return 0;
    Camera& camera = call.camera();
    if (!camera.streaming) return fail(kErrorWrongState, 0);
    // The buffer holds one frame: the only count callers may ask for.
    if (frameCount != 1 || !buffer) return fail(kErrorInvalidParameter, 0);
    if (!addressable(camera.format)) return fail(kErrorInvalidParameter, 0);
    const FrameRecipe recipe =
        deliver(camera, recipeFor(camera, camera.format, camera.propertyValue(KORCAM_PROP_EXPOSURE, kDefaultExposure),
                                  camera.propertyValue(KORCAM_PROP_GAIN, kDefaultGain)));
    const Clock::duration wait = simulator().pacing.frameWait(camera, camera.frameRate);
    call.unlock();
    if (wait > Clock::duration::zero()) std::this_thread::sleep_for(wait);
    draw(recipe, buffer);
    return 1;
}

KorcamBool KorcamTakeSnapshot(CameraHandle handle, const SnapshotSettings* settings, void* buffer) {
    Call call(kTakeSnapshot, handle, {});
    if (!call.ok()) return 0;
    if (!settings || !buffer) return fail(kErrorInvalidParameter, 0);
    Camera& camera = call.camera();
    camera.snapshot = *settings;
    if (!formatAccepted(camera.model, settings->format)) return fail(KORCAM_ERROR_FORMAT_NOT_SUPPORTED, 0);
    if (!addressable(settings->format)) return fail(kErrorInvalidParameter, 0);
    if (settings->hardwareTriggerEnable) return triggerTimeout(call, *settings);
    const FrameRecipe recipe = deliver(camera, recipeFor(camera, settings->format, settings->exposure, settings->gain));
    call.unlock();
    draw(recipe, buffer);
    return 1;
}

KorcamBool KorcamEnableFastFrames(CameraHandle handle, const SnapshotSettings* settings) {
    Call call(kEnableFastFrames, handle, {});
    if (!call.ok()) return 0;
    if (!settings) return fail(kErrorInvalidParameter, 0);
    Camera& camera = call.camera();
    camera.snapshot = *settings;
    if (!formatAccepted(camera.model, settings->format)) return fail(KORCAM_ERROR_FORMAT_NOT_SUPPORTED, 0);
    if (!addressable(settings->format)) return fail(kErrorInvalidParameter, 0);
    camera.fastSettings = *settings;
    camera.fastFrames = true;
    camera.nextFrameDue = Clock::time_point{};
    return 1;
}

KorcamBool KorcamTakeFastFrame(CameraHandle handle, void* buffer) {
    Call call(kTakeFastFrame, handle, {});
    if (!call.ok()) return 0;
    Camera& camera = call.camera();
    if (!camera.fastFrames) return fail(kErrorWrongState, 0);
    if (!buffer) return fail(kErrorInvalidParameter, 0);
    const SnapshotSettings& settings = camera.fastSettings;
    if (settings.hardwareTriggerEnable) return triggerTimeout(call, settings);
    const FrameRecipe recipe = deliver(camera, recipeFor(camera, settings.format, settings.exposure, settings.gain));
    const Clock::duration wait = simulator().pacing.frameWait(camera, camera.frameRate);
    call.unlock();
    if (wait > Clock::duration::zero()) std::this_thread::sleep_for(wait);
    draw(recipe, buffer);
    return 1;
}

KorcamBool KorcamDisableFastFrames(CameraHandle handle) {
    Call call(kDisableFastFrames, handle, {});
    if (!call.ok()) return 0;
    if (!call.camera().fastFrames) return fail(kErrorWrongState, 0);
    call.camera().fastFrames = false;
    return 1;
}

KorcamBool KorcamConvertFrameToRgb24(CameraHandle handle, void* destination, const void* source, uint32_t width,
                                     uint32_t height, uint32_t pixelFormat, const ConversionParams* params) {
    return convert(kConvertFrameToRgb24, handle, destination, source, width, height, pixelFormat, params);
}

KorcamBool KorcamConvertFrameToRgb48(CameraHandle handle, void* destination, const void* source, uint32_t width,
                                     uint32_t height, uint32_t pixelFormat, const ConversionParams* params) {
    return convert(kConvertFrameToRgb48, handle, destination, source, width, height, pixelFormat, params);
}

KorcamBool KorcamGetProperty(CameraHandle handle, int32_t id, float* value, int32_t* flags) {
    Call call(kGetProperty, handle, {d(id)});
    if (!call.ok()) return 0;
    if (!value || !flags) return fail(kErrorInvalidParameter, 0);
    const auto& properties = call.camera().properties;
    const auto it = properties.find(id);
    if (it == properties.end()) return fail(KORCAM_ERROR_NOT_SUPPORTED, 0);
    *value = it->second.value;
    *flags = it->second.flags;
    return 1;
}

KorcamBool KorcamSetProperty(CameraHandle handle, int32_t id, float value, int32_t flags) {
    Call call(kSetProperty, handle, {d(id), value, d(flags)});
    if (!call.ok()) return 0;
    auto& properties = call.camera().properties;
    const auto it = properties.find(id);
    if (it == properties.end()) return fail(KORCAM_ERROR_NOT_SUPPORTED, 0);
    Property& p = it->second;
    if (!p.writable) return fail(kErrorReadOnly, 0);
    if (std::isnan(value)) return fail(kErrorInvalidParameter, 0);
    // Out-of-range values are clamped, as the camera's registers would.
    p.value = std::min(std::max(value, p.minimum), p.maximum);
    p.flags = flags;
    return 1;
}

KorcamBool KorcamPropertyRange(CameraHandle handle, int32_t id, float* minimum, float* maximum, float* defaultValue,
                               int32_t* flags) {
    Call call(kPropertyRange, handle, {d(id)});
    if (!call.ok()) return 0;
    if (!minimum || !maximum || !defaultValue || !flags) return fail(kErrorInvalidParameter, 0);
    const auto& properties = call.camera().properties;
    const auto it = properties.find(id);
    if (it == properties.end()) return fail(KORCAM_ERROR_NOT_SUPPORTED, 0);
    *minimum = it->second.minimum;
    *maximum = it->second.maximum;
    *defaultValue = it->second.defaultValue;
    *flags = it->second.flags;
    return 1;
}

uint32_t KorcamGetLastError(void) {
    Call call(kGetLastError, {});
    return lastError();
}

SyncGroupHandle KorcamEnableSynchronousSnapshots(uint32_t count, const CameraHandle* handles,
                                                 SnapshotSettings* const* settings) {
    Call call(kEnableSynchronousSnapshots, {d(count)});
    if (!call.ok()) return 0;
    if (count == 0 || !handles || !settings) return fail(kErrorInvalidParameter, SyncGroupHandle{0});
    Simulator& sim = simulator();
    std::vector<SyncMember> members;
    for (uint32_t i = 0; i < count; ++i) {
        const auto it = sim.handles.find(handles[i]);
        if (it == sim.handles.end()) return fail(kErrorInvalidHandle, SyncGroupHandle{0});
        if (it->second >= sim.reachable()) return fail(kErrorNoSuchCamera, SyncGroupHandle{0});
        if (!settings[i]) return fail(kErrorInvalidParameter, SyncGroupHandle{0});
        Camera& camera = sim.cameras[it->second];
        camera.snapshot = *settings[i];
        if (!formatAccepted(camera.model, settings[i]->format))
            return fail(KORCAM_ERROR_FORMAT_NOT_SUPPORTED, SyncGroupHandle{0});
        if (!addressable(settings[i]->format)) return fail(kErrorInvalidParameter, SyncGroupHandle{0});
        members.push_back(SyncMember{handles[i], *settings[i]});
    }
    const SyncGroupHandle group = sim.newGroup();
    sim.groups[group] = std::move(members);
    return group;
}

KorcamBool KorcamTakeSynchronousSnapshots(SyncGroupHandle group, void* const* buffers) {
    Call call(kTakeSynchronousSnapshots, {});
    if (!call.ok()) return 0;
    Simulator& sim = simulator();
    const auto git = sim.groups.find(group);
    if (git == sim.groups.end()) return fail(kErrorInvalidHandle, 0);
    if (!buffers) return fail(kErrorInvalidParameter, 0);
    const std::vector<SyncMember>& members = git->second;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto it = sim.handles.find(members[i].handle);
        if (it == sim.handles.end()) return fail(kErrorInvalidHandle, 0);
        if (it->second >= sim.reachable()) return fail(kErrorNoSuchCamera, 0);
        if (!buffers[i]) return fail(kErrorInvalidParameter, 0);
    }
    for (const SyncMember& member : members) {
        if (member.settings.hardwareTriggerEnable) return triggerTimeout(call, member.settings);
    }
    std::vector<FrameRecipe> recipes;
    for (const SyncMember& member : members) {
        Camera& camera = sim.cameras[sim.handles[member.handle]];
        recipes.push_back(
            deliver(camera, recipeFor(camera, member.settings.format, member.settings.exposure, member.settings.gain)));
    }
    call.unlock();
    for (std::size_t i = 0; i < recipes.size(); ++i) draw(recipes[i], buffers[i]);
    return 1;
}

KorcamBool KorcamDisableSynchronousSnapshots(SyncGroupHandle group) {
    Call call(kDisableSynchronousSnapshots, {});
    if (!call.ok()) return 0;
    if (simulator().groups.erase(group) == 0) return fail(kErrorInvalidHandle, 0);
    return 1;
}

KorcamBool KorcamGpioRead(CameraHandle handle, uint8_t* first, uint8_t* second) {
    Call call(kGpioRead, handle, {});
    if (!call.ok()) return 0;
    if (!first || !second) return fail(kErrorInvalidParameter, 0);
    *first = call.camera().gpioValue;
    *second = call.camera().gpoMask;
    return 1;
}

KorcamBool KorcamGpioWrite(CameraHandle handle, int32_t value) {
    Call call(kGpioWrite, handle, {d(value)});
    if (!call.ok()) return 0;
    call.camera().gpioValue = static_cast<uint8_t>(value & 0xFF);
    return 1;
}

KorcamBool KorcamGpoSelect(CameraHandle handle, int32_t mask) {
    Call call(kGpoSelect, handle, {d(mask)});
    if (!call.ok()) return 0;
    call.camera().gpoMask = static_cast<uint8_t>(mask & 0xFF);
    return 1;
}

KorcamBool KorcamQueryVersion(CameraHandle handle, VersionInfo* version) {
    Call call(kQueryVersion, handle, {});
    if (!call.ok()) return 0;
    if (!version) return fail(kErrorInvalidParameter, 0);
    const CameraSpec& s = call.camera().model;
    *version = VersionInfo{s.firmware, s.fpga, s.api, s.driver, s.serial, s.reserved};
    return 1;
}

KorcamBool KorcamQueryExternInterface(CameraHandle handle, uint32_t* interfaceType) {
    Call call(kQueryExternInterface, handle, {});
    if (!call.ok()) return 0;
    if (!interfaceType) return fail(kErrorInvalidParameter, 0);
    *interfaceType = call.camera().model.interfaceType;
    return 1;
}

KorcamBool KorcamGetCameraId(CameraHandle handle, uint32_t* id) {
    Call call(kGetCameraId, handle, {});
    if (!call.ok()) return 0;
    if (!id) return fail(kErrorInvalidParameter, 0);
    *id = call.camera().model.id;
    return 1;
}

KorcamBool KorcamGetTruePixelDepth(CameraHandle handle, uint32_t* depth) {
    Call call(kGetTruePixelDepth, handle, {});
    if (!call.ok()) return 0;
    if (!depth) return fail(kErrorInvalidParameter, 0);
    *depth = call.camera().model.pixelDepth;
    return 1;
}

KorcamBool KorcamOneShotAutoExposure(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d5, int32_t e) {
    Call call(kOneShotAutoExposure, handle, {d(a), d(b), d(c), d(d5), d(e)});
    return call.ok() ? 1 : 0;
}

KorcamBool KorcamOneShotAutoIris(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d5, int32_t e) {
    Call call(kOneShotAutoIris, handle, {d(a), d(b), d(c), d(d5), d(e)});
    return call.ok() ? 1 : 0;
}

KorcamBool KorcamOneShotAutoWhiteBalance(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d4) {
    Call call(kOneShotAutoWhiteBalance, handle, {d(a), d(b), d(c), d(d4)});
    return call.ok() ? 1 : 0;
}

KorcamBool KorcamDigitalWhiteBalance(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d4) {
    Call call(kDigitalWhiteBalance, handle, {d(a), d(b), d(c), d(d4)});
    return call.ok() ? 1 : 0;
}

KorcamBool KorcamOneShotAutoWhiteBalanceEx(CameraHandle handle, float x, float y, int32_t a, int32_t b, int32_t c,
                                           int32_t d4) {
    Call call(kOneShotAutoWhiteBalanceEx, handle, {x, y, d(a), d(b), d(c), d(d4)});
    return call.ok() ? 1 : 0;
}

KorcamBool KorcamDigitalWhiteBalanceEx(CameraHandle handle, float x, float y, int32_t a, int32_t b, int32_t c,
                                       int32_t d4) {
    Call call(kDigitalWhiteBalanceEx, handle, {x, y, d(a), d(b), d(c), d(d4)});
    return call.ok() ? 1 : 0;
}

KorcamBool KorcamInitAutoLens(CameraHandle handle, uint8_t enable) {
    Call call(kInitAutoLens, handle, {d(enable)});
    return call.ok() ? 1 : 0;
}

KorcamBool KorcamAutoFocusStart(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d4, float x, float y,
                                float z, int32_t e, int32_t f) {
    Call call(kAutoFocusStart, handle, {d(a), d(b), d(c), d(d4), x, y, z, d(e), d(f)});
    if (!call.ok()) return 0;
    call.camera().focusing = true;
    call.camera().focusProgress = 0;
    return 1;
}

KorcamBool KorcamAutoFocusWait(CameraHandle handle, uint32_t timeoutMs) {
    Call call(kAutoFocusWait, handle, {d(timeoutMs)});
    if (!call.ok()) return 0;
    Camera& camera = call.camera();
    if (camera.focusing) {
        camera.focusing = false;
        camera.focusProgress = 100;
    }
    return 1;
}

KorcamBool KorcamAutoFocusStop(CameraHandle handle) {
    Call call(kAutoFocusStop, handle, {});
    if (!call.ok()) return 0;
    call.camera().focusing = false;
    return 1;
}

KorcamBool KorcamAutoFocusQueryProgress(CameraHandle handle, float* progress) {
    Call call(kAutoFocusQueryProgress, handle, {});
    if (!call.ok()) return 0;
    if (!progress) return fail(kErrorInvalidParameter, 0);
    Camera& camera = call.camera();
    if (camera.focusing) {
        camera.focusProgress = std::min(100.0f, camera.focusProgress + kFocusStep);
        if (camera.focusProgress >= 100) camera.focusing = false;
    }
    *progress = camera.focusProgress;
    return 1;
}

}  // extern "C"
