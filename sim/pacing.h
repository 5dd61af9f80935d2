// How long the virtual cameras make a caller wait, as real ones do: video and
// fast frames at the camera's frame rate, a triggered frame its timeout.
#pragma once

#include "camera.h"

namespace korcamsim::detail {

class Pacing {
public:
    void set(bool on) { on_ = on; }
    bool on() const { return on_; }
    // How long the caller waits for the camera's next frame at `rate`; books
    // the frame after it.
    Clock::duration frameWait(Camera& camera, float rate) const;
    // How long a triggered frame waits before it times out (the trigger inputs
    // of the virtual cameras never fire).
    Clock::duration triggerWait(const SnapshotSettings& settings) const;

private:
    bool on_ = true;
};

}  // namespace korcamsim::detail
