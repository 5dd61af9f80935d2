#include "pacing.h"

#include <algorithm>

namespace korcamsim::detail {

Clock::duration Pacing::frameWait(Camera& camera, float rate) const {
    if (!on_ || !(rate > 0)) return Clock::duration::zero();
    const auto now = Clock::now();
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    const auto due = std::max(camera.nextFrameDue, now);
    camera.nextFrameDue = due + period;
    return due - now;
}

Clock::duration Pacing::triggerWait(const SnapshotSettings& settings) const {
    if (!on_ || !(settings.timeout > 0)) return Clock::duration::zero();
    const double ms = std::min<double>(settings.timeout, 10000.0);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
}

}  // namespace korcamsim::detail
