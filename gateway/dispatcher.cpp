// KorDispatcher: the MEX entry point. One table row per command code holds
// its parameter count, count message, type checks and handler; mexFunction
// walks the row for the code it was given.
//
// Codes -2 to 74 are the commands MATLAB code has always called. The grey
// captures follow them as 100 plus the code of the capture they mirror
// (107 video frame, 113 snapshot, 132 synchronous snapshots), with the same
// parameters and messages; they return one [H W] page per image, the samples
// of a monochrome camera or the luminance of a colour one. Every other code
// returns at once and does nothing.
#include <array>
#include <cstdint>
#include <cstring>
#include <new>

#include "arguments.h"
#include "commands.h"
#include "conversions.h"
#include "errors.h"
#include "mex.h"
#include "mex_entry.h"
#include "shutdown.h"
#include "slots.h"

namespace kor {
namespace {

// Count messages, word for word as MATLAB code has always seen them.
constexpr const char* N0 = "This function requires no input parameters.";
constexpr const char* N1 = "This function requires 1 input parameter.";
constexpr const char* N1a = "This functions requires 1 input parameter.";
constexpr const char* N1b = "This function requires 1 input paramenter.";
constexpr const char* N2 = "This function requires 2 input parameters.";
constexpr const char* N2a = "This function requires 2 input parameter.";
constexpr const char* N3 = "This function requires 3 input parameters.";
constexpr const char* N4 = "This function requires 4 input parameters.";
constexpr const char* N5 = "This function requires 5 input parameters.";
constexpr const char* N6 = "This function requires 6 input parameters.";
constexpr const char* N7 = "This function requires 7 input parameters.";
constexpr const char* N10 = "This function requires 10 input parameters.";

// Type-check messages.
constexpr const char* E1 = "Parameter 1 must be an integer.";
constexpr const char* E1a = "Parameters 1 must be an integer.";
constexpr const char* E2d = "Parameter 2 must be a double.";
constexpr const char* E2i = "Parameter 2 must be an integer.";
constexpr const char* E2l = "Parameter 2 must be a logical.";
constexpr const char* E2b = "Parameter 2 must be a boolean.";
constexpr const char* E3i = "Parameter 3 must be an integer.";
constexpr const char* G3 = "Parameters 1, 2, and 3 must be integers.";
constexpr const char* G5 = "Parameters 1-5 must be integers.";
constexpr const char* G6 = "Parameters 1-6 must be integers.";
constexpr const char* G10 = "Parameters 1-10 must be integers.";
constexpr const char* G17 = "Parameters 1 and 4-7 must be integers.";
constexpr const char* D4 = "Parameters 2, 3, 4, and 5 must be doubles.";
constexpr const char* D2 = "Parameters 2 and 3 must be doubles.";

enum class Kind : uint8_t { None, Integer, Double, Logical };

// One type check: the parameters it covers (bit k = parameter k, tested in
// ascending order) and the message raised by the first that fails.
struct Check {
    Kind kind;
    uint16_t params;
    const char* message;
};

constexpr uint16_t P(int k) { return static_cast<uint16_t>(1u << k); }
constexpr uint16_t Range(int first, int last) {
    uint16_t mask = 0;
    for (int k = first; k <= last; ++k) mask |= P(k);
    return mask;
}

constexpr Check I1{Kind::Integer, P(1), E1};
constexpr Check NoCheck{Kind::None, 0, nullptr};
constexpr int kAnyCount = -1;

struct Command {
    int code;
    int params;  // inputs after the code; kAnyCount: not tested
    const char* countMessage;
    std::array<Check, 3> checks;  // run in this order
    Handler handler;
};

// One row a command, as MATLAB code knows them: kept as written by the formatter.
// clang-format off
constexpr Command kCommands[] = {
    // code, params, count message, checks (in order), handler
    {-2, 1, N1b, {I1}, disconnectCamera},
    {-1, 1, N1, {I1}, connectCamera},
    {0, 1, N1a, {I1}, startLivePreview},
    {1, 1, N1, {I1}, stopLivePreview},
    {2, 3, N3, {Check{Kind::Integer, Range(1, 3), G3}}, setFrameSize},
    {3, 2, N2a, {Check{Kind::Double, P(2), E2d}, I1}, setFrameRate},
    {4, 1, N1, {I1}, listAvailableFrameRates},
    {5, 1, N1, {I1}, showVideoPropertyPage},
    {6, 1, N1, {I1}, queryConnection},
    {7, 1, N1, {I1}, takeVideoFrame},
    {8, 1, N1, {I1}, getFrameOffset},
    {9, 3, N3, {Check{Kind::Integer, Range(1, 3), G3}}, setFrameOffset},
    {10, 2, N2, {I1, Check{Kind::Logical, P(2), E2l}}, setVideo16BitMode},
    {11, 1, N1, {I1}, getVideo16BitMode},
    {12, 1, N1, {I1}, getFrameSize},
    {13, 1, N1, {I1}, takeSnapshot},
    {14, 1, N1, {I1}, getExposureRange},
    {15, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setSnapshotExposure},
    {16, 1, N1, {I1}, getGainRange},
    {17, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setSnapshotGain},
    {18, 2, N2, {I1, Check{Kind::Logical, P(2), E2l}}, setSnapshot16BitMode},
    {19, 1, N1, {I1}, getSnapshot16BitMode},
    {20, 5, N5, {I1, Check{Kind::Double, Range(2, 5), D4}}, setSnapshotColorGains},
    {21, 1, N1, {I1}, getSnapshotColorGains},
    {22, 2, N2, {I1, Check{Kind::Logical, P(2), E2l}}, setSnapshotStrobeUse},
    {23, 1, N1, {I1}, getSnapshotStrobeUse},
    {24, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setSnapshotStrobeDelay},
    {25, 1, N1, {I1}, getSnapshotStrobeDelay},
    {26, 2, N2, {I1, Check{Kind::Logical, P(2), E2l}}, setSnapshotHardwareTriggerUse},
    {27, 1, N1, {I1}, getSnapshotHardwareTriggerUse},
    {28, 2, N2a, {I1, Check{Kind::Double, P(2), E2d}}, setLiveGain},
    {29, 1, N1, {I1}, getLiveGain},
    {30, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setLiveExposure},
    {31, 1, N1, {I1}, getLiveExposure},
    {32, kAnyCount, nullptr, {NoCheck}, takeSynchronousSnapshots},
    {33, 1, N1, {I1}, getFrameRate},
    {34, 1, N1, {I1}, readGpio},
    {35, 2, N2, {I1}, writeGpo},
    {36, 2, N2, {I1}, selectGpoForManualOperation},
    {37, 0, N0, {NoCheck}, countAttachedCameras},
    {38, 0, N0, {NoCheck}, enumerateCameras},
    {39, 2, N2, {I1, Check{Kind::Integer, P(2), E2i}}, getProperty},
    {40, 4, N4, {I1, Check{Kind::Double, P(2), E2d}, Check{Kind::Integer, P(3), E3i}}, setProperty},
    {41, 1, N1, {I1}, getGamma},
    {42, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setGamma},
    {43, 1, N1, {I1}, getContrast},
    {44, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setContrast},
    {45, 1, N1, {I1}, getBrightness},
    {46, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setBrightness},
    {47, 1, N1, {I1}, getHue},
    {48, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setHue},
    {49, 1, N1, {I1}, getSaturation},
    {50, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, setSaturation},
    {51, 2, N2a, {I1, Check{Kind::Integer, P(2), E2i}}, getPropertyRange},
    {52, 1, N1, {I1}, getGammaRange},
    {53, 1, N1, {I1}, getContrastRange},
    {54, 1, N1, {I1}, getBrightnessRange},
    {55, 1, N1, {I1}, getHueRange},
    {56, 1, N1, {I1}, getSaturationRange},
    {57, 1, N1, {I1}, querySoftwareVersions},
    {58, 1, N1, {I1}, queryUsbInterface},
    {59, 1, N1, {I1}, getCameraId},
    {60, 1, N1, {I1}, getTruePixelDepth},
    {61, 2, N2, {I1}, selectGpoForManualOperation},
    {62, 1, N1, {I1}, getFrameFormatStructure},
    {63, 2, N2, {Check{Kind::Integer, P(1), E1a}}, setFrameFormatStructure},
    {64, 6, N6, {Check{Kind::Integer, Range(1, 6), G6}}, oneShotAutoExposure},
    {65, 5, N5, {Check{Kind::Integer, Range(1, 5), G5}}, oneShotAutoWhiteBalance},
    {66, 7, N7, {Check{Kind::Integer, P(1) | Range(4, 7), G17}, Check{Kind::Double, Range(2, 3), D2}},
     oneShotAutoWhiteBalanceEx},
    {67, 5, N5, {Check{Kind::Integer, Range(1, 5), G5}}, digitalWhiteBalance},
    {68, 7, N7, {Check{Kind::Integer, P(1) | Range(4, 7), G17}, Check{Kind::Double, Range(2, 3), D2}},
     digitalWhiteBalanceEx},
    {69, 2, N2a, {I1, Check{Kind::Logical, P(2), E2b}}, initAutoLens},
    {70, 6, N6, {Check{Kind::Integer, Range(1, 6), G6}}, oneShotAutoIris},
    {71, 10, N10, {Check{Kind::Integer, Range(1, 10), G10}}, startAutoFocus},
    {72, 2, N2, {I1, Check{Kind::Double, P(2), E2d}}, waitForAutoFocus},
    {73, 1, N1, {I1}, stopAutoFocus},
    {74, 1, N1, {I1}, queryAutoFocusProgress},
    // Grey captures: [H W] per image.
    {107, 1, N1, {I1}, takeGreyVideoFrame},
    {113, 1, N1, {I1}, takeGreySnapshot},
    {132, kAnyCount, nullptr, {NoCheck}, takeGreySynchronousSnapshots},
};
// clang-format on

constexpr int kFirstCode = -2;
constexpr int kLastCode = 74;
constexpr int kRangeCount = kLastCode - kFirstCode + 1;
constexpr int kCommandCount = static_cast<int>(sizeof kCommands / sizeof kCommands[0]);

constexpr bool rowsFollowTheirCodes() {
    for (int i = 0; i < kRangeCount; ++i)
        if (kCommands[i].code != kFirstCode + i) return false;
    for (int i = kRangeCount; i < kCommandCount; ++i)
        if (kCommands[i].code <= kCommands[i - 1].code) return false;
    return true;
}
static_assert(rowsFollowTheirCodes(), "row i holds code i - 2 up to code 74, then ascending codes");

// The row of a code, or null for a code without a command.
const Command* commandFor(int32_t code) {
    if (code >= kFirstCode && code <= kLastCode) return &kCommands[code - kFirstCode];
    for (int i = kRangeCount; i < kCommandCount; ++i)
        if (kCommands[i].code == code) return &kCommands[i];
    return nullptr;
}

bool passes(Kind kind, const mxArray* array) {
    switch (kind) {
        case Kind::Integer: return isIntegerArgument(array);
        case Kind::Double: return isDoubleArgument(array);
        case Kind::Logical: return isLogicalArgument(array);
        case Kind::None: break;
    }
    return true;
}

void runChecks(const Command& command, const mxArray* const* prhs) {
    for (const Check& check : command.checks) {
        if (check.kind == Kind::None) continue;
        for (int k = 1; k <= 10; ++k) {
            if ((check.params & P(k)) && !passes(check.kind, prhs[k])) fail("%s", check.message);
        }
    }
}

void dispatch(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    (void)nlhs;
    if (nrhs < 1) fail("At least one parameter is required.");
    if (!isIntegerArgument(prhs[0])) fail("First input must be an integer.");
    const Command* row = commandFor(truncateToInt32(mxGetScalar(prhs[0])));
    if (!row) return;

    const Command& command = *row;
    if (command.params != kAnyCount && nrhs != command.params + 1) fail("%s", command.countMessage);
    runChecks(command, prhs);

    mxArray* result = command.handler(Params(nrhs - 1, prhs));
    if (result) plhs[0] = result;
}

}  // namespace
}  // namespace kor

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    kor::initializeSlotsOnFirstCall();
    kor::registerShutdownOnUnload();
    mexentry::runThenRaise(
        [](std::exception_ptr raised, mexentry::Failure& failure) {
            try {
                std::rethrow_exception(raised);
            } catch (const kor::GatewayError& error) {
                failure.set("", error.what());
            } catch (const std::bad_alloc&) {
                failure.set("", "Not enough memory.");
            }
        },
        [&] { kor::dispatch(nlhs, plhs, nrhs, prhs); });
}
