// korvideoinput under libFuzzer: every command, with handles valid, stale and
// forged, acquisitions started, stopped and deleted in between, through the
// host engine and the adaptor on the engine's thread, and camera faults
// between calls. The module is cleared at the end of each input: every
// object, the adaptor library and the engine's thread must go with it.
//
// Array creations do not fail here (see below).
#include <dlfcn.h>

#include <map>
#include <set>

#include "fuzz_faults.h"
#include "imaqkit_host.h"
#include "korwin32.h"

namespace {

std::size_t gBaselineThreads = 0;

const char* const kCommands[] = {"hwinfo",      "create",      "delete",      "get",       "set",
                                 "start",       "stop",        "wait",        "getdata",   "waitslice",
                                 "framesready", "getsnapshot", "sourcenames", "sourceget", "sourceset",
                                 "propinfo",    "memorylimit", "diagnostics", "objects"};
constexpr std::size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

// Waits that a user would give, so that an input never waits on purpose for long.
double shortSeconds(fuzz::Bytes& in) {
    static const double kSeconds[] = {0, 0.001, 0.02, -1, std::numeric_limits<double>::quiet_NaN(), 1e-9, 0.2};
    return kSeconds[in.pick(sizeof kSeconds / sizeof kSeconds[0])];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The adaptor stays mapped across unloads: libFuzzer keeps the coverage
    // counters of every module it saw.
    setenv("KORVIDEOINPUT_ADAPTOR", KORCAM_ADAPTOR_PATH, 1);
    if (!dlopen(KORCAM_ADAPTOR_PATH, RTLD_NOW | RTLD_NODELETE)) fuzz::failure("cannot load %s", KORCAM_ADAPTOR_PATH);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Vocabulary vocabulary{{"DeviceID",
                                        "VideoFormat",
                                        "VideoResolution",
                                        "FramesAcquired",
                                        "FramesAvailable",
                                        "Running",
                                        "FramesPerTrigger",
                                        "FrameGrabInterval",
                                        "ROIPosition",
                                        "SourceName",
                                        "Exposure",
                                        "Gain",
                                        "Strobe",
                                        "StrobeDelay",
                                        "StrobeDuration",
                                        "ExposureDelay",
                                        "Timeout",
                                        "TriggerMode",
                                        "FrameRate",
                                        "320x240",
                                        "640x480",
                                        "1280x1024",
                                        "on",
                                        "off",
                                        "hardware",
                                        "ON"},
                                       {}};
    if (gBaselineThreads == 0) gBaselineThreads = fuzz::threadCount();
    fuzz::freshCameras();
    imaqkit::host::setAllocationFault(0, 0, 0);
    vocabulary.handles.clear();
    std::map<double, double> cameraOf;  // live handle -> the DeviceID it was created for
    fuzz::Bytes in(data, size);
    // No array creation fails here: korvideoinput relies on MATLAB's rule that
    // a creation that fails in a MEX file ends the call, which the stand-in
    // (answering NULL) does not follow.
    const fuzz::FaultScope scope{false, imaqkit::host::setAllocationFault};
    for (int step = 0; step < 40 && !in.done(); ++step) {
        const std::uint8_t kind = in.byte();
        if (kind >= 232) {
            fuzz::fault(in, scope);
            continue;
        }
        fuzz::Arguments arguments;
        const int nlhs = static_cast<int>(in.pick(4));
        const std::size_t command = in.pick(kCommandCount);
        const std::string name = kCommands[command];
        if (kind < 224) arguments.add(fuzz::charRow(name));
        if (in.byte() < 224) {  // the handle or DeviceID
            if (!vocabulary.handles.empty() && (name != "create" || in.byte() < 32))
                arguments.add(mxCreateDoubleScalar(vocabulary.handles[in.pick(vocabulary.handles.size())]));
            else
                arguments.add(
                    mxCreateDoubleScalar(name == "create" ? static_cast<double>(in.pick(5)) : fuzz::edgeNumber(in)));
        }
        if (name == "wait" && in.byte() < 192) {
            arguments.add(mxCreateDoubleScalar(shortSeconds(in)));
        } else {
            const std::size_t more = in.pick(4);
            for (std::size_t k = 0; k < more; ++k) arguments.add(fuzz::argument(in, vocabulary));
        }
        const mxArray* second = arguments.count() >= 2 ? arguments.data()[1] : nullptr;
        const double given =
            second && mxIsNumeric(second) && mxGetNumberOfElements(second) == 1 ? mxGetScalar(second) : NAN;
        fuzz::call(mexFunction, nlhs, arguments, [&](mxArray** outputs) {
            if (name == "create" && outputs[0]) {
                const double handle = mxGetScalar(outputs[0]);
                vocabulary.handles.push_back(handle);
                cameraOf[handle] = given;
            }
        });
        if (name == "delete") cameraOf.erase(given);
    }
    // `clear korvideoinput`: every object goes, then the adaptor library and
    // the engine's thread.
    kormexExitModule(reinterpret_cast<const void*>(&mexFunction));
    fuzz::checkRules("clearing the module");
    imaqkit::host::setAllocationFault(0, 0, 0);
    fuzz::expectThreads(gBaselineThreads, "after the module was cleared");
    korcamsim::reset();
    return 0;
}
