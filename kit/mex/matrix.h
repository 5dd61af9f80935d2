// The MATLAB array interface (libmx) for builds of MEX files where no MATLAB
// is installed (the Windows builds, and the fuzz targets on Linux): the subset
// the MEX files use, plus the readers and writers a host needs to make their
// inputs and look at the arrays it gets back. Semantics follow MATLAB's
// documentation: column-major data, mwSize as wide as a pointer, creation
// functions that answer NULL when the array cannot be allocated.
//
// The library is strict: every call that breaks a rule of the interface (an
// array created in a MEX call and neither returned nor destroyed, an input
// changed or destroyed, mxGetPr on an array that is not double, ...) is
// counted and described (kormex_host.h), and the call still behaves as
// MATLAB's would where MATLAB defines the outcome.
#pragma once

#include <stddef.h>
#include <stdbool.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(KORMX_BUILDING_LIBRARY)
#define KORMX_API __declspec(dllexport)
#else
#define KORMX_API __declspec(dllimport)
#endif
#else
#define KORMX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;
typedef bool mxLogical;
typedef uint16_t mxChar;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

// Creation. NULL when the array cannot be allocated (its size overflows or
// exceeds what one block of this process can hold) or the request is invalid.
KORMX_API mxArray* mxCreateDoubleScalar(double value);
KORMX_API mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity);
KORMX_API mxArray* mxCreateLogicalScalar(mxLogical value);
KORMX_API mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n);
KORMX_API mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID classid, mxComplexity complexity);
KORMX_API mxArray* mxCreateString(const char* text);
KORMX_API mxArray* mxCreateStructArray(mwSize ndim, const mwSize* dims, int nfields, const char** fieldnames);
KORMX_API mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity complexity);
KORMX_API mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** fieldnames);
// Characters set to zero, any shape: text with several rows or embedded NULs.
KORMX_API mxArray* mxCreateCharArray(mwSize ndim, const mwSize* dims);
KORMX_API mxArray* mxCreateCellMatrix(mwSize m, mwSize n);
// Compressed sparse columns with room for nzmax non-zero elements (at least
// one); mxGetJc answers n + 1 column starts, all 0 until the caller fills them.
KORMX_API mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity complexity);
KORMX_API mxArray* mxCreateSparseLogicalMatrix(mwSize m, mwSize n, mwSize nzmax);
KORMX_API void mxDestroyArray(mxArray* array);

// Class and shape.
KORMX_API mxClassID mxGetClassID(const mxArray* array);
KORMX_API const char* mxGetClassName(const mxArray* array);
KORMX_API bool mxIsNumeric(const mxArray* array);
KORMX_API bool mxIsDouble(const mxArray* array);
KORMX_API bool mxIsLogical(const mxArray* array);
KORMX_API bool mxIsChar(const mxArray* array);
KORMX_API bool mxIsStruct(const mxArray* array);
KORMX_API bool mxIsCell(const mxArray* array);
KORMX_API bool mxIsComplex(const mxArray* array);
KORMX_API bool mxIsEmpty(const mxArray* array);
// mxGetIr and mxGetJc are for sparse arrays only: on any other they answer NULL.
KORMX_API bool mxIsSparse(const mxArray* array);
KORMX_API mwIndex* mxGetIr(const mxArray* array);
KORMX_API mwIndex* mxGetJc(const mxArray* array);
KORMX_API size_t mxGetM(const mxArray* array);
KORMX_API size_t mxGetN(const mxArray* array);
KORMX_API size_t mxGetNumberOfElements(const mxArray* array);
KORMX_API mwSize mxGetNumberOfDimensions(const mxArray* array);
KORMX_API const mwSize* mxGetDimensions(const mxArray* array);
// A new shape with as many elements as the array holds (not for sparse
// arrays); 0 on success.
KORMX_API int mxSetDimensions(mxArray* array, const mwSize* dims, mwSize ndim);

// Data. mxGetPr is for double arrays, mxGetLogicals for logical ones and
// mxGetChars for character arrays (on any other class they answer NULL);
// mxGetData serves every class but structures.
KORMX_API double mxGetScalar(const mxArray* array);
KORMX_API double* mxGetPr(const mxArray* array);
KORMX_API double* mxGetPi(const mxArray* array);
KORMX_API void* mxGetData(const mxArray* array);
KORMX_API mxLogical* mxGetLogicals(const mxArray* array);
KORMX_API mxChar* mxGetChars(const mxArray* array);
// The characters of a character array, column by column, as a C string the
// caller frees with mxFree (a block still held when the MEX call ends is a
// broken rule); NULL for any other class.
KORMX_API char* mxArrayToString(const mxArray* array);
KORMX_API void mxFree(void* block);

// Structures. mxSetFieldByNumber hands the value to the structure, which
// destroys it with itself; mxGetField answers NULL for a missing field, an
// index out of range or an array that is not a structure.
KORMX_API int mxGetNumberOfFields(const mxArray* array);
KORMX_API const char* mxGetFieldNameByNumber(const mxArray* array, int fieldnum);
KORMX_API int mxGetFieldNumber(const mxArray* array, const char* name);
KORMX_API mxArray* mxGetField(const mxArray* array, mwIndex index, const char* name);
KORMX_API mxArray* mxGetFieldByNumber(const mxArray* array, mwIndex index, int fieldnum);
KORMX_API void mxSetFieldByNumber(mxArray* array, mwIndex index, int fieldnum, mxArray* value);

// Cells: mxSetCell hands the value to the cell array, like mxSetFieldByNumber.
KORMX_API mxArray* mxGetCell(const mxArray* array, mwIndex index);
KORMX_API void mxSetCell(mxArray* array, mwIndex index, mxArray* value);

#ifdef __cplusplus
}
#endif
