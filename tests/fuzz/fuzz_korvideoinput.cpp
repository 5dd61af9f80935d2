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

const char* const kCommands[] = {"hwinfo",      "create",      "delete",      "get",         "set",       "start",
                                 "stop",        "trigger",     "wait",        "getdata",     "waitslice", "framesready",
                                 "getsnapshot", "peekdata",    "flushdata",   "sourcenames", "sourceget", "sourceset",
                                 "propinfo",    "memorylimit", "diagnostics", "objects"};
constexpr std::size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

// Waits that a user would give, so that an input never waits on purpose for long.
double shortSeconds(fuzz::Bytes& in) {
    static const double kSeconds[] = {0, 0.001, 0.02, -1, std::numeric_limits<double>::quiet_NaN(), 1e-9, 0.2};
    return kSeconds[in.pick(sizeof kSeconds / sizeof kSeconds[0])];
}

// The longest Timeout an object keeps here: getdata and wait wait that long
// for a frame that does not come (a manual trigger never given).
constexpr double kLongestTimeout = 0.05;

bool isTimeoutSet(const std::string& command, fuzz::Arguments& arguments) {
    if (command != "set" || arguments.count() < 4) return false;
    const mxArray* name = arguments.data()[2];
    if (!mxIsChar(name) || mxGetNumberOfElements(name) != 7) return false;
    const char* timeout = "Timeout";
    for (std::size_t i = 0; i < 7; ++i)
        if (mxGetChars(name)[i] != static_cast<unsigned char>(timeout[i])) return false;
    return true;
}

// Sets the object's Timeout, a call of the target's own (it reads no bytes).
void setTimeout(double handle, double seconds) {
    fuzz::Arguments arguments;
    arguments.add(fuzz::charRow("set"));
    arguments.add(mxCreateDoubleScalar(handle));
    arguments.add(fuzz::charRow("Timeout"));
    arguments.add(mxCreateDoubleScalar(seconds));
    if (!fuzz::call(mexFunction, 0, arguments)) fuzz::failure("a live object refused Timeout = %g", seconds);
}

// The object's Timeout, brought down to kLongestTimeout after the input set
// it (no object, as for a stale handle: nothing to do).
void capTimeout(double handle) {
    fuzz::Arguments arguments;
    arguments.add(fuzz::charRow("get"));
    arguments.add(mxCreateDoubleScalar(handle));
    arguments.add(fuzz::charRow("Timeout"));
    double seconds = 0;
    if (fuzz::call(mexFunction, 1, arguments, [&](mxArray** outputs) { seconds = mxGetScalar(outputs[0]); }) &&
        !(seconds <= kLongestTimeout))
        setTimeout(handle, kLongestTimeout);
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
                                        "Logging",
                                        "FramesPerTrigger",
                                        "FrameGrabInterval",
                                        "ROIPosition",
                                        "TriggerType",
                                        "TriggerRepeat",
                                        "TriggerFrameDelay",
                                        "TriggersExecuted",
                                        "InitialTriggerTime",
                                        "Timeout",
                                        "ReturnedColorSpace",
                                        "EventLog",
                                        "SourceName",
                                        "Name",
                                        "Tag",
                                        "Exposure",
                                        "Gain",
                                        "Strobe",
                                        "StrobeDelay",
                                        "StrobeDuration",
                                        "ExposureDelay",
                                        "TriggerMode",
                                        "FrameRate",
                                        "320x240",
                                        "640x480",
                                        "1280x1024",
                                        "on",
                                        "off",
                                        "hardware",
                                        "ON",
                                        "manual",
                                        "immediate",
                                        "grayscale",
                                        "rgb",
                                        "triggers",
                                        "all",
                                        "running",
                                        "logging"},
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
        if (name == "wait") {
            // Without a length of its own, a wait ends by the object's Timeout, kept short.
            if (in.byte() < 192) {
                arguments.add(mxCreateDoubleScalar(shortSeconds(in)));
                if (in.byte() < 128) arguments.add(fuzz::argument(in, vocabulary));  // 'running' or 'logging'
            }
        } else {
            // A name, then a value, mostly words of the vocabulary: a property
            // set to one of its values is then a few steps away, not a
            // product of long odds.
            const bool named = name == "get" || name == "set" || name == "sourceget" || name == "sourceset" ||
                               name == "propinfo" || name == "flushdata";
            if (named && in.byte() < 192) {
                arguments.add(fuzz::charRow(fuzz::word(in, vocabulary)));
                if ((name == "set" || name == "sourceset") && in.byte() < 192)
                    arguments.add(in.byte() < 96 ? fuzz::charRow(fuzz::word(in, vocabulary))
                                                 : fuzz::argument(in, vocabulary));
            }
            const std::size_t more = in.pick(named ? 2 : 4);
            for (std::size_t k = 0; k < more; ++k) arguments.add(fuzz::argument(in, vocabulary));
        }
        const mxArray* second = arguments.count() >= 2 ? arguments.data()[1] : nullptr;
        const double given =
            second && mxIsNumeric(second) && mxGetNumberOfElements(second) == 1 ? mxGetScalar(second) : NAN;
        double created = NAN;
        fuzz::call(mexFunction, nlhs, arguments, [&](mxArray** outputs) {
            if (name == "create" && outputs[0]) {
                created = mxGetScalar(outputs[0]);
                vocabulary.handles.push_back(created);
                cameraOf[created] = given;
            }
        });
        if (!std::isnan(created)) setTimeout(created, kLongestTimeout);
        if (isTimeoutSet(name, arguments))
            for (double handle : vocabulary.handles) capTimeout(handle);
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
