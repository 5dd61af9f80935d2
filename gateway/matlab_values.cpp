#include "matlab_values.h"

#include <cstddef>

namespace kor {
namespace {

mxArray* doubleMatrix(size_t rows, size_t columns, std::initializer_list<double> values) {
    mxArray* array = mxCreateDoubleMatrix(rows, columns, mxREAL);
    if (array) {
        double* out = mxGetPr(array);
        for (double v : values) *out++ = v;
    }
    return array;
}

}  // namespace

mxArray* doubleScalar(double value) { return mxCreateDoubleScalar(value); }

mxArray* logicalScalar(bool value) { return mxCreateLogicalScalar(value); }

mxArray* doubleColumn(std::initializer_list<double> values) {
    return doubleMatrix(values.size(), 1, values);
}

mxArray* doubleRow(std::initializer_list<double> values) { return doubleMatrix(1, values.size(), values); }

}  // namespace kor
