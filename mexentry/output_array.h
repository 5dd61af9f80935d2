// A numeric array for a MEX file to fill and return. Octave copies every
// array a MEX file creates into an array of its own, element by element, when
// the call returns (a second pass over the whole output, as long as the
// fill); an array Octave made itself, through mexCallMATLAB, goes back as it
// is. So under Octave the array is Octave's zeros(...), and where that call
// fails, or under MATLAB (which takes the MEX file's array as it is), the
// host's mxCreateNumericArray. Null when neither gives the memory.
#pragma once

#include "owned_array.h"

#include "mex.h"

namespace mexentry {

inline const char* numericClassName(mxClassID classId) {
    switch (classId) {
        case mxDOUBLE_CLASS: return "double";
        case mxSINGLE_CLASS: return "single";
        case mxINT8_CLASS: return "int8";
        case mxUINT8_CLASS: return "uint8";
        case mxINT16_CLASS: return "int16";
        case mxUINT16_CLASS: return "uint16";
        case mxINT32_CLASS: return "int32";
        case mxUINT32_CLASS: return "uint32";
        case mxINT64_CLASS: return "int64";
        case mxUINT64_CLASS: return "uint64";
        default: return nullptr;
    }
}

#if defined(HAVE_OCTAVE)
// zeros(dims..., class) from Octave, or null (the failure trapped, not raised).
inline OwnedArray hostZeros(mwSize ndim, const mwSize* dims, mxClassID classId) {
    const char* className = numericClassName(classId);
    constexpr mwSize kMaxDims = 8;
    if (className == nullptr || ndim > kMaxDims) return OwnedArray();
    OwnedArray arguments[kMaxDims + 1];
    mxArray* raw[kMaxDims + 1];
    for (mwSize k = 0; k < ndim; ++k) {
        arguments[k] = OwnedArray(mxCreateDoubleScalar(static_cast<double>(dims[k])));
        raw[k] = arguments[k].get();
    }
    arguments[ndim] = OwnedArray(mxCreateString(className));
    raw[ndim] = arguments[ndim].get();
    for (mwSize k = 0; k <= ndim; ++k)
        if (raw[k] == nullptr) return OwnedArray();
    mxArray* result = nullptr;
    OwnedArray failure(mexCallMATLABWithTrap(1, &result, static_cast<int>(ndim + 1), raw, "zeros"));
    if (failure) return OwnedArray();
    OwnedArray array(result);
    if (!array || mxGetClassID(array.get()) != classId || mxIsComplex(array.get())) return OwnedArray();
    return array;
}
#endif

inline OwnedArray createOutputArray(mwSize ndim, const mwSize* dims, mxClassID classId) {
#if defined(HAVE_OCTAVE)
    if (OwnedArray array = hostZeros(ndim, dims, classId)) return array;
#endif
    return OwnedArray(mxCreateNumericArray(ndim, dims, classId, mxREAL));
}

}  // namespace mexentry
