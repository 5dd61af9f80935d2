// The control interface of korcamsim.h over the simulator's state.
#include "korcamsim.h"
#include "simulator.h"

#include <limits>
#include <stdexcept>

namespace korcamsim {

using namespace detail;

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

const std::vector<std::string>& operationNames() { return operationNameList(); }

void failOperation(const std::string& op, uint32_t code, uint64_t count, uint64_t skip) {
    const Op operation = requireOperation(op);
    if (operation == kGetLastError) throw std::invalid_argument("KorcamGetLastError cannot fail");
    if (count == 0) throw std::invalid_argument("a fault must fail at least one call");
    Simulator& sim = simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.faults.set(operation, Fault{code, count, skip});
}

void clearFaults() {
    Simulator& sim = simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.faults.clear();
}

std::vector<CallRecord> calls() {
    Simulator& sim = simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return sim.log.all();
}

std::size_t callCount(const std::string& op, uint32_t cameraNumber) {
    const Op operation = requireOperation(op);
    Simulator& sim = simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return sim.log.count(operation, cameraNumber);
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
    sim.pacing.set(on);
}

void forceFormat(int32_t cameraNumber, const FrameFormat& format) {
    Simulator& sim = simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.camera(cameraNumber).format = format;
}

}  // namespace korcamsim
