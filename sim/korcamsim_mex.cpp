// korcamsim: control of the virtual cameras from Octave/MATLAB code. It links
// the same libkorcamapi that KorDispatcher uses, so both act on one rig.
#include "korcamsim.h"
#include "korwin32.h"

#include <mex.h>

#include "mex_entry.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char kHelp[] =
    "korcamsim - control of the virtual cameras (libkorcamapi)\n"
    "  korcamsim('reset')                      default rig, no faults, empty call log, all closed,\n"
    "                                          pacing on, a foreground window present\n"
    "  korcamsim('rig', cams)                  attach the cameras of struct array cams; fields (each\n"
    "                                          optional, defaults as camera 1): id, color, maxWidth,\n"
    "                                          maxHeight, bits16, littleEndian, strobeDuration,\n"
    "                                          frameRates, firmware, fpga, api, driver, serial,\n"
    "                                          reserved, interface, pixelDepth\n"
    "  korcamsim('reattach')                   unplug and re-plug every camera: all handles become\n"
    "                                          invalid, the cameras come back as at power-up\n"
    "  korcamsim('count', n)                   KorcamNumCameras reports n (-1: the call fails); the\n"
    "                                          cameras above n are unplugged: calls on them fail, code 2\n"
    "  korcamsim('count')                      undo: every camera of the rig plugged in again\n"
    "  korcamsim('fail', op, code)             every later call of operation op (below) fails, and\n"
    "                                          KorcamGetLastError then answers code\n"
    "  korcamsim('fail', op, code, count, skip)  the same for count calls only (Inf: every one), after\n"
    "                                          skip calls pass; ('fail', op, code, 1, 0): the next call\n"
    "  korcamsim('fail')                       clear every fault\n"
    "  c = korcamsim('calls')                  call log: struct array with op, camera, args\n"
    "  korcamsim('calls', 'clear')             empty the call log\n"
    "  s = korcamsim('state', n)               camera n: open, handles, streaming, window, fastFrames,\n"
    "                                          width ... pixelFormat, frameRate, snapshot, frames,\n"
    "                                          gpio, gpoMask, focusProgress\n"
    "  [raw, w, h, pf] = korcamsim('lastframe', n)  last frame camera n delivered (uint8 column)\n"
    "  bgr = korcamsim('convert', n, raw, w, h, pf) the library's RGB conversion of a raw frame of\n"
    "                                          camera n: blue, green, red per pixel (uint8 or uint16)\n"
    "  korcamsim('set', n, id, value[, flags]) store a property's value (and flags word) directly\n"
    "  korcamsim('format', n, f)               force camera n's current format to struct f (fields as\n"
    "                                          in 'state': width ... pixelFormat, missing ones kept),\n"
    "                                          unchecked\n"
    "  korcamsim('foreground', tf)             whether GetForegroundWindow answers a window\n"
    "  korcamsim('pace', tf)                   pace video and fast frames to the frame rate, and let\n"
    "                                          triggered frames wait out their timeout (on by default)\n"
    "Operations op that 'fail' takes (every one of korcam.h but KorcamGetLastError), by role:\n"
    "  cameras       KorcamNumCameras KorcamEnumCameras KorcamCameraOpen KorcamCameraClose\n"
    "                KorcamGetCameraId KorcamQueryVersion KorcamQueryExternInterface\n"
    "                KorcamGetTruePixelDepth\n"
    "  format        KorcamGetFormat KorcamSetFormat KorcamEnumAvailableFrameRates\n"
    "  video         KorcamStreamVideoControl KorcamTakeVideo KorcamDestroyDisplayWindow\n"
    "                KorcamDisplayPropertyPage\n"
    "  frames        KorcamTakeSnapshot KorcamTakeFastFrame (the acquisition adaptor's frames)\n"
    "                KorcamEnableFastFrames KorcamDisableFastFrames KorcamConvertFrameToRgb24\n"
    "                KorcamConvertFrameToRgb48\n"
    "  synchronous   KorcamEnableSynchronousSnapshots KorcamTakeSynchronousSnapshots\n"
    "                KorcamDisableSynchronousSnapshots\n"
    "  properties    KorcamGetProperty KorcamSetProperty KorcamPropertyRange\n"
    "  GPIO          KorcamGpioRead KorcamGpioWrite KorcamGpoSelect\n"
    "  adjustments   KorcamOneShotAutoExposure KorcamOneShotAutoIris KorcamOneShotAutoWhiteBalance\n"
    "                KorcamOneShotAutoWhiteBalanceEx KorcamDigitalWhiteBalance\n"
    "                KorcamDigitalWhiteBalanceEx\n"
    "  lens          KorcamInitAutoLens KorcamAutoFocusStart KorcamAutoFocusWait KorcamAutoFocusStop\n"
    "                KorcamAutoFocusQueryProgress\n"
    "Unplugging the cameras (while one acquires, say) and plugging them back in:\n"
    "  korcamsim('count', 0)                   unplugged: none is found, calls on open ones fail, code 2\n"
    "  korcamsim('count'); korcamsim('reattach')  back, with new handles, each as at power-up\n"
    "A fault in one call only: the 11th fast frame fails with code 2, the calls around it pass:\n"
    "  korcamsim('fail', 'KorcamTakeFastFrame', 2, 1, 10)\n";

std::string text(const mxArray* arg, const char* what) {
    if (!mxIsChar(arg)) throw std::invalid_argument(std::string(what) + " must be a character string");
    char* raw = mxArrayToString(arg);
    if (!raw) throw std::invalid_argument(std::string(what) + " must be a character string");
    std::string value(raw);
    mxFree(raw);
    // A NUL would cut the text short: ['reset' 0 'x'] is not 'reset'.
    if (value.size() != mxGetNumberOfElements(arg))
        throw std::invalid_argument(std::string(what) + " must not hold a NUL character");
    return value;
}

double number(const mxArray* arg, const std::string& what) {
    if ((!mxIsNumeric(arg) && !mxIsLogical(arg)) || mxIsComplex(arg) || mxGetNumberOfElements(arg) != 1)
        throw std::invalid_argument(what + " must be a real scalar");
    return mxGetScalar(arg);
}

int64_t integer(const mxArray* arg, const std::string& what, double minimum, double maximum) {
    const double v = number(arg, what);
    if (!std::isfinite(v) || v != std::floor(v) || v < minimum || v > maximum)
        throw std::invalid_argument(what + " must be a whole number from " + std::to_string(int64_t(minimum)) + " to " +
                                    std::to_string(int64_t(maximum)));
    return static_cast<int64_t>(v);
}

bool flag(const mxArray* arg, const std::string& what) {
    const double v = number(arg, what);
    if (std::isnan(v)) throw std::invalid_argument(what + " must be true or false");
    return v != 0;
}

int32_t cameraNumber(const mxArray* arg) {
    return static_cast<int32_t>(integer(arg, "the camera number", 1, std::numeric_limits<int32_t>::max()));
}

constexpr double kU32Max = 4294967295.0;

void expectArgs(int nrhs, int minimum, int maximum, const std::string& command) {
    if (nrhs < minimum || nrhs > maximum)
        throw std::invalid_argument("wrong number of arguments for '" + command + "' (see korcamsim with no argument)");
}

korcamsim::CameraSpec specFrom(const mxArray* cams, mwIndex element) {
    korcamsim::CameraSpec model;
    const int fields = mxGetNumberOfFields(cams);
    for (int f = 0; f < fields; ++f) {
        const std::string name = mxGetFieldNameByNumber(cams, f);
        const mxArray* value = mxGetFieldByNumber(cams, element, f);
        if (!value || mxIsEmpty(value)) continue;  // unset in this element: the default
        const std::string what = "field " + name + " of camera " + std::to_string(static_cast<long long>(element) + 1);
        auto u32 = [&](double minimum) { return static_cast<uint32_t>(integer(value, what, minimum, kU32Max)); };
        if (name == "id")
            model.id = u32(0);
        else if (name == "color")
            model.color = flag(value, what);
        else if (name == "maxWidth")
            model.maxWidth = u32(1);
        else if (name == "maxHeight")
            model.maxHeight = u32(1);
        else if (name == "bits16")
            model.bits16 = flag(value, what);
        else if (name == "littleEndian")
            model.littleEndian = flag(value, what);
        else if (name == "strobeDuration")
            model.strobeDuration = flag(value, what);
        else if (name == "firmware")
            model.firmware = u32(0);
        else if (name == "fpga")
            model.fpga = u32(0);
        else if (name == "api")
            model.api = u32(0);
        else if (name == "driver")
            model.driver = u32(0);
        else if (name == "serial")
            model.serial = u32(0);
        else if (name == "reserved")
            model.reserved = u32(0);
        else if (name == "interface")
            model.interfaceType = u32(0);
        else if (name == "pixelDepth")
            model.pixelDepth = u32(0);
        else if (name == "frameRates") {
            // A sparse array's data holds only its nonzero elements.
            if (!mxIsDouble(value) || mxIsComplex(value) || mxIsSparse(value))
                throw std::invalid_argument(what + " must be real doubles, not sparse");
            const double* rates = mxGetPr(value);
            model.frameRates.clear();
            for (std::size_t i = 0; i < mxGetNumberOfElements(value); ++i)
                model.frameRates.push_back(static_cast<float>(rates[i]));
        } else {
            throw std::invalid_argument("unknown camera field '" + name + "'");
        }
    }
    return model;
}

void rig(const mxArray* cams) {
    if (!mxIsStruct(cams)) throw std::invalid_argument("cams must be a struct array");
    std::vector<korcamsim::CameraSpec> specs;
    for (std::size_t i = 0; i < mxGetNumberOfElements(cams); ++i)
        specs.push_back(specFrom(cams, static_cast<mwIndex>(i)));
    korcamsim::setRig(specs);
}

mxArray* scalar(double v) { return mxCreateDoubleScalar(v); }

mxArray* formatStruct(const FrameFormat& f) {
    static const char* names[] = {"width",   "height", "xOffset", "yOffset",    "xBinSub",
                                  "yBinSub", "xFlags", "yFlags",  "pixelFormat"};
    mxArray* s = mxCreateStructMatrix(1, 1, 9, names);
    const double values[] = {double(f.width),   double(f.height),  double(f.xOffset),
                             double(f.yOffset), double(f.xBinSub), double(f.yBinSub),
                             double(f.xFlags),  double(f.yFlags),  double(f.pixelFormat)};
    for (int i = 0; i < 9; ++i) mxSetFieldByNumber(s, 0, i, scalar(values[i]));
    return s;
}

mxArray* snapshotStruct(const SnapshotSettings& s) {
    static const char* names[] = {"exposure", "gain",        "redGain", "blueGain", "green1Gain",    "green2Gain",
                                  "strobe",   "strobeDelay", "trigger", "timeout",  "exposureDelay", "format"};
    mxArray* out = mxCreateStructMatrix(1, 1, 12, names);
    const double values[] = {s.exposure,
                             s.gain,
                             s.redGain,
                             s.blueGain,
                             s.green1Gain,
                             s.green2Gain,
                             double(s.strobeEnable),
                             s.strobeDelay,
                             double(s.hardwareTriggerEnable),
                             s.timeout,
                             s.exposureDelay};
    for (int i = 0; i < 11; ++i) mxSetFieldByNumber(out, 0, i, scalar(values[i]));
    mxSetFieldByNumber(out, 0, 11, formatStruct(s.format));
    return out;
}

mxArray* stateStruct(const korcamsim::CameraState& st) {
    static const char* names[] = {"open",     "handles", "streaming", "window",      "fastFrames",
                                  "width",    "height",  "xOffset",   "yOffset",     "xBinSub",
                                  "yBinSub",  "xFlags",  "yFlags",    "pixelFormat", "frameRate",
                                  "snapshot", "frames",  "gpio",      "gpoMask",     "focusProgress"};
    constexpr int kFields = sizeof names / sizeof names[0];
    mxArray* s = mxCreateStructMatrix(1, 1, kFields, names);
    const FrameFormat& f = st.format;
    int i = 0;
    mxSetFieldByNumber(s, 0, i++, mxCreateLogicalScalar(st.open));
    mxSetFieldByNumber(s, 0, i++, scalar(st.handles));
    mxSetFieldByNumber(s, 0, i++, mxCreateLogicalScalar(st.streaming));
    mxSetFieldByNumber(s, 0, i++, mxCreateLogicalScalar(st.window));
    mxSetFieldByNumber(s, 0, i++, mxCreateLogicalScalar(st.fastFrames));
    for (double v :
         {double(f.width), double(f.height), double(f.xOffset), double(f.yOffset), double(f.xBinSub), double(f.yBinSub),
          double(f.xFlags), double(f.yFlags), double(f.pixelFormat), double(st.frameRate)})
        mxSetFieldByNumber(s, 0, i++, scalar(v));
    mxSetFieldByNumber(s, 0, i++, snapshotStruct(st.snapshot));
    mxSetFieldByNumber(s, 0, i++, scalar(double(st.framesDelivered)));
    mxSetFieldByNumber(s, 0, i++, scalar(st.gpioValue));
    mxSetFieldByNumber(s, 0, i++, scalar(st.gpoMask));
    mxSetFieldByNumber(s, 0, i++, scalar(st.focusProgress));
    return s;
}

mxArray* callLog() {
    const std::vector<korcamsim::CallRecord> log = korcamsim::calls();
    static const char* names[] = {"op", "camera", "args"};
    mxArray* s = mxCreateStructMatrix(log.size(), 1, 3, names);
    for (std::size_t i = 0; i < log.size(); ++i) {
        mxSetFieldByNumber(s, i, 0, mxCreateString(log[i].op.c_str()));
        mxSetFieldByNumber(s, i, 1, scalar(log[i].camera));
        mxArray* args = mxCreateDoubleMatrix(1, log[i].args.size(), mxREAL);
        if (!log[i].args.empty()) std::memcpy(mxGetPr(args), log[i].args.data(), log[i].args.size() * sizeof(double));
        mxSetFieldByNumber(s, i, 2, args);
    }
    return s;
}

mxArray* byteColumn(const std::vector<uint8_t>& bytes) {
    mxArray* out = mxCreateNumericMatrix(bytes.size(), 1, mxUINT8_CLASS, mxREAL);
    if (!bytes.empty()) std::memcpy(mxGetData(out), bytes.data(), bytes.size());
    return out;
}

// One call of a command: its name (for messages) and the MEX arguments.
struct Request {
    std::string command;
    int nlhs;
    mxArray** plhs;
    int nrhs;
    const mxArray** prhs;

    void expectArgs(int minimum, int maximum) const { ::expectArgs(nrhs, minimum, maximum, command); }
    void noOutput() const {
        if (nlhs > 0) throw std::invalid_argument("'" + command + "' returns nothing");
    }
};

void help(const Request&) { mexPrintf("%s", kHelp); }

void resetCommand(const Request& r) {
    r.expectArgs(1, 1);
    r.noOutput();
    korcamsim::reset();
    korwin32SetForegroundWindowAvailable(1);
}

void rigCommand(const Request& r) {
    r.expectArgs(2, 2);
    r.noOutput();
    rig(r.prhs[1]);
}

void reattachCommand(const Request& r) {
    r.expectArgs(1, 1);
    r.noOutput();
    korcamsim::reattach();
}

void countCommand(const Request& r) {
    r.expectArgs(1, 2);
    r.noOutput();
    if (r.nrhs == 1)
        korcamsim::clearCameraCount();
    else
        korcamsim::setCameraCount(static_cast<int32_t>(integer(r.prhs[1], "the count", -1, 2147483647.0)));
}

void failCommand(const Request& r) {
    if (r.nrhs != 1 && r.nrhs != 3 && r.nrhs != 5)
        throw std::invalid_argument("'fail' takes no argument, or op and code, or op, code, count and skip");
    r.noOutput();
    if (r.nrhs == 1) {
        korcamsim::clearFaults();
        return;
    }
    const std::string op = text(r.prhs[1], "the operation name");
    const uint32_t code = static_cast<uint32_t>(integer(r.prhs[2], "the error code", 0, kU32Max));
    uint64_t count = korcamsim::kAlways;
    uint64_t skip = 0;
    if (r.nrhs == 5) {
        const double c = number(r.prhs[3], "the count");
        if (!(c == std::numeric_limits<double>::infinity()))
            count = static_cast<uint64_t>(integer(r.prhs[3], "the count", 1, 9007199254740992.0));
        skip = static_cast<uint64_t>(integer(r.prhs[4], "the skip", 0, 9007199254740992.0));
    }
    korcamsim::failOperation(op, code, count, skip);
}

void callsCommand(const Request& r) {
    r.expectArgs(1, 2);
    if (r.nrhs == 1) {
        r.plhs[0] = callLog();
        return;
    }
    if (text(r.prhs[1], "the option") != "clear") throw std::invalid_argument("the option must be 'clear'");
    r.noOutput();
    korcamsim::clearCalls();
}

void stateCommand(const Request& r) {
    r.expectArgs(2, 2);
    r.plhs[0] = stateStruct(korcamsim::cameraState(cameraNumber(r.prhs[1])));
}

void lastFrameCommand(const Request& r) {
    r.expectArgs(2, 2);
    const korcamsim::Frame frame = korcamsim::lastFrame(cameraNumber(r.prhs[1]));
    r.plhs[0] = byteColumn(frame.bytes);
    if (r.nlhs > 1) r.plhs[1] = scalar(frame.width);
    if (r.nlhs > 2) r.plhs[2] = scalar(frame.height);
    if (r.nlhs > 3) r.plhs[3] = scalar(frame.pixelFormat);
}

void convertCommand(const Request& r) {
    r.expectArgs(6, 6);
    const int32_t n = cameraNumber(r.prhs[1]);
    const mxArray* raw = r.prhs[2];
    if (mxGetClassID(raw) != mxUINT8_CLASS || mxIsComplex(raw))
        throw std::invalid_argument("raw must be a uint8 array of the frame's bytes");
    const uint8_t* data = static_cast<const uint8_t*>(mxGetData(raw));
    const std::vector<uint8_t> bytes(data, data + mxGetNumberOfElements(raw));
    const uint32_t width = static_cast<uint32_t>(integer(r.prhs[3], "the width", 1, kU32Max));
    const uint32_t height = static_cast<uint32_t>(integer(r.prhs[4], "the height", 1, kU32Max));
    const uint32_t pixelFormat = static_cast<uint32_t>(integer(r.prhs[5], "the pixel format", 0, 1));
    const std::vector<uint8_t> out = korcamsim::convertFrame(n, bytes, width, height, pixelFormat);
    if (pixelFormat == KORCAM_PIXEL_8BIT) {
        r.plhs[0] = byteColumn(out);
    } else {
        r.plhs[0] = mxCreateNumericMatrix(out.size() / 2, 1, mxUINT16_CLASS, mxREAL);
        std::memcpy(mxGetData(r.plhs[0]), out.data(), out.size());
    }
}

void setCommand(const Request& r) {
    r.expectArgs(4, 5);
    r.noOutput();
    const int32_t n = cameraNumber(r.prhs[1]);
    const int32_t id = static_cast<int32_t>(integer(r.prhs[2], "the property id", -2147483648.0, 2147483647.0));
    const float value = static_cast<float>(number(r.prhs[3], "the value"));
    korcamsim::setPropertyValue(n, id, value);
    if (r.nrhs == 5) {
        // Flags words are 32-bit patterns: 0x80000000 is given as 2147483648.
        const int64_t flags = integer(r.prhs[4], "the flags", -2147483648.0, kU32Max);
        korcamsim::setPropertyFlags(n, id, static_cast<int32_t>(static_cast<uint32_t>(flags)));
    }
}

// The fields of `fields` written over `f`, each checked.
FrameFormat formatWith(FrameFormat f, const mxArray* fields) {
    if (!mxIsStruct(fields) || mxGetNumberOfElements(fields) != 1)
        throw std::invalid_argument("the format must be a 1x1 struct");
    for (int i = 0; i < mxGetNumberOfFields(fields); ++i) {
        const std::string name = mxGetFieldNameByNumber(fields, i);
        const mxArray* value = mxGetFieldByNumber(fields, 0, i);
        if (!value) continue;  // a field never assigned: missing, so kept
        const std::string what = "format field " + name;
        auto u32 = [&] { return static_cast<uint32_t>(integer(value, what, 0, kU32Max)); };
        auto u16 = [&] { return static_cast<uint16_t>(integer(value, what, 0, 65535)); };
        if (name == "width")
            f.width = u32();
        else if (name == "height")
            f.height = u32();
        else if (name == "xOffset")
            f.xOffset = u32();
        else if (name == "yOffset")
            f.yOffset = u32();
        else if (name == "pixelFormat")
            f.pixelFormat = u32();
        else if (name == "xBinSub")
            f.xBinSub = u16();
        else if (name == "yBinSub")
            f.yBinSub = u16();
        else if (name == "xFlags")
            f.xFlags = u16();
        else if (name == "yFlags")
            f.yFlags = u16();
        else
            throw std::invalid_argument("unknown format field '" + name + "'");
    }
    return f;
}

void formatCommand(const Request& r) {
    r.expectArgs(3, 3);
    r.noOutput();
    const int32_t n = cameraNumber(r.prhs[1]);
    korcamsim::forceFormat(n, formatWith(korcamsim::cameraState(n).format, r.prhs[2]));
}

void foregroundCommand(const Request& r) {
    r.expectArgs(2, 2);
    r.noOutput();
    korwin32SetForegroundWindowAvailable(flag(r.prhs[1], "the foreground switch") ? 1 : 0);
}

void paceCommand(const Request& r) {
    r.expectArgs(2, 2);
    r.noOutput();
    korcamsim::setPacing(flag(r.prhs[1], "the pacing switch"));
}

struct Command {
    const char* name;
    void (*handler)(const Request&);
};

constexpr Command kCommands[] = {
    {"help", help},
    {"reset", resetCommand},
    {"rig", rigCommand},
    {"reattach", reattachCommand},
    {"count", countCommand},
    {"fail", failCommand},
    {"calls", callsCommand},
    {"state", stateCommand},
    {"lastframe", lastFrameCommand},
    {"convert", convertCommand},
    {"set", setCommand},
    {"format", formatCommand},
    {"foreground", foregroundCommand},
    {"pace", paceCommand},
};

void run(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nrhs == 0) {
        mexPrintf("%s", kHelp);
        return;
    }
    const Request request{text(prhs[0], "the command"), nlhs, plhs, nrhs, prhs};
    for (const Command& command : kCommands) {
        if (request.command == command.name) {
            command.handler(request);
            return;
        }
    }
    throw std::invalid_argument("unknown command '" + request.command + "' (see korcamsim with no argument)");
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    mexentry::runThenRaise(
        [](std::exception_ptr raised, mexentry::Failure& failure) {
            try {
                std::rethrow_exception(raised);
            } catch (const std::exception& error) {
                failure.set("korcamsim:error", error.what());
            } catch (...) {
                failure.set("korcamsim:error", "unexpected failure");
            }
        },
        [&] { run(nlhs, plhs, nrhs, prhs); });
}
