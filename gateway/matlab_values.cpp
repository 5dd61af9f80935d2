#include "matlab_values.h"

#include <cstddef>

#include "errors.h"

namespace kor {
namespace {

mxArray* created(mxArray* array, const char* failure) {
    if (!array) fail("%s", failure);
    return array;
}

mxArray* doubleMatrix(size_t rows, size_t columns, std::initializer_list<double> values, const char* failure) {
    mxArray* array = created(mxCreateDoubleMatrix(rows, columns, mxREAL), failure);
    double* out = mxGetPr(array);
    for (double v : values) *out++ = v;
    return array;
}

}  // namespace

mxArray* doubleScalar(double value, const char* failure) { return created(mxCreateDoubleScalar(value), failure); }

mxArray* logicalScalar(bool value, const char* failure) { return created(mxCreateLogicalScalar(value), failure); }

mxArray* doubleColumn(std::initializer_list<double> values, const char* failure) {
    return doubleMatrix(values.size(), 1, values, failure);
}

mxArray* doubleRow(std::initializer_list<double> values, const char* failure) {
    return doubleMatrix(1, values.size(), values, failure);
}

mxArray* text(const char* value, const char* failure) { return created(mxCreateString(value), failure); }

}  // namespace kor
