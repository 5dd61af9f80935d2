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
// MATLAB, so it must own nothing by then. Elsewhere (Linux, where the fuzz
// targets link a MEX file's sources into one program) the C library's
// longjmp does the same, and the address sanitizer knows it.
#if defined(_WIN32)
#include <windows.h>
#else
#include <csetjmp>
#include <dlfcn.h>
#include <link.h>
typedef void* HMODULE;
#endif

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "kormex_host.h"

namespace {

#if defined(_WIN32)
void* gJump[5];  // the buffer __builtin_setjmp fills: five words
#define KORMEX_SETJMP(buffer) __builtin_setjmp(buffer)
#define KORMEX_LONGJMP(buffer) __builtin_longjmp(buffer, 1)
#else
std::jmp_buf gJump;
#define KORMEX_SETJMP(buffer) setjmp(buffer)
#define KORMEX_LONGJMP(buffer) std::longjmp(buffer, 1)
#endif
char gMessage[4096];
char gIdentifier[256];  // of mexErrMsgIdAndTxt; empty for any other error
bool gRunning;          // a MEX function or an exit function is running
std::map<HMODULE, void (*)(void)> gExitFunctions;

void setMessage(const char* text) { std::snprintf(gMessage, sizeof gMessage, "%s", text ? text : ""); }
void setIdentifier(const char* text) { std::snprintf(gIdentifier, sizeof gIdentifier, "%s", text ? text : ""); }

[[noreturn]] void raise(const char* text) {
    if (!gRunning) {
        // Nothing to return to: MATLAB would not have let this happen.
        kormxBreakRule("mexErrMsgTxt called outside a MEX call");
        std::fprintf(stderr, "libmex: mexErrMsgTxt outside a MEX call: %s\n", text ? text : "");
        std::abort();
    }
    setMessage(text);
    KORMEX_LONGJMP(gJump);
}

// The module that holds an address: its HMODULE on Windows, its load address
// elsewhere.
HMODULE moduleOf(const void* address) {
#if defined(_WIN32)
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(address), &module))
        return nullptr;
    return module;
#else
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
#endif
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
    if (KORMEX_SETJMP(gJump)) return 1;
    return invoke(*call) ? 0 : 1;
}

// Runs and forgets the exit function a module registered; false when it had none.
bool runExitFunction(HMODULE module) {
    auto found = gExitFunctions.find(module);
    if (found == gExitFunctions.end()) return false;
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
    return true;
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
    setIdentifier(identifier);
    raise(text);
}

int mexAtExit(void (*exitFunction)(void)) {
    if (!kormxInCall()) {
        kormxBreakRule("mexAtExit called outside a MEX call");
        return 1;
    }
    HMODULE module = exitFunction ? moduleOf(reinterpret_cast<const void*>(exitFunction)) : nullptr;
    if (!module) {
        kormxBreakRule("mexAtExit given no function of a loaded module");
        return 1;
    }
    gExitFunctions[module] = exitFunction;
    return 0;
}

int kormexCall(KormexFunction function, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    gMessage[0] = '\0';
    gIdentifier[0] = '\0';
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
const char* kormexErrorIdentifier(void) { return gIdentifier; }

int mexPrintf(const char* format, ...) {
    if (!format) {
        kormxBreakRule("mexPrintf given a NULL format");
        return 0;
    }
    va_list args;
    va_start(args, format);
    const int written = std::vprintf(format, args);
    va_end(args);
    return written;
}

int mexCallMATLAB(int nlhs, mxArray* plhs[], int nrhs, mxArray* prhs[], const char* functionName) {
    if (!kormxInCall()) {
        kormxBreakRule("mexCallMATLAB called outside a MEX call");
        return 1;
    }
    const std::string name = functionName ? functionName : "";
    if (nlhs < 0 || nrhs < 0 || (nlhs > 0 && !plhs) || (nrhs > 0 && !prhs)) {
        kormxBreakRule("mexCallMATLAB given a bad argument list");
        return 1;
    }
    for (int k = 0; k < nrhs; ++k)
        if (!prhs[k] || mxGetClassID(prhs[k]) == mxUNKNOWN_CLASS) return 1;  // the rule is counted by the reader
    if (name == "double" && nrhs == 1 && nlhs <= 1) {
        const mxArray* in = prhs[0];
        const mxClassID id = mxGetClassID(in);
        if (id == mxSTRUCT_CLASS || id == mxCELL_CLASS || mxIsComplex(in)) return 1;  // MATLAB raises an error
        const size_t elements = mxGetNumberOfElements(in);
        mxArray* out = nullptr;
        size_t stored = elements;
        if (mxIsSparse(in)) {
            stored = mxGetJc(in)[mxGetN(in)];
            out = mxCreateSparse(mxGetM(in), mxGetN(in), stored, mxREAL);
            if (out) {
                std::memcpy(mxGetIr(out), mxGetIr(in), stored * sizeof(mwIndex));
                std::memcpy(mxGetJc(out), mxGetJc(in), (mxGetN(in) + 1) * sizeof(mwIndex));
            }
        } else {
            out = mxCreateNumericArray(mxGetNumberOfDimensions(in), mxGetDimensions(in), mxDOUBLE_CLASS, mxREAL);
        }
        if (!out) return 1;
        const void* data = mxGetData(in);
        double* to = mxGetPr(out);
        for (size_t i = 0; i < stored; ++i) {
            switch (id) {
                case mxDOUBLE_CLASS: to[i] = static_cast<const double*>(data)[i]; break;
                case mxSINGLE_CLASS: to[i] = static_cast<const float*>(data)[i]; break;
                case mxLOGICAL_CLASS: to[i] = static_cast<const mxLogical*>(data)[i] ? 1 : 0; break;
                case mxCHAR_CLASS: to[i] = static_cast<const mxChar*>(data)[i]; break;
                case mxINT8_CLASS: to[i] = static_cast<const int8_t*>(data)[i]; break;
                case mxUINT8_CLASS: to[i] = static_cast<const uint8_t*>(data)[i]; break;
                case mxINT16_CLASS: to[i] = static_cast<const int16_t*>(data)[i]; break;
                case mxUINT16_CLASS: to[i] = static_cast<const uint16_t*>(data)[i]; break;
                case mxINT32_CLASS: to[i] = static_cast<const int32_t*>(data)[i]; break;
                case mxUINT32_CLASS: to[i] = static_cast<const uint32_t*>(data)[i]; break;
                case mxINT64_CLASS: to[i] = static_cast<double>(static_cast<const int64_t*>(data)[i]); break;
                case mxUINT64_CLASS: to[i] = static_cast<double>(static_cast<const uint64_t*>(data)[i]); break;
                default: break;
            }
        }
        if (nlhs == 1) {
            plhs[0] = out;
        } else {
            mxDestroyArray(out);
        }
        return 0;
    }
    // full() of a sparse array: the only arrays the stand-in makes sparse are double and logical.
    if (name == "full" && nrhs == 1 && nlhs <= 1 && mxIsSparse(prhs[0])) {
        const mxArray* in = prhs[0];
        const bool logical = mxIsLogical(in);
        const size_t m = mxGetM(in), n = mxGetN(in);
        mxArray* out = logical ? mxCreateLogicalMatrix(m, n) : mxCreateDoubleMatrix(m, n, mxREAL);
        if (!out) return 1;
        const mwIndex* ir = mxGetIr(in);
        const mwIndex* jc = mxGetJc(in);
        for (size_t column = 0; column < n; ++column) {
            for (mwIndex k = jc[column]; k < jc[column + 1]; ++k) {
                if (logical)
                    mxGetLogicals(out)[ir[k] + column * m] = mxGetLogicals(in)[k];
                else
                    mxGetPr(out)[ir[k] + column * m] = mxGetPr(in)[k];
            }
        }
        if (nlhs == 1) {
            plhs[0] = out;
        } else {
            mxDestroyArray(out);
        }
        return 0;
    }
    if (name == "warning" && nlhs == 0 && nrhs >= 1) {
        std::string line = "warning:";
        for (int k = 0; k < nrhs; ++k) {
            char* text = mxArrayToString(prhs[k]);
            if (!text) return 1;
            line += ' ';
            line += text;
            mxFree(text);
        }
        std::fprintf(stderr, "%s\n", line.c_str());
        return 0;
    }
    // warning('query', id): every warning is on, none turned into an error.
    if (name == "warning" && nlhs == 1 && nrhs == 2 && mxIsChar(prhs[0]) && mxIsChar(prhs[1])) {
        char* query = mxArrayToString(prhs[0]);
        char* identifier = mxArrayToString(prhs[1]);
        const bool isQuery = query && identifier && std::string(query) == "query";
        mxArray* state = nullptr;
        if (isQuery) {
            const char* fields[] = {"identifier", "state"};
            state = mxCreateStructMatrix(1, 1, 2, fields);
            if (state) {
                mxSetFieldByNumber(state, 0, 0, mxCreateString(identifier));
                mxSetFieldByNumber(state, 0, 1, mxCreateString("on"));
            }
        }
        mxFree(query);
        mxFree(identifier);
        if (isQuery) {
            plhs[0] = state;
            return state ? 0 : 1;
        }
    }
    const std::string rule = "mexCallMATLAB asked for '" + name + "' with " + std::to_string(nlhs) + " outputs and " +
                             std::to_string(nrhs) + " inputs, which the stand-in does not provide";
    kormxBreakRule(rule.c_str());
    return 1;
}

int kormexExitModule(const void* address) { return runExitFunction(moduleOf(address)) ? 1 : 0; }

#if defined(_WIN32)
int kormexUnload(void* module) {
    HMODULE handle = static_cast<HMODULE>(module);
    runExitFunction(handle);
    return FreeLibrary(handle) ? 1 : 0;
}
#else
int kormexUnload(void* module) {
    // module is a handle of dlopen; the exit functions are kept by load address.
    struct link_map* map = nullptr;
    if (!module || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map) return 0;
    for (const auto& entry : gExitFunctions) {
        if (reinterpret_cast<ElfW(Addr)>(entry.first) == map->l_addr) {
            runExitFunction(entry.first);
            break;
        }
    }
    return dlclose(module) == 0 ? 1 : 0;
}
#endif

}  // extern "C"
