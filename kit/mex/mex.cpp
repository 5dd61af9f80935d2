// libmex of the MEX stand-in: the error exit, the exit hook, and the host's
// side of a call.
//
// mexErrMsgTxt must not return, and it is called from inside the MEX file's
// own frames, in another DLL that carries its own copy of the GCC runtime
// (the Windows builds link it statically). A C++ exception thrown here would
// have to unwind through that copy's frames, which the 32-bit DWARF unwinder
// of one DLL cannot do; the MSVC runtime's longjmp on x64 unwinds with the
// system unwinder and runs GCC's personality routine on a foreign exception.
// So the exit is GCC's own register-restoring jump: __builtin_setjmp in the
// host's call and __builtin_longjmp in mexErrMsgTxt, both in this DLL. It
// skips the MEX file's frames without running anything in them: a MEX file
// that still owns memory when it raises an error leaks it, as it may in
// MATLAB, so it must own nothing by then.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

#include "kormex_host.h"

namespace {

void* gJump[5];  // the buffer __builtin_setjmp fills: five words
char gMessage[4096];
bool gRunning;   // a MEX function or an exit function is running
std::map<HMODULE, void (*)(void)> gExitFunctions;

void setMessage(const char* text) { std::snprintf(gMessage, sizeof gMessage, "%s", text ? text : ""); }

[[noreturn]] void raise(const char* text) {
    if (!gRunning) {
        // Nothing to return to: MATLAB would not have let this happen.
        kormxBreakRule("mexErrMsgTxt called outside a MEX call");
        std::fprintf(stderr, "libmex: mexErrMsgTxt outside a MEX call: %s\n", text ? text : "");
        std::abort();
    }
    setMessage(text);
    __builtin_longjmp(gJump, 1);
}

struct Invocation {
    KormexFunction function;
    int nlhs;
    mxArray** plhs;
    int nrhs;
    const mxArray** prhs;
    void (*exitFunction)(void);
};

// False when a C++ exception left the function: the MEX file broke the
// interface (MATLAB would report it as a crash of the MEX file).
bool invoke(const Invocation& call) noexcept {
    try {
        if (call.function)
            call.function(call.nlhs, call.plhs, call.nrhs, call.prhs);
        else
            call.exitFunction();
        return true;
    } catch (...) {
        kormxBreakRule("a C++ exception left the MEX file");
        setMessage("A C++ exception left the MEX file.");
        return false;
    }
}

// 0 when the function returned, 1 when it raised an error. Kept apart and
// out of line: after the jump back, only the return value is used.
__attribute__((noinline)) int runGuarded(const Invocation* call) {
    if (__builtin_setjmp(gJump)) return 1;
    return invoke(*call) ? 0 : 1;
}

}  // namespace

extern "C" {

void mexErrMsgTxt(const char* message) {
    if (!message) kormxBreakRule("mexErrMsgTxt given a NULL message");
    raise(message);
}

void mexErrMsgIdAndTxt(const char* identifier, const char* format, ...) {
    if (!identifier || !format) kormxBreakRule("mexErrMsgIdAndTxt given a NULL identifier or format");
    char text[sizeof gMessage];
    text[0] = '\0';
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    raise(text);
}

int mexAtExit(void (*exitFunction)(void)) {
    if (!kormxInCall()) {
        kormxBreakRule("mexAtExit called outside a MEX call");
        return 1;
    }
    HMODULE module = nullptr;
    if (!exitFunction ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(exitFunction), &module)) {
        kormxBreakRule("mexAtExit given no function of a loaded module");
        return 1;
    }
    gExitFunctions[module] = exitFunction;
    return 0;
}

int kormexCall(KormexFunction function, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    gMessage[0] = '\0';
    if (gRunning) {
        kormxBreakRule("a MEX call started while another runs");
        setMessage("A MEX call started while another runs.");
        return 1;
    }
    if (!function || nlhs < 0 || nlhs > KORMEX_MAX_OUTPUTS || nrhs < 0 || (nrhs > 0 && !prhs) || !plhs) {
        kormxBreakRule("kormexCall given no function or a bad argument list");
        setMessage("Bad MEX call.");
        return 1;
    }
    // Room past nlhs (and past the one output MATLAB always offers, for ans)
    // shows a MEX file that writes outputs it was not asked for.
    mxArray* outputs[KORMEX_MAX_OUTPUTS + 8] = {};
    const int slots = KORMEX_MAX_OUTPUTS + 8;
    kormxBeginCall(nrhs, prhs);
    gRunning = true;
    const Invocation call{function, nlhs, outputs, nrhs, prhs, nullptr};
    const int raised = runGuarded(&call);
    gRunning = false;
    const char* hostError = nullptr;
    const int failed = kormxEndCall(nlhs, outputs, slots, !raised, &hostError);
    if (hostError) setMessage(hostError);
    const int given = nlhs > 1 ? nlhs : 1;
    for (int k = 0; k < given; ++k) plhs[k] = failed ? nullptr : outputs[k];
    return failed;
}

const char* kormexErrorMessage(void) { return gMessage; }

int kormexUnload(void* module) {
    HMODULE handle = static_cast<HMODULE>(module);
    auto found = gExitFunctions.find(handle);
    if (found != gExitFunctions.end()) {
        void (*exitFunction)(void) = found->second;
        gExitFunctions.erase(found);
        // The exit function may use the interface like a call without inputs.
        mxArray* none[1] = {};
        kormxBeginCall(0, nullptr);
        gRunning = true;
        const Invocation call{nullptr, 0, none, 0, nullptr, exitFunction};
        if (runGuarded(&call)) kormxBreakRule("the exit function raised an error or threw");
        gRunning = false;
        const char* ignored = nullptr;
        kormxEndCall(0, none, 1, 1, &ignored);
    }
    return FreeLibrary(handle) ? 1 : 0;
}

}  // extern "C"
