// The virtual camera library: every SDK operation of korcam.h over a rig of
// simulated cameras, with the control interface of korcamsim.h.
//
// One mutex guards the whole state; frames are drawn and converted outside it
// so that cameras on several threads stream at once. Last errors are kept per
// thread, as the maker's library keeps them.
#include "korcam.h"
#include "korcamsim.h"

#include "frames.h"
#include "rig.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>

namespace {

using namespace korcamsim;
using namespace korcamsim::detail;
using Clock = std::chrono::steady_clock;

enum Op : int {
  kNumCameras,
  kEnumCameras,
  kCameraOpen,
  kCameraClose,
  kGetFormat,
  kSetFormat,
  kStreamVideoControl,
  kDestroyDisplayWindow,
  kEnumAvailableFrameRates,
  kDisplayPropertyPage,
  kTakeVideo,
  kTakeSnapshot,
  kTakeFastFrame,
  kEnableFastFrames,
  kDisableFastFrames,
  kConvertFrameToRgb24,
  kConvertFrameToRgb48,
  kGetProperty,
  kSetProperty,
  kPropertyRange,
  kGetLastError,
  kEnableSynchronousSnapshots,
  kTakeSynchronousSnapshots,
  kDisableSynchronousSnapshots,
  kGpioRead,
  kGpioWrite,
  kGpoSelect,
  kQueryVersion,
  kQueryExternInterface,
  kGetCameraId,
  kGetTruePixelDepth,
  kOneShotAutoExposure,
  kOneShotAutoIris,
  kOneShotAutoWhiteBalance,
  kDigitalWhiteBalance,
  kOneShotAutoWhiteBalanceEx,
  kDigitalWhiteBalanceEx,
  kInitAutoLens,
  kAutoFocusStart,
  kAutoFocusWait,
  kAutoFocusStop,
  kAutoFocusQueryProgress,
  kOperationCount
};

const std::vector<std::string>& names() {
  static const std::vector<std::string> list = {
      "KorcamNumCameras", "KorcamEnumCameras", "KorcamCameraOpen", "KorcamCameraClose", "KorcamGetFormat",
      "KorcamSetFormat", "KorcamStreamVideoControl", "KorcamDestroyDisplayWindow",
      "KorcamEnumAvailableFrameRates", "KorcamDisplayPropertyPage", "KorcamTakeVideo", "KorcamTakeSnapshot",
      "KorcamTakeFastFrame", "KorcamEnableFastFrames", "KorcamDisableFastFrames", "KorcamConvertFrameToRgb24",
      "KorcamConvertFrameToRgb48", "KorcamGetProperty", "KorcamSetProperty", "KorcamPropertyRange",
      "KorcamGetLastError", "KorcamEnableSynchronousSnapshots", "KorcamTakeSynchronousSnapshots",
      "KorcamDisableSynchronousSnapshots", "KorcamGpioRead", "KorcamGpioWrite", "KorcamGpoSelect",
      "KorcamQueryVersion", "KorcamQueryExternInterface", "KorcamGetCameraId", "KorcamGetTruePixelDepth",
      "KorcamOneShotAutoExposure", "KorcamOneShotAutoIris", "KorcamOneShotAutoWhiteBalance",
      "KorcamDigitalWhiteBalance", "KorcamOneShotAutoWhiteBalanceEx", "KorcamDigitalWhiteBalanceEx",
      "KorcamInitAutoLens", "KorcamAutoFocusStart", "KorcamAutoFocusWait", "KorcamAutoFocusStop",
      "KorcamAutoFocusQueryProgress"};
  return list;
}

// Auto-focus advances this much per progress query; waiting completes it.
constexpr float kFocusStep = 25.0f;

struct Camera {
  explicit Camera(const CameraSpec& s)
      : model(s), format(initialFormat(s)), frameRate(initialFrameRate(s)), properties(initialProperties(s)) {}

  CameraSpec model;
  FrameFormat format;
  float frameRate;
  std::map<int32_t, Property> properties;
  uint32_t handles = 0;
  bool streaming = false;
  bool window = false;
  bool fastFrames = false;
  SnapshotSettings fastSettings{};
  SnapshotSettings snapshot{};
  uint64_t frames = 0;
  std::optional<FrameRecipe> lastFrame;
  uint8_t gpioValue = 0;
  uint8_t gpoMask = 0;
  bool focusing = false;
  float focusProgress = 0;
  Clock::time_point nextFrameDue{};

  float propertyValue(int32_t id, float fallback) const {
    const auto it = properties.find(id);
    return it == properties.end() ? fallback : it->second.value;
  }
  bool littleEndian() const {
    const auto it = properties.find(KORCAM_PROP_COLOR_FORMAT);
    return it != properties.end() && static_cast<uint32_t>(it->second.flags) == KORCAM_COLOR_FLAGS_LITTLE_ENDIAN;
  }
  bool color() const { return propertyValue(KORCAM_PROP_COLOR_FORMAT, 1.0f) != 0.0f; }
};

struct Fault {
  uint32_t code = 0;
  uint64_t remaining = 0;  // kAlways: never runs out
  uint64_t skip = 0;
};

struct SyncMember {
  CameraHandle handle;
  SnapshotSettings settings;
};

struct Simulator {
  std::mutex mutex;
  std::vector<Camera> cameras;
  std::unordered_map<CameraHandle, uint32_t> handles;  // to camera index
  CameraHandle lastHandle = 0x1000;                     // never reused, not even across resets
  std::unordered_map<SyncGroupHandle, std::vector<SyncMember>> groups;
  SyncGroupHandle lastGroup = 0x100;
  std::optional<int32_t> countOverride;
  std::array<std::optional<Fault>, kOperationCount> faults;
  std::deque<CallRecord> log;
  bool pacing = true;
  std::unique_ptr<FrameGenerator> generator = makeTestPatternGenerator();

  Simulator() { resetLocked(); }

  void resetLocked() {
    installRig(defaultRig());
    countOverride.reset();
    for (auto& fault : faults) fault.reset();
    log.clear();
    pacing = true;
  }

  void installRig(const std::vector<CameraSpec>& rig) {
    cameras.clear();
    for (const CameraSpec& model : rig) cameras.emplace_back(model);
    handles.clear();
    groups.clear();
  }

  // Cameras that KorcamCameraOpen finds: the rig less the unplugged ones.
  uint32_t reachable() const {
    const uint32_t attached = static_cast<uint32_t>(cameras.size());
    if (countOverride && *countOverride >= 0) return std::min(attached, static_cast<uint32_t>(*countOverride));
    return attached;
  }

  CameraHandle newHandle() {
    do {
      ++lastHandle;
    } while (lastHandle == 0 || handles.count(lastHandle) != 0);
    return lastHandle;
  }

  SyncGroupHandle newGroup() {
    do {
      ++lastGroup;
    } while (lastGroup == 0 || groups.count(lastGroup) != 0);
    return lastGroup;
  }

  // The injected failure code for this call of op, or 0.
  uint32_t takeFault(Op op) {
    std::optional<Fault>& fault = faults[op];
    if (!fault) return 0;
    if (fault->skip > 0) {
      --fault->skip;
      return 0;
    }
    const uint32_t code = fault->code;
    if (fault->remaining != kAlways && --fault->remaining == 0) fault.reset();
    return code;
  }

  void record(Op op, uint32_t camera, std::initializer_list<double> args) {
    if (log.size() >= kCallLogCapacity) log.pop_front();
    log.push_back(CallRecord{names()[op], camera, std::vector<double>(args)});
  }

  Camera& camera(int32_t number) {
    if (number < 1 || static_cast<uint64_t>(number) > cameras.size())
      throw std::out_of_range("camera " + std::to_string(number) + " is not attached (the rig has " +
                              std::to_string(cameras.size()) + ")");
    return cameras[static_cast<std::size_t>(number) - 1];
  }
};

Simulator& simulator() {
  // Never destroyed: threads of a host may still call in while it exits.
  static Simulator* instance = new Simulator();
  return *instance;
}

thread_local uint32_t lastError = 0;

template <typename Result>
Result fail(uint32_t code, Result result) {
  lastError = code;
  return result;
}

// One SDK call: takes the lock, logs the call, applies an injected fault and,
// for operations on a handle, resolves the camera behind it.
class Call {
 public:
  Call(Op op, std::initializer_list<double> args) : lock_(simulator().mutex) {
    Simulator& sim = simulator();
    sim.record(op, 0, args);
    error_ = sim.takeFault(op);
  }

  Call(Op op, CameraHandle handle, std::initializer_list<double> args) : lock_(simulator().mutex) {
    Simulator& sim = simulator();
    const auto it = sim.handles.find(handle);
    if (it != sim.handles.end()) {
      index_ = it->second;
      camera_ = &sim.cameras[index_];
    }
    sim.record(op, camera_ ? index_ + 1 : 0, args);
    error_ = sim.takeFault(op);
    if (error_ != 0) return;
    if (!camera_)
      error_ = kErrorInvalidHandle;
    else if (index_ >= sim.reachable() && op != kCameraClose)
      error_ = kErrorNoSuchCamera;
  }

  // For KorcamCameraOpen, which names a camera by number.
  struct ByNumber {
    int32_t cameraNumber;
  };
  Call(Op op, ByNumber number) : lock_(simulator().mutex) {
    const int32_t cameraNumber = number.cameraNumber;
    Simulator& sim = simulator();
    const bool attached = cameraNumber >= 1 && static_cast<uint64_t>(cameraNumber) <= sim.cameras.size();
    sim.record(op, attached ? static_cast<uint32_t>(cameraNumber) : 0, {static_cast<double>(cameraNumber)});
    error_ = sim.takeFault(op);
  }

  // False after setting the last error when the call must fail.
  bool ok() const {
    if (error_ == 0) return true;
    lastError = error_;
    return false;
  }

  Camera& camera() const { return *camera_; }
  uint32_t cameraIndex() const { return index_; }
  void unlock() { lock_.unlock(); }

 private:
  std::unique_lock<std::mutex> lock_;
  Camera* camera_ = nullptr;
  uint32_t index_ = 0;
  uint32_t error_ = 0;
};

bool binningAccepted(uint16_t factor, uint32_t size) {
  return (factor == 1 || factor == 2 || factor == 4) && size % factor == 0;
}

bool formatAccepted(const CameraSpec& model, const FrameFormat& f) {
  if (f.width == 0 || f.height == 0) return false;
  if (static_cast<uint64_t>(f.xOffset) + f.width > model.maxWidth) return false;
  if (static_cast<uint64_t>(f.yOffset) + f.height > model.maxHeight) return false;
  if (!binningAccepted(f.xBinSub, f.width) || !binningAccepted(f.yBinSub, f.height)) return false;
  return f.pixelFormat == KORCAM_PIXEL_8BIT || (f.pixelFormat == KORCAM_PIXEL_16BIT && model.bits16);
}

bool rateAccepted(const CameraSpec& model, float rate) {
  for (float offered : model.frameRates)
    if (offered == rate) return true;
  return false;
}

// A frame must be addressable on this machine (32-bit builds included).
bool addressable(const FrameFormat& format) {
  return frameBytes(format) <= static_cast<uint64_t>(std::numeric_limits<std::size_t>::max());
}

FrameRecipe recipeFor(const Camera& camera, const FrameFormat& format, double exposure, double gain) {
  FrameRecipe recipe;
  recipe.sensorWidth = camera.model.maxWidth;
  recipe.sensorHeight = camera.model.maxHeight;
  recipe.format = format;
  recipe.color = camera.color();
  recipe.littleEndian = camera.littleEndian();
  recipe.brightness = brightnessFactor(exposure, gain);
  return recipe;
}

// Counts the frame and remembers how it was made; the caller draws it.
FrameRecipe deliver(Camera& camera, FrameRecipe recipe) {
  recipe.number = ++camera.frames;
  camera.lastFrame = recipe;
  return recipe;
}

// With pacing on, how long the caller waits for the camera's next frame.
Clock::duration frameWait(Camera& camera, float rate) {
  if (!simulator().pacing || !(rate > 0)) return Clock::duration::zero();
  const auto now = Clock::now();
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
  const auto due = std::max(camera.nextFrameDue, now);
  camera.nextFrameDue = due + period;
  return due - now;
}

void draw(const FrameRecipe& recipe, void* buffer) {
  simulator().generator->render(recipe, static_cast<uint8_t*>(buffer));
}

// Trigger inputs of the virtual cameras never fire: a triggered frame times out.
KorcamBool triggerTimeout(Call& call, const SnapshotSettings& settings) {
  const bool pacing = simulator().pacing;
  call.unlock();
  if (pacing && settings.timeout > 0) {
    const double ms = std::min<double>(settings.timeout, 10000.0);
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
  }
  return fail(KORCAM_ERROR_TIMEOUT, 0);
}

KorcamBool convert(Op op, CameraHandle handle, void* destination, const void* source, uint32_t width,
                   uint32_t height, uint32_t pixelFormat, const ConversionParams* params) {
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
    default:
      return fail(KORCAM_ERROR_NOT_SUPPORTED, 0);
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
  const FrameRecipe recipe = deliver(camera, recipeFor(camera, camera.format,
                                                       camera.propertyValue(KORCAM_PROP_EXPOSURE, kDefaultExposure),
                                                       camera.propertyValue(KORCAM_PROP_GAIN, kDefaultGain)));
  const Clock::duration wait = frameWait(camera, camera.frameRate);
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
  const Clock::duration wait = frameWait(camera, camera.frameRate);
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
  return lastError;
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
    if (!formatAccepted(camera.model, settings[i]->format)) return fail(KORCAM_ERROR_FORMAT_NOT_SUPPORTED, SyncGroupHandle{0});
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
    recipes.push_back(deliver(camera, recipeFor(camera, member.settings.format, member.settings.exposure,
                                                member.settings.gain)));
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

KorcamBool KorcamOneShotAutoExposure(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d5,
                                     int32_t e) {
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

// ---------------------------------------------------------------------------
// Control interface

namespace korcamsim {

void reset() {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.resetLocked();
}

void setRig(const std::vector<CameraSpec>& cameras) {
  for (const CameraSpec& model : cameras) validateSpec(model);
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.installRig(cameras);
}

void reattach() {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  std::vector<CameraSpec> rig;
  for (const Camera& camera : sim.cameras) rig.push_back(camera.model);
  sim.installRig(rig);
}

void setCameraCount(int32_t count) {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.countOverride = count;
}

void clearCameraCount() {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.countOverride.reset();
}

const std::vector<std::string>& operationNames() { return names(); }

void failOperation(const std::string& op, uint32_t code, uint64_t count, uint64_t skip) {
  const auto& list = names();
  const auto it = std::find(list.begin(), list.end(), op);
  if (it == list.end()) throw std::invalid_argument("no SDK operation is called '" + op + "'");
  const int index = static_cast<int>(it - list.begin());
  if (index == kGetLastError) throw std::invalid_argument("KorcamGetLastError cannot fail");
  if (count == 0) throw std::invalid_argument("a fault must fail at least one call");
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.faults[static_cast<std::size_t>(index)] = Fault{code, count, skip};
}

void clearFaults() {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  for (auto& fault : sim.faults) fault.reset();
}

std::vector<CallRecord> calls() {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  return std::vector<CallRecord>(sim.log.begin(), sim.log.end());
}

void clearCalls() {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.log.clear();
}

CameraState cameraState(int32_t cameraNumber) {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  const Camera& camera = sim.camera(cameraNumber);
  CameraState state;
  state.open = camera.handles > 0;
  state.handles = camera.handles;
  state.streaming = camera.streaming;
  state.window = camera.window;
  state.fastFrames = camera.fastFrames;
  state.format = camera.format;
  state.frameRate = camera.frameRate;
  state.snapshot = camera.snapshot;
  state.framesDelivered = camera.frames;
  state.gpioValue = camera.gpioValue;
  state.gpoMask = camera.gpoMask;
  state.focusProgress = camera.focusProgress;
  return state;
}

Frame lastFrame(int32_t cameraNumber) {
  Simulator& sim = simulator();
  std::optional<FrameRecipe> recipe;
  {
    std::lock_guard<std::mutex> lock(sim.mutex);
    recipe = sim.camera(cameraNumber).lastFrame;
  }
  Frame frame;
  if (!recipe) return frame;
  // Frames are deterministic: drawing the recipe again gives the bytes delivered.
  frame.bytes.resize(static_cast<std::size_t>(frameBytes(recipe->format)));
  sim.generator->render(*recipe, frame.bytes.data());
  frame.width = deliveredWidth(recipe->format);
  frame.height = deliveredHeight(recipe->format);
  frame.pixelFormat = recipe->format.pixelFormat;
  frame.number = recipe->number;
  return frame;
}

std::vector<uint8_t> convertFrame(int32_t cameraNumber, const std::vector<uint8_t>& raw, uint32_t width,
                                  uint32_t height, uint32_t pixelFormat) {
  if (pixelFormat != KORCAM_PIXEL_8BIT && pixelFormat != KORCAM_PIXEL_16BIT)
    throw std::invalid_argument("the pixel format must be 0 or 1");
  if (width == 0 || height == 0) throw std::invalid_argument("width and height must be positive");
  const uint64_t sampleBytes = pixelFormat == KORCAM_PIXEL_8BIT ? 1 : 2;
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  if (pixels > std::numeric_limits<std::size_t>::max() / 6) throw std::invalid_argument("frame too large");
  if (raw.size() != pixels * sampleBytes)
    throw std::invalid_argument("raw holds " + std::to_string(raw.size()) + " bytes, the frame needs " +
                                std::to_string(pixels * sampleBytes));
  bool color = false;
  bool littleEndian = false;
  {
    Simulator& sim = simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    const Camera& camera = sim.camera(cameraNumber);
    color = camera.color();
    littleEndian = camera.littleEndian();
  }
  std::vector<uint8_t> out(static_cast<std::size_t>(pixels * 3 * sampleBytes));
  convertToBgr(raw.data(), width, height, pixelFormat, color, littleEndian, out.data());
  return out;
}

namespace {

Property& storedProperty(int32_t cameraNumber, int32_t id) {
  Camera& camera = simulator().camera(cameraNumber);
  auto it = camera.properties.find(id);
  if (it == camera.properties.end()) it = camera.properties.emplace(id, Property{}).first;
  return it->second;
}

}  // namespace

void setPropertyValue(int32_t cameraNumber, int32_t id, float value) {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  Camera& camera = sim.camera(cameraNumber);
  const bool known = camera.properties.count(id) != 0;
  Property& p = storedProperty(cameraNumber, id);
  p.value = value;
  if (!known) p.minimum = p.maximum = p.defaultValue = value;
}

void setPropertyFlags(int32_t cameraNumber, int32_t id, int32_t flags) {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  storedProperty(cameraNumber, id).flags = flags;
}

void setPacing(bool on) {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.pacing = on;
}

void forceFormat(int32_t cameraNumber, const FrameFormat& format) {
  Simulator& sim = simulator();
  std::lock_guard<std::mutex> lock(sim.mutex);
  sim.camera(cameraNumber).format = format;
}

}  // namespace korcamsim
