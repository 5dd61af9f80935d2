#include "arguments.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace korvid {

[[noreturn]] void raise(std::string identifier, std::string message) {
    throw Raised{std::move(identifier), std::move(message)};
}

[[noreturn]] void raise(const Failure& failure) { raise(failure.identifier, failure.message); }

// Every argument is read through one of these, one per kind of value.

bool isText(const mxArray* value) {
    return value != nullptr && mxIsChar(value) && mxGetNumberOfDimensions(value) == 2 && mxGetM(value) <= 1;
}

// A row of characters. A NUL inside it would end the text early in every C
// string function, so that ['start' 0 'z'] would pass for 'start': refused.
std::string readText(const mxArray* value, const char* identifier, const std::string& what) {
    if (!isText(value)) raise(identifier, what + " must be given as text.");
    const std::size_t length = mxGetNumberOfElements(value);
    const mxChar* chars = mxGetChars(value);
    for (std::size_t i = 0; i < length; ++i)
        if (chars[i] == 0)
            raise(identifier, what + " holds a NUL character (char(0)) at position " + std::to_string(i + 1) +
                                  "; give the text without it.");
    char* converted = mxArrayToString(value);
    if (converted == nullptr) raise(identifier, what + " could not be read as text.");
    std::string result(converted);
    mxFree(converted);
    return result;
}

// function(value) through the host, or null.
mexentry::OwnedArray callOn(const char* function, const mxArray* value) {
    mxArray* input[] = {const_cast<mxArray*>(value)};
    mxArray* output = nullptr;
    if (mexCallMATLAB(1, &output, 1, input, function) != 0) return mexentry::OwnedArray();
    return mexentry::OwnedArray(output);
}

// `count` real numbers given as a vector (a 1 x count or count x 1 array) of
// any numeric or logical class, full or sparse, read as the full values they
// stand for; false for any other value, a matrix among them.
bool readNumbers(const mxArray* value, std::size_t count, double* out) {
    if (value == nullptr || !(mxIsNumeric(value) || mxIsLogical(value)) || mxIsComplex(value) ||
        mxGetNumberOfDimensions(value) != 2 || mxGetNumberOfElements(value) != count ||
        (mxGetM(value) != 1 && mxGetN(value) != 1))
        return false;
    if (count == 1 && !mxIsSparse(value)) {
        out[0] = mxGetScalar(value);
        return true;
    }
    // A sparse array stores only its nonzero elements: its data pointer does
    // not hold `count` values. Octave or MATLAB make it full, then double.
    const mexentry::OwnedArray full = mxIsSparse(value) ? callOn("full", value) : mexentry::OwnedArray();
    const mxArray* source = full ? full.get() : value;
    const mexentry::OwnedArray asDouble =
        source != nullptr && !mxIsDouble(source) ? callOn("double", source) : mexentry::OwnedArray();
    if (asDouble) source = asDouble.get();
    const bool readable =
        source != nullptr && mxIsDouble(source) && !mxIsSparse(source) && mxGetNumberOfElements(source) == count;
    if (readable) std::copy(mxGetPr(source), mxGetPr(source) + count, out);
    return readable;
}

bool readScalar(const mxArray* value, double& out) { return readNumbers(value, 1, &out); }

std::string argumentText(int nrhs, const mxArray* prhs[], int index, const char* what) {
    return readText(index < nrhs ? prhs[index] : nullptr, "KorVideoInput:badArgument", what);
}

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

mxArray* scalar(double value) { return mxCreateDoubleScalar(value); }

mxArray* row(const std::vector<double>& values) {
    mxArray* array = mxCreateDoubleMatrix(1, values.size(), mxREAL);
    std::copy(values.begin(), values.end(), mxGetPr(array));
    return array;
}

mxArray* cellOfTexts(const std::vector<std::string>& texts) {
    mxArray* cell = mxCreateCellMatrix(1, texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) mxSetCell(cell, i, mxCreateString(texts[i].c_str()));
    return cell;
}

double secondsArgument(int nrhs, const mxArray* prhs[], int index, double fallback, const char* what) {
    if (index >= nrhs) return fallback;
    double seconds = 0;
    if (!readScalar(prhs[index], seconds) || !(seconds >= 0))
        raise("KorVideoInput:badValue", std::string(what) + " must be a number of seconds, 0 or more" +
                                            (fallback > 0 ? " (Inf: no limit)." : "."));
    return seconds;
}

std::chrono::steady_clock::duration secondsAsDuration(double seconds) {
    constexpr double kDay = 86400;  // further than any wait reaches
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(seconds, kDay)));
}

}  // namespace korvid
