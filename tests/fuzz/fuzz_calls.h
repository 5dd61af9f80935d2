// What every fuzz target shares: the input bytes read as a sequence of steps
// (a MEX call with its arguments, or a fault of the virtual cameras), the
// arguments made from them, and the checks after each call. A failure aborts
// with its reason, so that libFuzzer keeps the input that caused it.
#pragma once

#include <cmath>
#include <ctime>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "kormex_host.h"

namespace fuzz {

// The input bytes, read front to back; past the end every read answers 0.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return position_ >= size_; }
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint32_t u16() { return byte() | (std::uint32_t{byte()} << 8); }
    std::uint32_t u32() { return u16() | (u16() << 16); }
    std::uint64_t u64() { return u32() | (std::uint64_t{u32()} << 32); }
    double raw() {
        const std::uint64_t bits = u64();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // One of `count` choices (count > 0).
    std::size_t pick(std::size_t count) { return byte() % count; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

[[noreturn]] inline void failure(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "\n== fuzz failure: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::fflush(stderr);
    std::abort();
}

// Numbers that sit on the edges the MEX files check.
inline double edgeNumber(Bytes& in) {
    static const double kValues[] = {0,
                                     1,
                                     2,
                                     3,
                                     4,
                                     1,
                                     2,
                                     5,
                                     10,
                                     11,
                                     -1,
                                     -2,
                                     0.5,
                                     1.5,
                                     -0.5,
                                     100,
                                     255,
                                     256,
                                     1024,
                                     65535,
                                     65536,
                                     2147483647.0,
                                     2147483648.0,
                                     -2147483648.0,
                                     -2147483649.0,
                                     4294967295.0,
                                     4294967296.0,
                                     9007199254740992.0,
                                     1.8e19,
                                     1e300,
                                     -1e300,
                                     1e-300,
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity(),
                                     3.75,
                                     30,
                                     0.001,
                                     -0.0};
    const std::uint8_t choice = in.byte();
    if (choice < 200) return kValues[choice % (sizeof kValues / sizeof kValues[0])];
    if (choice < 240) return static_cast<double>(static_cast<std::int16_t>(in.u16()));
    return in.raw();
}

// What the target knows that makes arguments worth more than random ones:
// the words its MEX file reads, and handles it was given back.
struct Vocabulary {
    std::vector<std::string> words;
    std::vector<double> handles;  // valid ones and stale ones alike
};

inline std::string word(Bytes& in, const Vocabulary& vocabulary) {
    const std::uint8_t choice = in.byte();
    if (choice < 224 && !vocabulary.words.empty()) return vocabulary.words[choice % vocabulary.words.size()];
    // Any bytes, NULs and high bytes included.
    std::string text;
    const std::size_t length = in.pick(12);
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(in.byte());
    return text;
}

inline mxArray* charRow(const std::string& text) {
    const mwSize dims[2] = {text.empty() ? 0u : 1u, text.size()};
    mxArray* array = mxCreateCharArray(2, dims);
    mxChar* chars = mxGetChars(array);
    for (std::size_t i = 0; i < text.size(); ++i) chars[i] = static_cast<unsigned char>(text[i]);
    return array;
}

// Complex arrays are double ones (the stand-in reads imaginary parts of doubles only).
inline mxArray* numeric(Bytes& in, mxClassID id, mwSize m, mwSize n, bool complex) {
    complex = complex && id == mxDOUBLE_CLASS;
    const mwSize dims[2] = {m, n};
    mxArray* array = mxCreateNumericArray(2, dims, id, complex ? mxCOMPLEX : mxREAL);
    const std::size_t count = m * n;
    for (int part = 0; part < (complex ? 2 : 1); ++part) {
        void* data = part ? static_cast<void*>(mxGetPi(array)) : mxGetData(array);
        for (std::size_t i = 0; i < count; ++i) {
            const double v = edgeNumber(in);
            // Saturating stores: the conversion itself must be defined here.
            auto clamp = [&](double lo, double hi) { return std::isnan(v) ? 0.0 : v < lo ? lo : v > hi ? hi : v; };
            switch (id) {
                case mxDOUBLE_CLASS: static_cast<double*>(data)[i] = v; break;
                case mxSINGLE_CLASS: static_cast<float*>(data)[i] = static_cast<float>(clamp(-3e38, 3e38)); break;
                case mxINT8_CLASS:
                    static_cast<std::int8_t*>(data)[i] = static_cast<std::int8_t>(clamp(-128, 127));
                    break;
                case mxUINT8_CLASS:
                    static_cast<std::uint8_t*>(data)[i] = static_cast<std::uint8_t>(clamp(0, 255));
                    break;
                case mxINT16_CLASS:
                    static_cast<std::int16_t*>(data)[i] = static_cast<std::int16_t>(clamp(-32768, 32767));
                    break;
                case mxUINT16_CLASS:
                    static_cast<std::uint16_t*>(data)[i] = static_cast<std::uint16_t>(clamp(0, 65535));
                    break;
                case mxINT32_CLASS:
                    static_cast<std::int32_t*>(data)[i] = static_cast<std::int32_t>(clamp(-2147483648.0, 2147483647.0));
                    break;
                case mxUINT32_CLASS:
                    static_cast<std::uint32_t*>(data)[i] = static_cast<std::uint32_t>(clamp(0, 4294967295.0));
                    break;
                case mxINT64_CLASS:
                    static_cast<std::int64_t*>(data)[i] = static_cast<std::int64_t>(clamp(-9.2e18, 9.2e18));
                    break;
                case mxUINT64_CLASS:
                    static_cast<std::uint64_t*>(data)[i] = static_cast<std::uint64_t>(clamp(0, 1.8e19));
                    break;
                default: break;
            }
        }
    }
    return array;
}

// A sparse m x n array (double or logical) with some of its elements set.
inline mxArray* sparse(Bytes& in, bool logical, mwSize m, mwSize n) {
    const std::size_t wanted = m * n == 0 ? 0 : in.pick(m * n + 1);
    mxArray* array = logical ? mxCreateSparseLogicalMatrix(m, n, wanted) : mxCreateSparse(m, n, wanted, mxREAL);
    mwIndex* ir = mxGetIr(array);
    mwIndex* jc = mxGetJc(array);
    std::size_t stored = 0;
    for (mwSize column = 0; column < n; ++column) {
        jc[column] = stored;
        for (mwSize row = 0; row < m && stored < wanted; ++row) {
            if (in.byte() & 1) continue;
            ir[stored] = row;
            if (logical)
                mxGetLogicals(array)[stored] = true;
            else
                mxGetPr(array)[stored] = edgeNumber(in);
            ++stored;
        }
    }
    jc[n] = stored;
    return array;
}

// One argument, made outside any call (the host owns it).
inline mxArray* argument(Bytes& in, const Vocabulary& vocabulary, int depth = 0) {
    const mwSize m = in.pick(3), n = in.pick(5);
    switch (in.pick(depth < 2 ? 16 : 13)) {
        case 0:
        case 1:
        case 2: return mxCreateDoubleScalar(edgeNumber(in));
        case 3: return numeric(in, mxDOUBLE_CLASS, m, n, false);
        case 4: return numeric(in, static_cast<mxClassID>(mxSINGLE_CLASS + in.pick(9)), 1, 1, false);
        case 5: return numeric(in, static_cast<mxClassID>(mxDOUBLE_CLASS + in.pick(10)), m, n, in.byte() & 1);
        case 6: {
            if (in.byte() & 1) return mxCreateLogicalScalar(in.byte() & 1);
            mxArray* array = mxCreateLogicalMatrix(m, n);
            for (std::size_t i = 0; i < m * n; ++i) mxGetLogicals(array)[i] = in.byte() & 1;
            return array;
        }
        case 7:
        case 8:
        case 9: return charRow(word(in, vocabulary));
        case 10: {  // text of several rows
            const mwSize dims[2] = {2, n};
            mxArray* array = mxCreateCharArray(2, dims);
            for (std::size_t i = 0; i < 2 * n; ++i) mxGetChars(array)[i] = 'a' + in.pick(26);
            return array;
        }
        case 11: return sparse(in, in.byte() & 1, 1 + in.pick(2), 1 + in.pick(4));
        case 12: {
            if (vocabulary.handles.empty()) return mxCreateDoubleScalar(edgeNumber(in));
            return mxCreateDoubleScalar(vocabulary.handles[in.pick(vocabulary.handles.size())]);
        }
        case 13:
        case 14: {  // structure of words as field names
            const std::size_t fields = in.pick(4);
            std::vector<std::string> names;
            for (std::size_t f = 0; f < fields; ++f) {
                std::string name = word(in, vocabulary);
                if (name.empty() || name.find('\0') != std::string::npos) name = "f" + std::to_string(f);
                bool repeated = false;
                for (const std::string& other : names) repeated = repeated || other == name;
                if (!repeated) names.push_back(name);
            }
            std::vector<const char*> pointers;
            for (const std::string& name : names) pointers.push_back(name.c_str());
            const mwSize elements = in.pick(3);
            mxArray* array = mxCreateStructMatrix(1, elements, static_cast<int>(pointers.size()), pointers.data());
            for (mwSize e = 0; e < elements; ++e)
                for (std::size_t f = 0; f < pointers.size(); ++f)
                    if (in.byte() & 3)
                        mxSetFieldByNumber(array, e, static_cast<int>(f), argument(in, vocabulary, depth + 1));
            return array;
        }
        default: {
            const mwSize elements = in.pick(4);
            mxArray* array = mxCreateCellMatrix(1, elements);
            for (mwSize e = 0; e < elements; ++e) mxSetCell(array, e, argument(in, vocabulary, depth + 1));
            return array;
        }
    }
}

// The arguments of one call, destroyed with it.
class Arguments {
public:
    Arguments() = default;
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    ~Arguments() {
        for (mxArray* array : arrays_) mxDestroyArray(array);
    }
    void add(mxArray* array) {
        if (!array) failure("the host could not make an argument");
        arrays_.push_back(array);
    }
    int count() const { return static_cast<int>(arrays_.size()); }
    const mxArray** data() { return const_cast<const mxArray**>(arrays_.data()); }

private:
    std::vector<mxArray*> arrays_;
};

// Array creations the next call gets before memory runs out (negative: no
// failure); set by a fault step, used by one call.
inline long& arraysBeforeFailure() {
    static long count = -1;
    return count;
}

inline void checkRules(const char* where) {
    if (kormxBrokenRuleCount() == 0) return;
    for (std::size_t i = 0; kormxBrokenRule(i); ++i) std::fprintf(stderr, "broken rule: %s\n", kormxBrokenRule(i));
    failure("%s broke %zu rule(s) of the MEX interface", where, kormxBrokenRuleCount());
}

// FUZZ_TRACE=1 prints every step, for replaying one input by hand.
inline bool tracing() {
    static const bool on = [] {
        const char* value = std::getenv("FUZZ_TRACE");
        return value && *value && *value != '0';
    }();
    return on;
}

inline void trace(const char* format, ...) {
    if (!tracing()) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

inline std::string describe(const mxArray* a) {
    static const char* const kNames[] = {"unknown", "cell",   "struct", "logical", "char",    "void",
                                         "double",  "single", "int8",   "uint8",   "int16",   "uint16",
                                         "int32",   "uint32", "int64",  "uint64",  "function"};
    const mxClassID id = mxGetClassID(a);
    std::string text = id <= mxFUNCTION_CLASS ? kNames[id] : "?";
    if (mxIsSparse(a)) text = "sparse " + text;
    if (mxIsComplex(a)) text = "complex " + text;
    text += " " + std::to_string(mxGetM(a)) + "x" + std::to_string(mxGetN(a));
    if (id == mxCHAR_CLASS) {
        text += " '";
        for (std::size_t i = 0; i < mxGetNumberOfElements(a); ++i) {
            const mxChar c = mxGetChars(a)[i];
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, c >= 32 && c < 127 ? "%c" : "\\x%02x", c);
            text += escaped;
        }
        text += "'";
    } else if (mxGetNumberOfElements(a) >= 1 && id != mxSTRUCT_CLASS && id != mxCELL_CLASS && !mxIsSparse(a)) {
        char value[40];
        std::snprintf(value, sizeof value, " %.17g", mxGetScalar(a));
        text += value;
    }
    return text;
}

// One MEX call as MATLAB makes it. The outputs are handed to `take` (when
// given) and then destroyed. Answers whether the call returned without error.
template <typename Take>
bool call(KormexFunction function, int nlhs, Arguments& arguments, Take&& take) {
    const std::size_t liveBefore = kormxLiveArrays();
    mxArray* outputs[KORMEX_MAX_OUTPUTS] = {};
    if (tracing()) {
        trace("call, %d output(s):", nlhs);
        for (int k = 0; k < arguments.count(); ++k) trace(" [%s]", describe(arguments.data()[k]).c_str());
        if (arraysBeforeFailure() >= 0) trace(" (memory runs out after %ld arrays)", arraysBeforeFailure());
        trace("\n");
    }
    kormxFailCreationsAfter(arraysBeforeFailure());
    arraysBeforeFailure() = -1;
    const int raised = kormexCall(function, nlhs, outputs, arguments.count(), arguments.data());
    trace("  -> %s\n", raised ? kormexErrorMessage() : "returned");
    kormxFailCreationsAfter(-1);
    checkRules("the call");
    if (!raised) take(outputs);
    for (mxArray*& output : outputs) {
        if (output) mxDestroyArray(output);
        output = nullptr;
    }
    if (kormxLiveArrays() != liveBefore)
        failure("the call left %zu arrays alive, %zu before", kormxLiveArrays(), liveBefore);
    return !raised;
}

inline bool call(KormexFunction function, int nlhs, Arguments& arguments) {
    return call(function, nlhs, arguments, [](mxArray**) {});
}

// Threads of this process, to tell that an unload ended every thread it should.
inline std::size_t threadCount() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) failure("cannot read /proc/self/status");
    char line[256];
    std::size_t threads = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "Threads: %zu", &threads) == 1) break;
    std::fclose(status);
    return threads;
}

// Waits up to two seconds for the process to be back at `threads` threads
// (a thread that was joined may take a moment to leave the count).
inline void expectThreads(std::size_t threads, const char* when) {
    for (int i = 0; i < 200 && threadCount() > threads; ++i) {
        struct timespec pause {
            0, 10 * 1000 * 1000
        };
        nanosleep(&pause, nullptr);
    }
    if (threadCount() > threads) failure("%zu threads left behind %s", threadCount() - threads, when);
}

}  // namespace fuzz
