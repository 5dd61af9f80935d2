// KorDispatcher under libFuzzer: sequences of calls with every command code
// from -3 to 140 (107, 113 and 132 included) and arguments of every class and
// shape, with camera faults between them; the module is cleared at the end of
// each input, which must close every camera and leave no thread behind.
#include "fuzz_faults.h"
#include "korwin32.h"

#include <stdexcept>

namespace {

std::size_t gBaselineThreads = 0;

double commandCode(fuzz::Bytes& in) {
    const std::uint8_t choice = in.byte();
    if (choice < 144) return static_cast<double>(choice) - 3;  // -3 .. 140
    static const double kConnect[] = {-1, -1, 37, 38, 13, 7, 113, 107, 132, 32, 62, 63, 0, 1};
    if (choice < 240) return kConnect[choice % (sizeof kConnect / sizeof kConnect[0])];
    return fuzz::edgeNumber(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Vocabulary vocabulary{{"width", "height", "xOffset", "yOffset", "xBinSub", "yBinSub", "xFlags",
                                              "yFlags", "pixelFormat", "x", "", "a"},
                                             {}};
    if (gBaselineThreads == 0) gBaselineThreads = fuzz::threadCount();
    fuzz::freshCameras();
    korwin32SetForegroundWindowAvailable(1);
    fuzz::Bytes in(data, size);
    const fuzz::FaultScope scope;
    for (int step = 0; step < 64 && !in.done(); ++step) {
        const std::uint8_t kind = in.byte();
        if (kind >= 224) {
            fuzz::fault(in, scope);
            continue;
        }
        fuzz::Arguments arguments;
        const int nlhs = static_cast<int>(in.pick(3));
        if (kind < 208) {
            arguments.add(mxCreateDoubleScalar(commandCode(in)));
            // Mostly the camera number next, then anything.
            if (in.byte() < 200) arguments.add(mxCreateDoubleScalar(static_cast<double>(in.pick(5))));
        }
        const std::size_t more = in.pick(kind < 208 ? 4 : 11);
        for (std::size_t k = 0; k < more; ++k) arguments.add(fuzz::argument(in, vocabulary));
        fuzz::call(mexFunction, nlhs, arguments);
    }
    // `clear KorDispatcher`: the exit function closes every camera (the SDK
    // faults lifted first: a close the SDK refuses leaves the camera open).
    korcamsim::clearFaults();
    korcamsim::clearCameraCount();
    kormexExitModule(reinterpret_cast<const void*>(&mexFunction));
    fuzz::checkRules("clearing the module");
    for (int n = 1; n <= static_cast<int>(korcamsim::defaultRig().size()); ++n) {
        try {
            if (korcamsim::cameraState(n).open) fuzz::failure("camera %d still open after the module was cleared", n);
        } catch (const std::out_of_range&) {
            break;  // a smaller rig
        }
    }
    fuzz::expectThreads(gBaselineThreads, "after the module was cleared");
    return 0;
}
