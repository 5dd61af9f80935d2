// Faults of the virtual cameras and of the hosts' heaps, chosen by the input
// between two calls.
#pragma once

#include "fuzz_calls.h"
#include "korcamsim.h"

#include <string>
#include <vector>

namespace fuzz {

// What the host may also make fail: the kit heap behind imaqmalloc (the
// adaptor's frame buffers) exists only where the adaptor runs.
struct FaultScope {
    bool mexArrays = true;
    void (*kitHeap)(std::size_t skip, std::size_t count, std::size_t minimumSize) = nullptr;
};

// A rig of 0 to 3 cameras, each a default camera with some traits changed.
inline void changeRig(Bytes& in) {
    std::vector<korcamsim::CameraSpec> rig = korcamsim::defaultRig();
    rig.resize(std::min<std::size_t>(rig.size(), in.pick(4)));
    for (korcamsim::CameraSpec& camera : rig) {
        const std::uint8_t traits = in.byte();
        if (traits & 1) camera.color = !camera.color;
        if (traits & 2) camera.bits16 = !camera.bits16;
        if (traits & 4) camera.littleEndian = !camera.littleEndian;
        if (traits & 8) camera.maxWidth = in.byte() & 1 ? 320 : 1 + in.pick(64);
        if (traits & 16) camera.maxHeight = in.byte() & 1 ? 240 : 1 + in.pick(48);
        if (traits & 32) camera.strobeDuration = false;
        if (traits & 64) camera.frameRates = {static_cast<float>(1 + in.pick(60))};
    }
    trace("fault: a rig of %zu camera(s)\n", rig.size());
    korcamsim::setRig(rig);
}

inline void fault(Bytes& in, const FaultScope& scope) {
    static const std::uint32_t kCodes[] = {1, 2, 6, 21, 22, 31, 87, 1167, 0xFFFFFFFFu, 0};
    switch (in.pick(8)) {
        case 0: {
            const std::int32_t count = static_cast<std::int32_t>(in.pick(5)) - 1;  // -1 fails the count
            trace("fault: camera count %d\n", count);
            korcamsim::setCameraCount(count);
            break;
        }
        case 1:
            trace("fault: camera count restored\n");
            korcamsim::clearCameraCount();
            break;
        case 2:
        case 3: {
            const std::vector<std::string>& names = korcamsim::operationNames();
            const std::string& op = names[in.pick(names.size())];
            if (op == "KorcamGetLastError") break;  // has no failure
            const std::uint64_t count = in.byte() < 128 ? korcamsim::kAlways : 1 + in.pick(3);
            const std::uint32_t code = kCodes[in.pick(sizeof kCodes / sizeof kCodes[0])];
            const std::uint64_t skip = in.pick(12);
            trace("fault: %s fails with %u after %llu calls, %s\n", op.c_str(), code,
                  static_cast<unsigned long long>(skip),
                  count == korcamsim::kAlways ? "always" : std::to_string(count).append(" times").c_str());
            korcamsim::failOperation(op, code, count, skip);
            break;
        }
        case 4:
            trace("fault: none\n");
            korcamsim::clearFaults();
            break;
        case 5: changeRig(in); break;
        case 6:
            // The next call gets this many arrays, then memory runs out.
            if (scope.mexArrays) arraysBeforeFailure() = static_cast<long>(in.pick(10));
            break;
        default:
            if (scope.kitHeap) {
                const std::size_t skip = in.pick(4), count = 1 + in.pick(3), minimum = in.byte() & 1 ? 1 : 4096;
                trace("fault: imaqmalloc fails %zu times after %zu blocks of %zu bytes or more\n", count, skip,
                      minimum);
                scope.kitHeap(skip, count, minimum);
            }
            break;
    }
}

// The state every input starts from: default rig, no faults, pacing off (so
// that frames come as fast as they can be drawn and no run waits on a clock).
inline void freshCameras() {
    korcamsim::reset();
    korcamsim::setPacing(false);
    arraysBeforeFailure() = -1;
    kormxClearBrokenRules();
}

}  // namespace fuzz
