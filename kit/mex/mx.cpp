// libmx of the MEX stand-in: arrays with MATLAB's documented semantics and
// the books that catch a MEX file breaking the interface's rules.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "kormex_host.h"

// Who owns an array, and so who may destroy, change or hand it on.
enum class Owner {
    Host,       // created outside a MEX call, or returned by one
    Temporary,  // created during the running call, not yet placed
    Field,      // held by a structure, destroyed with it
    Input,      // an input of the running call: read-only
};

struct mxArray_tag {
    mxClassID classId = mxUNKNOWN_CLASS;
    bool complex = false;
    std::vector<mwSize> dims;
    void* real = nullptr;  // elements, column-major
    void* imag = nullptr;
    size_t bytes = 0;  // of each of real and imag
    std::vector<std::string> fieldNames;
    std::vector<mxArray*> fields;  // element-major: fields[index * nfields + fieldnum]; a cell's elements
    bool sparse = false;           // real and imag then hold nzmax elements
    std::vector<mwIndex> ir;       // row of each stored element (nzmax)
    std::vector<mwIndex> jc;       // start of each column in ir, and the end (n + 1)
    Owner owner = Owner::Host;
};

namespace {

struct Books {
    std::unordered_map<const mxArray*, bool> live;  // every array not yet destroyed
    std::vector<std::string> rules;
    bool inCall = false;
    std::thread::id callThread;
    std::vector<const mxArray*> inputs;
    std::vector<std::string> inputImages;
    std::unordered_map<void*, bool> strings;  // blocks of mxArrayToString not yet freed
    long creationsLeft = -1;                  // negative: no failures
};

Books& books() {
    static Books b;
    return b;
}

void breakRule(const char* format, ...) __attribute__((format(printf, 1, 2)));
void breakRule(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    books().rules.emplace_back(text);
    std::fprintf(stderr, "libmx: broken rule: %s\n", text);
}

// One block may not exceed what a single allocation of this process can hold:
// 2^31-1 bytes in a 32-bit process, as MATLAB's own limit there.
constexpr size_t kMaxBlockBytes = sizeof(void*) == 4 ? size_t{0x7FFFFFFF} : size_t{PTRDIFF_MAX};

size_t elementBytes(mxClassID id) {
    switch (id) {
        case mxLOGICAL_CLASS:
        case mxINT8_CLASS:
        case mxUINT8_CLASS: return 1;
        case mxCHAR_CLASS:
        case mxINT16_CLASS:
        case mxUINT16_CLASS: return 2;
        case mxSINGLE_CLASS:
        case mxINT32_CLASS:
        case mxUINT32_CLASS: return 4;
        case mxDOUBLE_CLASS:
        case mxINT64_CLASS:
        case mxUINT64_CLASS: return 8;
        default: return 0;
    }
}

bool isNumericClass(mxClassID id) { return id >= mxDOUBLE_CLASS && id <= mxUINT64_CLASS; }

const char* className(mxClassID id) {
    static const char* const names[] = {"unknown", "cell",   "struct", "logical", "char",    "void",
                                        "double",  "single", "int8",   "uint8",   "int16",   "uint16",
                                        "int32",   "uint32", "int64",  "uint64",  "function"};
    return id >= 0 && id <= mxFUNCTION_CLASS ? names[id] : "unknown";
}

std::string describe(const mxArray* a) {
    std::string text = className(a->classId);
    text += ' ';
    for (size_t i = 0; i < a->dims.size(); ++i) {
        if (i) text += 'x';
        text += std::to_string(a->dims[i]);
    }
    return text;
}

// Every call from the MEX file must come on the thread MATLAB called it on.
void checkThread(const char* function) {
    const Books& b = books();
    if (b.inCall && std::this_thread::get_id() != b.callThread)
        breakRule("%s called from another thread than the one running the MEX call", function);
}

// The array behind a pointer handed in by the caller, or null after counting
// the broken rule.
const mxArray* valid(const mxArray* a, const char* function) {
    checkThread(function);
    if (!a) {
        breakRule("%s given a NULL array", function);
        return nullptr;
    }
    if (!books().live.count(a)) {
        breakRule("%s given a pointer that is no live array (destroyed, or never created)", function);
        return nullptr;
    }
    return a;
}

size_t elementCount(const std::vector<mwSize>& dims) {
    size_t n = 1;
    for (mwSize d : dims) n *= d;  // already checked for overflow at creation
    return n;
}

// MATLAB keeps at least two dimensions and drops trailing singletons beyond.
std::vector<mwSize> normalisedDims(mwSize ndim, const mwSize* dims) {
    std::vector<mwSize> out(dims, dims + ndim);
    while (out.size() < 2) out.push_back(out.empty() ? 0 : 1);
    while (out.size() > 2 && out.back() == 1) out.pop_back();
    return out;
}

// Elements, or false when their count or bytes overflow or exceed one block.
bool sizeOf(const std::vector<mwSize>& dims, size_t elementSize, size_t* elements, size_t* bytes) {
    size_t n = 1;
    for (mwSize d : dims) {
        if (d != 0 && n > SIZE_MAX / d) return false;
        n *= d;
    }
    if (elementSize != 0 && n > kMaxBlockBytes / elementSize) return false;
    *elements = n;
    *bytes = n * elementSize;
    return true;
}

// Counts down the creations allowed before the simulated memory exhaustion.
bool creationAllowed() {
    long& left = books().creationsLeft;
    if (left < 0) return true;
    if (left == 0) return false;
    --left;
    return true;
}

mxArray* track(mxArray* a) {
    Books& b = books();
    a->owner = b.inCall ? Owner::Temporary : Owner::Host;
    b.live[a] = true;
    return a;
}

mxArray* createNumeric(std::vector<mwSize> dims, mxClassID id, bool complex) {
    size_t elements = 0, bytes = 0;
    if (!sizeOf(dims, elementBytes(id), &elements, &bytes) || !creationAllowed()) return nullptr;
    // A block for every array, also an empty one, so that data pointers are
    // never null.
    void* real = std::calloc(bytes ? bytes : 1, 1);
    void* imag = complex ? std::calloc(bytes ? bytes : 1, 1) : nullptr;
    if (!real || (complex && !imag)) {
        std::free(real);
        std::free(imag);
        return nullptr;
    }
    mxArray* a = new (std::nothrow) mxArray_tag;
    if (!a) {
        std::free(real);
        std::free(imag);
        return nullptr;
    }
    a->classId = id;
    a->complex = complex;
    a->dims = std::move(dims);
    a->real = real;
    a->imag = imag;
    a->bytes = bytes;
    return track(a);
}

// A sparse array of m x n with room for nzmax elements (MATLAB's at least one).
mxArray* createSparse(mwSize m, mwSize n, mwSize nzmax, mxClassID id, bool complex) {
    if (nzmax == 0) nzmax = 1;
    size_t elements = 0, bytes = 0;
    if (n == SIZE_MAX || !sizeOf({m, n}, 0, &elements, &bytes) ||
        !sizeOf({nzmax}, elementBytes(id), &elements, &bytes) || !sizeOf({nzmax}, sizeof(mwIndex), &elements, &bytes) ||
        !sizeOf({n + 1}, sizeof(mwIndex), &elements, &bytes))
        return nullptr;
    mxArray* a = createNumeric({nzmax}, id, complex);
    if (!a) return nullptr;
    a->dims = {m, n};
    a->sparse = true;
    try {
        a->ir.assign(nzmax, 0);
        a->jc.assign(n + 1, 0);
    } catch (const std::bad_alloc&) {
        books().live.erase(a);
        std::free(a->real);
        std::free(a->imag);
        delete a;
        return nullptr;
    }
    return a;
}

void destroyTree(mxArray* a) {
    for (mxArray* field : a->fields)
        if (field) destroyTree(field);
    books().live.erase(a);
    std::free(a->real);
    std::free(a->imag);
    delete a;
}

// A byte image of an array and everything it holds, to tell whether a call
// changed an input.
void appendImage(const mxArray* a, std::string& image) {
    image += describe(a);
    image += a->complex ? "c:" : "r:";
    if (a->real) image.append(static_cast<const char*>(a->real), a->bytes);
    if (a->imag) image.append(static_cast<const char*>(a->imag), a->bytes);
    if (a->sparse) {
        image.append(reinterpret_cast<const char*>(a->ir.data()), a->ir.size() * sizeof(mwIndex));
        image.append(reinterpret_cast<const char*>(a->jc.data()), a->jc.size() * sizeof(mwIndex));
    }
    for (const std::string& name : a->fieldNames) image += name + ',';
    for (const mxArray* field : a->fields) {
        image += '{';
        if (field) appendImage(field, image);
        image += '}';
    }
}

bool hasClass(const mxArray* array, const char* function, mxClassID id) {
    const mxArray* a = valid(array, function);
    return a && a->classId == id;
}

// The real (or imaginary) elements of an array of one class. MATLAB's
// typed accessors are for their class only: on any other the call is the
// caller's fault, and answers null (stricter than MATLAB, whose answer is
// then undefined or the untyped data) so that it cannot go unnoticed.
void* typedData(const mxArray* array, const char* function, mxClassID id, bool imaginary) {
    const mxArray* a = valid(array, function);
    if (!a) return nullptr;
    if (a->classId != id) {
        breakRule("%s on a %s array, which is not %s", function, describe(a).c_str(), className(id));
        return nullptr;
    }
    return imaginary ? a->imag : a->real;
}

bool isOwnedByCall(const mxArray* a) { return a->owner == Owner::Temporary; }

}  // namespace

extern "C" {

// ---------------------------------------------------------------- creation

mxArray* mxCreateDoubleScalar(double value) {
    checkThread("mxCreateDoubleScalar");
    mxArray* a = createNumeric({1, 1}, mxDOUBLE_CLASS, false);
    if (a) *static_cast<double*>(a->real) = value;
    return a;
}

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity complexity) {
    checkThread("mxCreateDoubleMatrix");
    return createNumeric({m, n}, mxDOUBLE_CLASS, complexity == mxCOMPLEX);
}

mxArray* mxCreateLogicalScalar(mxLogical value) {
    checkThread("mxCreateLogicalScalar");
    mxArray* a = createNumeric({1, 1}, mxLOGICAL_CLASS, false);
    if (a) *static_cast<mxLogical*>(a->real) = value;
    return a;
}

mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n) {
    checkThread("mxCreateLogicalMatrix");
    return createNumeric({m, n}, mxLOGICAL_CLASS, false);
}

mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID classid, mxComplexity complexity) {
    checkThread("mxCreateNumericArray");
    if (ndim > 0 && !dims) {
        breakRule("mxCreateNumericArray given %s dimensions and a NULL size vector", std::to_string(ndim).c_str());
        return nullptr;
    }
    if (!isNumericClass(classid)) {
        breakRule("mxCreateNumericArray asked for class %s, which is not numeric", className(classid));
        return nullptr;
    }
    return createNumeric(normalisedDims(ndim, dims), classid, complexity == mxCOMPLEX);
}

mxArray* mxCreateString(const char* text) {
    checkThread("mxCreateString");
    if (!text) {
        breakRule("mxCreateString given a NULL string");
        return nullptr;
    }
    const size_t length = std::strlen(text);
    mxArray* a = createNumeric({length ? 1u : 0u, length}, mxCHAR_CLASS, false);
    if (a) {
        mxChar* out = static_cast<mxChar*>(a->real);
        for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(text[i]);
    }
    return a;
}

mxArray* mxCreateStructArray(mwSize ndim, const mwSize* dims, int nfields, const char** fieldnames) {
    checkThread("mxCreateStructArray");
    if ((ndim > 0 && !dims) || nfields < 0 || (nfields > 0 && !fieldnames)) {
        breakRule("mxCreateStructArray given a NULL size vector, a negative field count or NULL field names");
        return nullptr;
    }
    std::vector<std::string> names;
    for (int f = 0; f < nfields; ++f) {
        const char* name = fieldnames[f];
        if (!name || !*name || std::find(names.begin(), names.end(), name) != names.end()) {
            breakRule("mxCreateStructArray given an empty, NULL or repeated field name");
            return nullptr;
        }
        names.emplace_back(name);
    }
    std::vector<mwSize> shape = normalisedDims(ndim, dims);
    size_t elements = 0, bytes = 0;
    if (!sizeOf(shape, sizeof(mxArray*) * (nfields ? nfields : 1), &elements, &bytes) || !creationAllowed())
        return nullptr;
    mxArray* a = new (std::nothrow) mxArray_tag;
    if (!a) return nullptr;
    a->classId = mxSTRUCT_CLASS;
    a->dims = std::move(shape);
    a->fieldNames = std::move(names);
    a->fields.assign(elements * nfields, nullptr);
    return track(a);
}

mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity complexity) {
    checkThread("mxCreateNumericMatrix");
    const mwSize dims[2] = {m, n};
    return mxCreateNumericArray(2, dims, classid, complexity);
}

mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** fieldnames) {
    checkThread("mxCreateStructMatrix");
    const mwSize dims[2] = {m, n};
    return mxCreateStructArray(2, dims, nfields, fieldnames);
}

mxArray* mxCreateCharArray(mwSize ndim, const mwSize* dims) {
    checkThread("mxCreateCharArray");
    if (ndim > 0 && !dims) {
        breakRule("mxCreateCharArray given dimensions and a NULL size vector");
        return nullptr;
    }
    return createNumeric(normalisedDims(ndim, dims), mxCHAR_CLASS, false);
}

mxArray* mxCreateCellMatrix(mwSize m, mwSize n) {
    checkThread("mxCreateCellMatrix");
    size_t elements = 0, bytes = 0;
    if (!sizeOf({m, n}, sizeof(mxArray*), &elements, &bytes) || !creationAllowed()) return nullptr;
    mxArray* a = new (std::nothrow) mxArray_tag;
    if (!a) return nullptr;
    a->classId = mxCELL_CLASS;
    a->dims = {m, n};
    try {
        a->fields.assign(elements, nullptr);
    } catch (const std::bad_alloc&) {
        delete a;
        return nullptr;
    }
    return track(a);
}

mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity complexity) {
    checkThread("mxCreateSparse");
    return createSparse(m, n, nzmax, mxDOUBLE_CLASS, complexity == mxCOMPLEX);
}

mxArray* mxCreateSparseLogicalMatrix(mwSize m, mwSize n, mwSize nzmax) {
    checkThread("mxCreateSparseLogicalMatrix");
    return createSparse(m, n, nzmax, mxLOGICAL_CLASS, false);
}

void mxDestroyArray(mxArray* array) {
    checkThread("mxDestroyArray");
    if (!array) return;  // allowed, and nothing to do
    if (!valid(array, "mxDestroyArray")) return;
    switch (array->owner) {
        case Owner::Input: breakRule("mxDestroyArray on an input of the call (%s)", describe(array).c_str()); return;
        case Owner::Field:
            breakRule("mxDestroyArray on an array a structure holds (%s)", describe(array).c_str());
            return;
        case Owner::Host:
            if (books().inCall) {
                breakRule("mxDestroyArray during a call on an array the call did not create (%s)",
                          describe(array).c_str());
                return;
            }
            break;
        case Owner::Temporary: break;
    }
    destroyTree(array);
}

// ---------------------------------------------------------- class and shape

mxClassID mxGetClassID(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetClassID");
    return a ? a->classId : mxUNKNOWN_CLASS;
}

const char* mxGetClassName(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetClassName");
    return a ? className(a->classId) : "unknown";
}

bool mxIsNumeric(const mxArray* array) {
    const mxArray* a = valid(array, "mxIsNumeric");
    return a && isNumericClass(a->classId);
}

bool mxIsDouble(const mxArray* array) { return hasClass(array, "mxIsDouble", mxDOUBLE_CLASS); }

bool mxIsLogical(const mxArray* array) { return hasClass(array, "mxIsLogical", mxLOGICAL_CLASS); }

bool mxIsChar(const mxArray* array) { return hasClass(array, "mxIsChar", mxCHAR_CLASS); }

bool mxIsStruct(const mxArray* array) { return hasClass(array, "mxIsStruct", mxSTRUCT_CLASS); }

bool mxIsComplex(const mxArray* array) {
    const mxArray* a = valid(array, "mxIsComplex");
    return a && a->complex;
}

bool mxIsEmpty(const mxArray* array) {
    const mxArray* a = valid(array, "mxIsEmpty");
    return a && elementCount(a->dims) == 0;
}

bool mxIsSparse(const mxArray* array) {
    const mxArray* a = valid(array, "mxIsSparse");
    return a && a->sparse;
}

bool mxIsCell(const mxArray* array) { return hasClass(array, "mxIsCell", mxCELL_CLASS); }

mwIndex* mxGetIr(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetIr");
    if (a && !a->sparse) breakRule("mxGetIr on an array that is not sparse (%s)", describe(a).c_str());
    return a && a->sparse ? const_cast<mwIndex*>(a->ir.data()) : nullptr;
}

mwIndex* mxGetJc(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetJc");
    if (a && !a->sparse) breakRule("mxGetJc on an array that is not sparse (%s)", describe(a).c_str());
    return a && a->sparse ? const_cast<mwIndex*>(a->jc.data()) : nullptr;
}

int mxSetDimensions(mxArray* array, const mwSize* dims, mwSize ndim) {
    if (!valid(array, "mxSetDimensions")) return 1;
    if (array->owner == Owner::Input || array->owner == Owner::Host) {
        if (books().inCall) {
            breakRule("mxSetDimensions changes an array the call does not own (%s)", describe(array).c_str());
            return 1;
        }
    }
    if ((ndim > 0 && !dims) || array->sparse) {
        breakRule("mxSetDimensions given a NULL size vector, or a sparse array");
        return 1;
    }
    std::vector<mwSize> shape = normalisedDims(ndim, dims);
    size_t elements = 0, bytes = 0;
    if (!sizeOf(shape, 1, &elements, &bytes) || elements != elementCount(array->dims)) {
        breakRule("mxSetDimensions to %s elements on %s: the array holds another number",
                  std::to_string(elements).c_str(), describe(array).c_str());
        return 1;
    }
    array->dims = std::move(shape);
    return 0;
}

size_t mxGetM(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetM");
    return a ? a->dims[0] : 0;
}

size_t mxGetN(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetN");
    if (!a) return 0;
    size_t n = 1;
    for (size_t i = 1; i < a->dims.size(); ++i) n *= a->dims[i];
    return n;
}

size_t mxGetNumberOfElements(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetNumberOfElements");
    return a ? elementCount(a->dims) : 0;
}

mwSize mxGetNumberOfDimensions(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetNumberOfDimensions");
    return a ? a->dims.size() : 0;
}

const mwSize* mxGetDimensions(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetDimensions");
    return a ? a->dims.data() : nullptr;
}

// --------------------------------------------------------------------- data

double mxGetScalar(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetScalar");
    if (!a || a->classId == mxSTRUCT_CLASS || a->classId == mxCELL_CLASS) return 0.0;
    // MATLAB answers a sparse array's first stored element, 0 when none is.
    if (a->sparse && elementCount(a->dims) != 0 && a->jc.back() == 0) return 0.0;
    if (elementCount(a->dims) == 0) {
        // MATLAB leaves the value of an empty array undefined.
        breakRule("mxGetScalar on an empty array (%s): its value is undefined", describe(a).c_str());
        return 0.0;
    }
    const void* p = a->real;
    switch (a->classId) {
        case mxDOUBLE_CLASS: return *static_cast<const double*>(p);
        case mxSINGLE_CLASS: return *static_cast<const float*>(p);
        case mxLOGICAL_CLASS: return *static_cast<const mxLogical*>(p) ? 1.0 : 0.0;
        case mxCHAR_CLASS: return *static_cast<const mxChar*>(p);
        case mxINT8_CLASS: return *static_cast<const int8_t*>(p);
        case mxUINT8_CLASS: return *static_cast<const uint8_t*>(p);
        case mxINT16_CLASS: return *static_cast<const int16_t*>(p);
        case mxUINT16_CLASS: return *static_cast<const uint16_t*>(p);
        case mxINT32_CLASS: return *static_cast<const int32_t*>(p);
        case mxUINT32_CLASS: return *static_cast<const uint32_t*>(p);
        case mxINT64_CLASS: return static_cast<double>(*static_cast<const int64_t*>(p));
        case mxUINT64_CLASS: return static_cast<double>(*static_cast<const uint64_t*>(p));
        default: return 0.0;
    }
}

double* mxGetPr(const mxArray* array) {
    return static_cast<double*>(typedData(array, "mxGetPr", mxDOUBLE_CLASS, false));
}

double* mxGetPi(const mxArray* array) {
    return static_cast<double*>(typedData(array, "mxGetPi", mxDOUBLE_CLASS, true));
}

void* mxGetData(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetData");
    return a ? a->real : nullptr;
}

mxLogical* mxGetLogicals(const mxArray* array) {
    return static_cast<mxLogical*>(typedData(array, "mxGetLogicals", mxLOGICAL_CLASS, false));
}

mxChar* mxGetChars(const mxArray* array) {
    return static_cast<mxChar*>(typedData(array, "mxGetChars", mxCHAR_CLASS, false));
}

char* mxArrayToString(const mxArray* array) {
    const mxArray* a = valid(array, "mxArrayToString");
    if (!a || a->classId != mxCHAR_CLASS) return nullptr;
    const size_t length = elementCount(a->dims);
    if (length == SIZE_MAX) return nullptr;
    char* text = static_cast<char*>(std::malloc(length + 1));
    if (!text) return nullptr;
    const mxChar* chars = static_cast<const mxChar*>(a->real);
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(chars[i]);
    text[length] = '\0';
    if (books().inCall) books().strings[text] = true;
    return text;
}

void mxFree(void* block) {
    checkThread("mxFree");
    if (!block) return;
    if (!books().strings.erase(block) && books().inCall) {
        breakRule("mxFree given a block that mxArrayToString did not hand out in this call");
        return;
    }
    std::free(block);
}

// --------------------------------------------------------------- structures

int mxGetNumberOfFields(const mxArray* array) {
    const mxArray* a = valid(array, "mxGetNumberOfFields");
    return a && a->classId == mxSTRUCT_CLASS ? static_cast<int>(a->fieldNames.size()) : 0;
}

const char* mxGetFieldNameByNumber(const mxArray* array, int fieldnum) {
    const mxArray* a = valid(array, "mxGetFieldNameByNumber");
    if (!a || fieldnum < 0 || static_cast<size_t>(fieldnum) >= a->fieldNames.size()) return nullptr;
    return a->fieldNames[fieldnum].c_str();
}

int mxGetFieldNumber(const mxArray* array, const char* name) {
    const mxArray* a = valid(array, "mxGetFieldNumber");
    if (!a || !name) return -1;
    for (size_t f = 0; f < a->fieldNames.size(); ++f)
        if (a->fieldNames[f] == name) return static_cast<int>(f);
    return -1;
}

mxArray* mxGetFieldByNumber(const mxArray* array, mwIndex index, int fieldnum) {
    const mxArray* a = valid(array, "mxGetFieldByNumber");
    if (!a || a->classId != mxSTRUCT_CLASS || fieldnum < 0 || static_cast<size_t>(fieldnum) >= a->fieldNames.size() ||
        index >= elementCount(a->dims))
        return nullptr;
    return a->fields[index * a->fieldNames.size() + fieldnum];
}

mxArray* mxGetField(const mxArray* array, mwIndex index, const char* name) {
    const mxArray* a = valid(array, "mxGetField");
    if (!a || !name) return nullptr;
    return mxGetFieldByNumber(a, index, mxGetFieldNumber(a, name));
}

void mxSetFieldByNumber(mxArray* array, mwIndex index, int fieldnum, mxArray* value) {
    if (!valid(array, "mxSetFieldByNumber")) return;
    if (array->classId != mxSTRUCT_CLASS || fieldnum < 0 || static_cast<size_t>(fieldnum) >= array->fieldNames.size() ||
        index >= elementCount(array->dims)) {
        breakRule("mxSetFieldByNumber on %s, element %s, field %d: no such field", describe(array).c_str(),
                  std::to_string(index).c_str(), fieldnum);
        return;
    }
    if (array->owner == Owner::Input) {
        breakRule("mxSetFieldByNumber changes an input of the call");
        return;
    }
    if (value) {
        if (!valid(value, "mxSetFieldByNumber")) return;
        const bool free = value->owner == Owner::Temporary || (value->owner == Owner::Host && !books().inCall);
        if (!free || value == array) {
            breakRule("mxSetFieldByNumber given a value that another owner holds (an input, a field or an output)");
            return;
        }
    }
    mxArray*& slot = array->fields[index * array->fieldNames.size() + fieldnum];
    if (slot) {
        // MATLAB does not free what the field held: the old value is the
        // caller's again, to destroy.
        slot->owner = books().inCall ? Owner::Temporary : Owner::Host;
    }
    slot = value;
    if (value) value->owner = Owner::Field;
}

mxArray* mxGetCell(const mxArray* array, mwIndex index) {
    const mxArray* a = valid(array, "mxGetCell");
    if (!a || a->classId != mxCELL_CLASS || index >= a->fields.size()) return nullptr;
    return a->fields[index];
}

void mxSetCell(mxArray* array, mwIndex index, mxArray* value) {
    if (!valid(array, "mxSetCell")) return;
    if (array->classId != mxCELL_CLASS || index >= array->fields.size()) {
        breakRule("mxSetCell on %s, element %s: no such cell", describe(array).c_str(), std::to_string(index).c_str());
        return;
    }
    if (array->owner == Owner::Input) {
        breakRule("mxSetCell changes an input of the call");
        return;
    }
    if (value) {
        if (!valid(value, "mxSetCell")) return;
        const bool free = value->owner == Owner::Temporary || (value->owner == Owner::Host && !books().inCall);
        if (!free || value == array) {
            breakRule("mxSetCell given a value that another owner holds (an input, a field or an output)");
            return;
        }
    }
    mxArray*& slot = array->fields[index];
    if (slot) slot->owner = books().inCall ? Owner::Temporary : Owner::Host;
    slot = value;
    if (value) value->owner = Owner::Field;
}

// ------------------------------------------------------------ host's books

size_t kormxBrokenRuleCount(void) { return books().rules.size(); }

const char* kormxBrokenRule(size_t index) {
    const std::vector<std::string>& rules = books().rules;
    return index < rules.size() ? rules[index].c_str() : nullptr;
}

void kormxClearBrokenRules(void) { books().rules.clear(); }

size_t kormxLiveArrays(void) { return books().live.size(); }

void kormxFailCreationsAfter(long succeeding) { books().creationsLeft = succeeding < 0 ? -1 : succeeding; }

void kormxBreakRule(const char* description) { breakRule("%s", description ? description : "(no description)"); }

int kormxInCall(void) { return books().inCall ? 1 : 0; }

void kormxBeginCall(int nrhs, const mxArray* prhs[]) {
    Books& b = books();
    b.inCall = true;
    b.callThread = std::this_thread::get_id();
    b.inputs.clear();
    b.inputImages.clear();
    for (int k = 0; k < nrhs; ++k) {
        const mxArray* a = prhs[k];
        if (!a || !b.live.count(a)) {
            breakRule("the host passed input %d, which is no live array", k + 1);
            b.inputs.push_back(nullptr);
            b.inputImages.emplace_back();
            continue;
        }
        std::string image;
        appendImage(a, image);
        b.inputs.push_back(a);
        b.inputImages.push_back(std::move(image));
        const_cast<mxArray*>(a)->owner = Owner::Input;
    }
}

int kormxEndCall(int nlhs, mxArray* plhs[], int slots, int returned, const char** error) {
    Books& b = books();
    *error = nullptr;
    const int assignable = nlhs > 1 ? nlhs : 1;
    for (int k = 0; k < slots; ++k) {
        mxArray* out = plhs[k];
        if (!out) continue;
        plhs[k] = nullptr;
        if (!b.live.count(out) || !isOwnedByCall(out)) {
            breakRule("output %d is no array the call created and still owns (an input, a field or destroyed)", k + 1);
            continue;
        }
        if (k >= assignable) {
            breakRule("output %d assigned, but the caller asked for %d", k + 1, nlhs);
            destroyTree(out);
        } else if (!returned) {
            destroyTree(out);  // an error discards the outputs already assigned
        } else {
            out->owner = Owner::Host;
            plhs[k] = out;
        }
    }
    if (returned) {
        for (int k = 0; k < nlhs && k < slots; ++k) {
            if (!plhs[k]) {
                *error = "One or more output arguments not assigned during call.";
                break;
            }
        }
    }

    // Whatever the call created and left behind. MATLAB frees it, but a MEX
    // file that relies on that leaks in every other host, and a handler that
    // loses an array usually lost its error path too.
    std::vector<mxArray*> leftovers;
    for (const auto& entry : b.live) {
        mxArray* a = const_cast<mxArray*>(entry.first);
        if (a->owner == Owner::Temporary) leftovers.push_back(a);
    }
    for (mxArray* a : leftovers) {
        breakRule("an array created during the call (%s) was neither returned nor destroyed", describe(a).c_str());
        destroyTree(a);
    }
    for (const auto& entry : b.strings) {
        breakRule("a string of mxArrayToString was not freed with mxFree");
        std::free(entry.first);
    }
    b.strings.clear();

    for (size_t k = 0; k < b.inputs.size(); ++k) {
        const mxArray* a = b.inputs[k];
        if (!a) continue;
        if (!b.live.count(a)) continue;  // its destruction was refused; cannot happen
        std::string image;
        appendImage(a, image);
        if (image != b.inputImages[k]) breakRule("input %d was changed by the call", static_cast<int>(k + 1));
        const_cast<mxArray*>(a)->owner = Owner::Host;
    }
    b.inputs.clear();
    b.inputImages.clear();
    b.inCall = false;

    if (*error) {
        for (int k = 0; k < slots; ++k) {
            if (plhs[k]) destroyTree(plhs[k]);
            plhs[k] = nullptr;
        }
        return 1;
    }
    return returned ? 0 : 1;
}

}  // extern "C"
