#include "simulator.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace korcamsim::detail {

void Simulator::resetLocked() {
    installRig(defaultRig());
    countOverride.reset();
    faults.clear();
    log.clear();
    pacing.set(true);
}

void Simulator::installRig(const std::vector<CameraSpec>& rig) {
    cameras.clear();
    for (const CameraSpec& model : rig) cameras.emplace_back(model);
    handles.clear();
    groups.clear();
}

uint32_t Simulator::reachable() const {
    const uint32_t attached = static_cast<uint32_t>(cameras.size());
    if (countOverride && *countOverride >= 0) return std::min(attached, static_cast<uint32_t>(*countOverride));
    return attached;
}

CameraHandle Simulator::newHandle() {
    do {
        ++lastHandle;
    } while (lastHandle == 0 || handles.count(lastHandle) != 0);
    return lastHandle;
}

SyncGroupHandle Simulator::newGroup() {
    do {
        ++lastGroup;
    } while (lastGroup == 0 || groups.count(lastGroup) != 0);
    return lastGroup;
}

Camera& Simulator::camera(int32_t number) {
    if (number < 1 || static_cast<uint64_t>(number) > cameras.size())
        throw std::out_of_range("camera " + std::to_string(number) + " is not attached (the rig has " +
                                std::to_string(cameras.size()) + ")");
    return cameras[static_cast<std::size_t>(number) - 1];
}

Simulator& simulator() {
    static Simulator* instance = new Simulator();
    return *instance;
}

uint32_t& lastError() {
    thread_local uint32_t error = 0;
    return error;
}

Call::Call(Op op, std::initializer_list<double> args) : lock_(simulator().mutex) {
    Simulator& sim = simulator();
    sim.log.record(op, 0, args);
    error_ = sim.faults.take(op);
}

Call::Call(Op op, CameraHandle handle, std::initializer_list<double> args) : lock_(simulator().mutex) {
    Simulator& sim = simulator();
    const auto it = sim.handles.find(handle);
    if (it != sim.handles.end()) {
        index_ = it->second;
        camera_ = &sim.cameras[index_];
    }
    sim.log.record(op, camera_ ? index_ + 1 : 0, args);
    error_ = sim.faults.take(op);
    if (error_ != 0) return;
    if (!camera_)
        error_ = kErrorInvalidHandle;
    else if (index_ >= sim.reachable() && op != kCameraClose)
        error_ = kErrorNoSuchCamera;
}

Call::Call(Op op, ByNumber number) : lock_(simulator().mutex) {
    const int32_t cameraNumber = number.cameraNumber;
    Simulator& sim = simulator();
    const bool attached = cameraNumber >= 1 && static_cast<uint64_t>(cameraNumber) <= sim.cameras.size();
    sim.log.record(op, attached ? static_cast<uint32_t>(cameraNumber) : 0, {static_cast<double>(cameraNumber)});
    error_ = sim.faults.take(op);
}

bool Call::ok() const {
    if (error_ == 0) return true;
    lastError() = error_;
    return false;
}

}  // namespace korcamsim::detail
