#include "arguments.h"

#include "conversions.h"
#include "errors.h"

namespace kor {

bool isIntegerArgument(const mxArray* array) {
    const size_t columns = mxGetN(array);
    const size_t rows = mxGetM(array);
    return mxIsNumeric(array) && rows * columns == 1 && !mxIsComplex(array) && !mxIsEmpty(array);
}

bool isDoubleArgument(const mxArray* array) {
    return mxGetM(array) * mxGetN(array) == 1 && !mxIsComplex(array) && !mxIsEmpty(array) && mxIsDouble(array);
}

bool isLogicalArgument(const mxArray* array) {
    return !mxIsEmpty(array) && mxIsLogical(array) && mxGetNumberOfElements(array) != 0;
}

int32_t Params::integer(int k) const { return truncateToInt32(mxGetScalar(inputs_[k])); }

int32_t Params::uncheckedInteger(int k) const {
    const mxArray* array = inputs_[k];
    // mxGetScalar is defined only for non-empty numeric, logical and char data;
    // anything else would reach the host's own error path.
    if ((!mxIsNumeric(array) && !mxIsLogical(array) && !mxIsChar(array)) || mxIsEmpty(array)) {
        fail("Parameter %d must be a number.", k);
    }
    return truncateToInt32(mxGetScalar(array));
}

double Params::real(int k) const {
    const mxArray* array = inputs_[k];
    // A 1 x 1 sparse zero stores no element: its data holds nothing to read.
    if (mxIsSparse(array)) return mxGetJc(array)[1] > 0 ? mxGetPr(array)[0] : 0.0;
    return mxGetPr(array)[0];
}

double Params::number(int k) const { return mxGetScalar(inputs_[k]); }

bool Params::logical(int k) const {
    const mxArray* array = inputs_[k];
    // A sparse array stores only its non-zero elements, so its data does not
    // start with element 1: that element is set when column 1 holds an entry
    // in row 1 (row indices ascend within a column).
    if (mxIsSparse(array)) {
        const mwIndex* columnStarts = mxGetJc(array);
        return columnStarts[1] > 0 && mxGetIr(array)[0] == 0 && mxGetLogicals(array)[0] != 0;
    }
    return mxGetLogicals(array)[0] != 0;
}

}  // namespace kor
