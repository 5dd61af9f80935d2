// korvideoinput's argument checks: how a command fails, and how every
// argument is read (one reader per kind of value) and every answer made.
#pragma once

#include "frame_log.h"
#include "mex.h"
#include "owned_array.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace korvid {

// How a command fails: thrown with identifier and text, caught in
// mexFunction once every object of the command has been released.
struct Raised {
    std::string identifier;
    std::string message;
};

[[noreturn]] void raise(std::string identifier, std::string message);
[[noreturn]] void raise(const Failure& failure);

constexpr double kMaxUint32 = 4294967295.0;

bool isText(const mxArray* value);
// A row of characters; anything else, or a NUL inside, raises `identifier` naming `what`.
std::string readText(const mxArray* value, const char* identifier, const std::string& what);
// `function`(value) through the host, or null.
mexentry::OwnedArray callOn(const char* function, const mxArray* value);
// `count` real numbers from a numeric or logical array of that many elements.
bool readNumbers(const mxArray* value, std::size_t count, double* out);
bool readScalar(const mxArray* value, double& out);
std::string argumentText(int nrhs, const mxArray* prhs[], int index, const char* what);
double secondsArgument(int nrhs, const mxArray* prhs[], int index, double fallback, const char* what);
std::chrono::steady_clock::duration secondsAsDuration(double seconds);

std::string number(double value);
mxArray* scalar(double value);
mxArray* row(const std::vector<double>& values);
mxArray* cellOfTexts(const std::vector<std::string>& texts);

}  // namespace korvid
