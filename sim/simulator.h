// The whole state of the virtual camera library behind one mutex, and the
// frame of every SDK call: lock, log, injected fault, camera behind a handle.
// Last errors are kept per thread, as the maker's library keeps them.
#pragma once

#include "camera.h"
#include "faults.h"
#include "pacing.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace korcamsim::detail {

struct SyncMember {
    CameraHandle handle;
    SnapshotSettings settings;
};

struct Simulator {
    std::mutex mutex;
    std::vector<Camera> cameras;
    std::unordered_map<CameraHandle, uint32_t> handles;  // to camera index
    CameraHandle lastHandle = 0x1000;                    // never reused, not even across resets
    std::unordered_map<SyncGroupHandle, std::vector<SyncMember>> groups;
    SyncGroupHandle lastGroup = 0x100;
    std::optional<int32_t> countOverride;
    FaultSchedule faults;
    CallLog log;
    Pacing pacing;
    std::unique_ptr<FrameGenerator> generator = makeTestPatternGenerator();

    Simulator() { resetLocked(); }

    void resetLocked();
    void installRig(const std::vector<CameraSpec>& rig);
    // Cameras that KorcamCameraOpen finds: the rig less the unplugged ones.
    uint32_t reachable() const;
    CameraHandle newHandle();
    SyncGroupHandle newGroup();
    // Camera n (from 1); throws std::out_of_range outside the rig.
    Camera& camera(int32_t number);
};

// Never destroyed: threads of a host may still call in while it exits.
Simulator& simulator();

// The calling thread's last error.
uint32_t& lastError();

template <typename Result>
Result fail(uint32_t code, Result result) {
    lastError() = code;
    return result;
}

// One SDK call: takes the lock, logs the call, applies an injected fault and,
// for operations on a handle, resolves the camera behind it.
class Call {
public:
    Call(Op op, std::initializer_list<double> args);
    Call(Op op, CameraHandle handle, std::initializer_list<double> args);
    // For KorcamCameraOpen, which names a camera by number.
    struct ByNumber {
        int32_t cameraNumber;
    };
    Call(Op op, ByNumber number);

    // False after setting the last error when the call must fail.
    bool ok() const;

    Camera& camera() const { return *camera_; }
    uint32_t cameraIndex() const { return index_; }
    void unlock() { lock_.unlock(); }

private:
    std::unique_lock<std::mutex> lock_;
    Camera* camera_ = nullptr;
    uint32_t index_ = 0;
    uint32_t error_ = 0;
};

}  // namespace korcamsim::detail
