// KorDispatcher as a Windows MEX file: loaded with LoadLibraryA, called
// through the MEX interface stand-in (kit/mex) as MATLAB calls it, against
// the virtual cameras. Runs under wine. Every test ends with the stand-in's
// books: no broken rule of the MEX interface, no array left alive.
#include "mex_test_support.h"

#include <cstring>
#include <initializer_list>

namespace {

using namespace mextest;

Array int32Scalar(int32_t value) {
    const mwSize dims[2] = {1, 1};
    Array a(mxCreateNumericArray(2, dims, mxINT32_CLASS, mxREAL));
    *static_cast<int32_t*>(mxGetData(a.get())) = value;
    return a;
}
Array complexScalar(double re, double im) {
    Array a(mxCreateDoubleMatrix(1, 1, mxCOMPLEX));
    *mxGetPr(a.get()) = re;
    *mxGetPi(a.get()) = im;
    return a;
}

std::vector<Array> numbers(std::initializer_list<double> values) {
    std::vector<Array> arrays;
    for (double v : values) arrays.push_back(number(v));
    return arrays;
}

struct Outcome {
    bool raised = false;
    std::string message;
    Array out;
};

const char* const kMexFile = sizeof(void*) == 8 ? "KorDispatcher.mexw64" : "KorDispatcher.mexw32";

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        korcamsim::reset();
        korcamsim::setPacing(false);
        kormxClearBrokenRules();
        load();
    }

    void TearDown() override {
        if (module_) unload();
        EXPECT_EQ(kormxBrokenRuleCount(), 0u) << brokenRules();
        EXPECT_EQ(kormxLiveArrays(), 0u) << "arrays left alive";
        kormxFailCreationsAfter(-1);
    }

    void load() {
        module_ = LoadLibraryA((folderOfThisProgram() + kMexFile).c_str());
        ASSERT_NE(module_, nullptr) << kMexFile << " not loaded, error " << GetLastError();
        mexFunction_ =
            reinterpret_cast<KormexFunction>(reinterpret_cast<void (*)(void)>(GetProcAddress(module_, "mexFunction")));
        ASSERT_NE(mexFunction_, nullptr);
    }

    // What `clear KorDispatcher` does: the exit hook, then FreeLibrary.
    void unload() {
        EXPECT_EQ(kormexUnload(module_), 1);
        module_ = nullptr;
        mexFunction_ = nullptr;
    }

    // creations: arrays the host can still create during the call before
    // it runs out of memory; negative: no limit.
    Outcome call(std::vector<Array> inputs, int nlhs = 1, long creations = -1) {
        std::vector<const mxArray*> prhs;
        for (const Array& a : inputs) prhs.push_back(a.get());
        mxArray* plhs[KORMEX_MAX_OUTPUTS] = {};
        Outcome outcome;
        kormxFailCreationsAfter(creations);
        outcome.raised = kormexCall(mexFunction_, nlhs, plhs, static_cast<int>(prhs.size()), prhs.data()) != 0;
        kormxFailCreationsAfter(-1);
        if (outcome.raised) outcome.message = kormexErrorMessage();
        outcome.out.reset(plhs[0]);
        return outcome;
    }
    Outcome call(std::initializer_list<double> values, int nlhs = 1) { return call(numbers(values), nlhs); }

    // A call that must succeed.
    Array ok(std::vector<Array> inputs, int nlhs = 1) {
        Outcome o = call(std::move(inputs), nlhs);
        EXPECT_FALSE(o.raised) << o.message;
        return std::move(o.out);
    }
    Array ok(std::initializer_list<double> values, int nlhs = 1) { return ok(numbers(values), nlhs); }

    HMODULE module_ = nullptr;
    KormexFunction mexFunction_ = nullptr;
};

TEST_F(DispatcherTest, ConnectAndSnapshotMatchTheCamerasFrames) {
    Array count = ok({37});
    ASSERT_TRUE(count);
    EXPECT_EQ(mxGetScalar(count.get()), 3.0);
    for (int32_t n : {1, 2}) {
        SCOPED_TRACE("camera " + std::to_string(n));
        ok({-1, double(n)}, 0);
        Array connected = ok({6, double(n)});
        ASSERT_TRUE(connected && mxIsLogical(connected.get()));
        EXPECT_TRUE(*mxGetLogicals(connected.get()));
        Array image = ok({13, double(n)});
        ASSERT_TRUE(image);
        ASSERT_EQ(mxGetClassID(image.get()), mxUINT8_CLASS);
        uint32_t h = 0, w = 0;
        const std::vector<uint8_t> expected = expectedImage<uint8_t>(n, n != 2, &h, &w);
        EXPECT_EQ(dimsOf(image.get()), (std::vector<mwSize>{h, w, 3}));
        EXPECT_TRUE(imageIn<uint8_t>(image.get(), 0, h, w) == expected) << "pixels differ";
    }
    // 16-bit samples of the monochrome camera, through the wide path.
    ok(args(number(10), number(2), logical(true)), 0);
    Array wide = ok({13, 2});
    ASSERT_TRUE(wide);
    ASSERT_EQ(mxGetClassID(wide.get()), mxUINT16_CLASS);
    uint32_t h = 0, w = 0;
    const std::vector<uint16_t> expected = expectedImage<uint16_t>(2, false, &h, &w);
    EXPECT_EQ(dimsOf(wide.get()), (std::vector<mwSize>{h, w, 3}));
    EXPECT_TRUE(imageIn<uint16_t>(wide.get(), 0, h, w) == expected) << "pixels differ";
    EXPECT_TRUE(korcamsim::cameraState(1).open);
}

TEST_F(DispatcherTest, SynchronousSnapshotHoldsEachCamerasFrame) {
    ok({-1, 1}, 0);
    ok({-1, 3}, 0);
    Array images = ok({32});
    ASSERT_TRUE(images);
    const std::vector<mwSize> d = dimsOf(images.get());
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[2], 3u);
    EXPECT_EQ(d[3], 2u);
    size_t k = 0;
    for (int32_t n : {1, 3}) {
        SCOPED_TRACE("camera " + std::to_string(n));
        uint32_t h = 0, w = 0;
        const std::vector<uint8_t> expected = expectedImage<uint8_t>(n, true, &h, &w);
        EXPECT_TRUE(imageIn<uint8_t>(images.get(), k++, h, w) == expected) << "pixels differ";
    }
    // Camera 3's image is smaller; the rest of its block stays zero.
    const uint8_t* block = static_cast<const uint8_t*>(mxGetData(images.get())) + d[0] * d[1] * 3;
    EXPECT_EQ(block[d[0] - 1], 0u);
}

// Exact texts, line feeds included: MATLAB shows them as raised.
TEST_F(DispatcherTest, ErrorTextsAreExact) {
    struct Row {
        const char* what;
        std::vector<Array> (*inputs)();
        const char* message;
        int32_t connect;    // camera to connect first, 0: none
        const char* fault;  // SDK operation made to fail, null: none
    };
    const Row rows[] = {
        {"no input", [] { return std::vector<Array>{}; }, "At least one parameter is required.", 0, nullptr},
        {"text code", [] { return args(text("13")); }, "First input must be an integer.", 0, nullptr},
        {"complex code", [] { return args(complexScalar(13, 1)); }, "First input must be an integer.", 0, nullptr},
        {"count", [] { return numbers({13}); }, "This function requires 1 input parameter.", 0, nullptr},
        {"count, code 0", [] { return numbers({0}); }, "This functions requires 1 input parameter.", 0, nullptr},
        {"count, code -2", [] { return numbers({-2}); }, "This function requires 1 input paramenter.", 0, nullptr},
        {"camera above 10",
         [] {
             return numbers({13, 11});
         },
         "Invalid camera nubmer.", 0, nullptr},
        {"camera not attached",
         [] {
             return numbers({13, 4});
         },
         "Not enough cameras connected.", 0, nullptr},
        {"not connected",
         [] {
             return numbers({13, 2});
         },
         "Cannot take snapshot, camera 2 is not connected.", 0, nullptr},
        {"already disconnected",
         [] {
             return numbers({-2, 3});
         },
         "Camera 3 is already disconnected.", 0, nullptr},
        {"double expected", [] { return args(number(3), number(1), int32Scalar(5)); }, "Parameter 2 must be a double.",
         0, nullptr},
        {"logical expected", [] { return args(number(10), number(1), number(1)); }, "Parameter 2 must be a logical.", 0,
         nullptr},
        {"connect fails",
         [] {
             return numbers({-1, 1});
         },
         "An error has occured while opening a connection to the camera.\n", 0, "KorcamCameraOpen"},
        {"colour format unreadable",
         [] {
             return numbers({13, 1});
         },
         "An error occured while obtaining the color format.\n", 1, "KorcamGetProperty"},
        {"preview fails",
         [] {
             return numbers({0, 1});
         },
         "An error occured while opening the video preview.\n", 1, "KorcamStreamVideoControl"},
        {"too few for synchronous snapshots", [] { return numbers({32}); },
         "Must have at least 2 cameras connected to take synchronous snapshots.", 1, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Array connected = row.connect ? ok({6, double(row.connect)}) : nullptr;
        if (connected && !*mxGetLogicals(connected.get())) ok({-1, double(row.connect)}, 0);
        if (row.fault) korcamsim::failOperation(row.fault, 31);
        Outcome o = call(row.inputs());
        korcamsim::clearFaults();
        EXPECT_TRUE(o.raised);
        EXPECT_EQ(o.message, row.message);
        EXPECT_FALSE(o.out);
    }
}

// The property page's parent is the foreground window. Headless wine makes
// its desktop window the foreground once the desktop is running (asking for
// the desktop window starts it); a new, empty desktop has none.
TEST_F(DispatcherTest, PropertyPageNeedsAForegroundWindow) {
    ok({-1, 1}, 0);
    korcamsim::clearCalls();
    HWND desktop = GetDesktopWindow();
    for (int wait = 0; wait < 100 && !GetForegroundWindow(); ++wait) {
        SetForegroundWindow(desktop);
        Sleep(50);
    }
    ASSERT_NE(GetForegroundWindow(), nullptr);
    ok({5, 1}, 0);
    size_t shown = 0;
    for (const korcamsim::CallRecord& c : korcamsim::calls()) shown += c.op == "KorcamDisplayPropertyPage";
    EXPECT_EQ(shown, 1u);

    HDESK home = GetThreadDesktop(GetCurrentThreadId());
    HDESK empty = CreateDesktopA("korcam-no-foreground", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_NE(empty, nullptr);
    ASSERT_TRUE(SetThreadDesktop(empty));
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    korcamsim::clearCalls();
    Outcome o = call({5, 1});
    EXPECT_TRUE(SetThreadDesktop(home));
    CloseDesktop(empty);
    EXPECT_TRUE(o.raised);
    EXPECT_EQ(o.message, "Foreground Window NULL");
    for (const korcamsim::CallRecord& c : korcamsim::calls()) EXPECT_NE(c.op, "KorcamDisplayPropertyPage");
}

// Unloading the MEX file (`clear KorDispatcher`) stops the previews and
// closes every camera its table held; a new load starts with an empty table.
TEST_F(DispatcherTest, UnloadClosesWhatTheTableHeld) {
    ok({-1, 1}, 0);
    ok({0, 2}, 0);
    ok({-1, 3}, 0);
    EXPECT_TRUE(korcamsim::cameraState(2).streaming);
    unload();
    for (int32_t n = 1; n <= 3; ++n) {
        SCOPED_TRACE("camera " + std::to_string(n));
        const korcamsim::CameraState state = korcamsim::cameraState(n);
        EXPECT_FALSE(state.open);
        EXPECT_EQ(state.handles, 0u);
        EXPECT_FALSE(state.streaming);
        EXPECT_FALSE(state.window);
    }
    load();
    Array connected = ok({6, 1});
    ASSERT_TRUE(connected);
    EXPECT_FALSE(*mxGetLogicals(connected.get()));
    ok({-1, 1}, 0);
    EXPECT_EQ(korcamsim::cameraState(1).handles, 1u);
}

// A 64-bit process could allocate these; the gateway still refuses every
// block above 2^31-1 bytes, as a 32-bit MATLAB must, with its own messages.
TEST_F(DispatcherTest, FramesAboveTheLimitAreRefused) {
    std::vector<korcamsim::CameraSpec> rig(3);
    rig[0].color = false;
    rig[0].bits16 = true;
    rig[0].maxWidth = rig[0].maxHeight = 40000;  // 16-bit: 3.2e9 raw bytes
    rig[1].maxWidth = rig[1].maxHeight = 30000;  // colour: 9e8 raw bytes fit, 2.7e9 picture bytes do not
    rig[2].maxWidth = 60000;                     // with a tall camera: a 60000 x 60000 x 3 x 2 array
    rig[2].maxHeight = 1;
    korcamsim::setRig(rig);
    ok({0, 1}, 0);
    ok(args(number(10), number(1), logical(true)), 0);
    Outcome o = call({7, 1});
    EXPECT_EQ(o.message, "Not enough memory to make raw frame buffer.");
    o = call({13, 1});
    EXPECT_EQ(o.message, "Not enough memory to make raw buffer.");
    ok({-1, 2}, 0);
    o = call({13, 2});
    EXPECT_EQ(o.message, "Not enough memory to make picture buffer.");
    EXPECT_EQ(korcamsim::cameraState(2).framesDelivered, 0u);
    ok({-2, 2}, 0);
    ok({-1, 3}, 0);
    o = call({32});
    EXPECT_EQ(o.message, "Not enough memory to create raw buffer.");
}

// MATLAB answers null when it cannot create an array; every command that
// returns a value then raises its own message, or "Not enough memory.", and
// never leaves its output unassigned.
TEST_F(DispatcherTest, ArraysTheHostCannotCreate) {
    struct Row {
        std::vector<double> inputs;
        long creations;  // arrays created before the host runs out
        const char* message;
    };
    const Row rows[] = {
        {{6, 1}, 0, "Not enough memory."},   // logical
        {{12, 1}, 0, "Not enough memory."},  // column
        {{34, 1}, 0, "Not enough memory."},  // row
        {{37}, 0, "Not enough memory."},     // scalar
        {{58, 1}, 0, "Not enough memory."},  // text
        {{33, 1}, 0, "An error occured while creating frame rate matrix."},
        {{13, 1}, 0, "An error occured while creating the Matlab array."},
        {{62, 1}, 0, "An error occured while creating the frame format structure."},
        {{62, 1}, 4, "An error occured while creating the frame format structure."},
        {{57, 1}, 0, "Failed to allocate memory."},
        {{57, 1}, 3, "Failed to allocate memory."},
        {{38}, 5, "Failed to allocate memory."},
    };
    ok({-1, 1}, 0);
    for (const Row& row : rows) {
        SCOPED_TRACE("code " + std::to_string(row.inputs[0]) + ", " + std::to_string(row.creations) + " created");
        std::vector<Array> inputs;
        for (double v : row.inputs) inputs.push_back(number(v));
        Outcome o = call(std::move(inputs), 1, row.creations);
        EXPECT_TRUE(o.raised);
        EXPECT_EQ(o.message, row.message);
    }
    EXPECT_TRUE(korcamsim::cameraState(1).open);
}

// Every row of the command table with every parameter count from 0 to 10 (all
// ones, camera 1 connected): whatever each answers, nothing breaks a rule of
// the MEX interface and the module keeps working. Codes outside the table
// do nothing.
TEST_F(DispatcherTest, EveryCodeAndCountKeepsTheRules) {
    korcamsim::setCameraCount(3);
    for (int code = -3; code <= 75; ++code) {
        for (int count = 0; count <= 10; ++count) {
            SCOPED_TRACE("code " + std::to_string(code) + ", " + std::to_string(count) + " parameters");
            Array connected = ok({6, 1});
            if (connected && !*mxGetLogicals(connected.get())) ok({-1, 1}, 0);
            std::vector<Array> inputs = numbers({double(code)});
            for (int k = 0; k < count; ++k) inputs.push_back(number(1));
            Outcome o = call(std::move(inputs), 0);
            if (code < -2 || code > 74) {
                EXPECT_FALSE(o.raised) << o.message;
                EXPECT_FALSE(o.out);
            }
            ASSERT_EQ(kormxBrokenRuleCount(), 0u) << brokenRules();
        }
    }
    ok({-1, 2}, 0);
    Array count = ok({37});
    ASSERT_TRUE(count);
    EXPECT_EQ(mxGetScalar(count.get()), 3.0);
}

// ---------------------------------------------------------------------------
// The stand-in itself: each rule it enforces fires on a MEX function that
// breaks it, so that a clean run of the gateway means something.

void leaksAnArray(int, mxArray*[], int, const mxArray*[]) { mxCreateDoubleScalar(1); }
void returnsItsInput(int, mxArray* plhs[], int, const mxArray* prhs[]) { plhs[0] = const_cast<mxArray*>(prhs[0]); }
void writesPastItsOutputs(int, mxArray* plhs[], int, const mxArray*[]) { plhs[1] = mxCreateDoubleScalar(1); }
void changesItsInput(int, mxArray*[], int, const mxArray* prhs[]) { *mxGetPr(prhs[0]) = 7; }
void destroysItsInput(int, mxArray*[], int, const mxArray* prhs[]) { mxDestroyArray(const_cast<mxArray*>(prhs[0])); }
void readsLogicalAsDouble(int, mxArray*[], int, const mxArray*[]) {
    mxArray* a = mxCreateLogicalScalar(true);
    (void)mxGetPr(a);
    mxDestroyArray(a);
}
void readsAnEmptyScalar(int, mxArray*[], int, const mxArray*[]) {
    mxArray* a = mxCreateDoubleMatrix(0, 0, mxREAL);
    (void)mxGetScalar(a);
    mxDestroyArray(a);
}
void raisesHoldingAnArray(int, mxArray*[], int, const mxArray*[]) {
    mxCreateDoubleScalar(1);
    mexErrMsgTxt("raised\n");
}
void raisesCleanly(int, mxArray*[], int, const mxArray*[]) { mexErrMsgTxt("raised\n"); }
void answersNothing(int, mxArray*[], int, const mxArray*[]) {}

TEST(MexStandIn, CountsEveryBrokenRule) {
    struct Row {
        const char* what;
        KormexFunction function;
        const char* rule;  // part of the description; null: none broken
        const char* error;
    };
    const Row rows[] = {
        {"leak", leaksAnArray, "neither returned nor destroyed", ""},
        {"input returned", returnsItsInput, "no array the call created",
         "One or more output arguments not assigned during call."},
        {"output past nlhs", writesPastItsOutputs, "output 2 assigned", ""},
        {"input changed", changesItsInput, "input 1 was changed", ""},
        {"input destroyed", destroysItsInput, "mxDestroyArray on an input", ""},
        {"mxGetPr on logical", readsLogicalAsDouble, "mxGetPr on a logical", ""},
        {"mxGetScalar on empty", readsAnEmptyScalar, "mxGetScalar on an empty array", ""},
        {"error with an array alive", raisesHoldingAnArray, "neither returned nor destroyed", "raised\n"},
        {"clean error", raisesCleanly, nullptr, "raised\n"},
        {"no output assigned", answersNothing, nullptr, "One or more output arguments not assigned during call."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        kormxClearBrokenRules();
        Array input = number(1);
        const mxArray* prhs[1] = {input.get()};
        mxArray* plhs[KORMEX_MAX_OUTPUTS] = {};
        const int nlhs = row.function == answersNothing || row.function == returnsItsInput ? 1 : 0;
        const int raised = kormexCall(row.function, nlhs, plhs, 1, prhs);
        EXPECT_EQ(raised != 0, *row.error != '\0');
        EXPECT_EQ(kormexErrorMessage(), std::string(row.error));
        EXPECT_EQ(plhs[0], nullptr);
        if (row.rule) {
            ASSERT_EQ(kormxBrokenRuleCount(), 1u) << brokenRules();
            EXPECT_NE(std::string(kormxBrokenRule(0)).find(row.rule), std::string::npos) << brokenRules();
        } else {
            EXPECT_EQ(kormxBrokenRuleCount(), 0u) << brokenRules();
        }
        if (row.function != changesItsInput) {
            EXPECT_EQ(mxGetScalar(input.get()), 1.0);
        }
        input.reset();
        EXPECT_EQ(kormxLiveArrays(), 0u);
    }
    kormxClearBrokenRules();
}

TEST(MexStandIn, ArraysFollowMatlabsRules) {
    // Half the bits of mwSize each: the product of the first two overflows a 32-bit and a 64-bit size alike.
    const mwSize half = mwSize(1) << (sizeof(mwSize) * 4);
    const mwSize big[3] = {half, half, 8};
    EXPECT_EQ(mxCreateNumericArray(3, big, mxUINT8_CLASS, mxREAL), nullptr) << "element count overflows";
    const mwSize shape[4] = {2, 3, 1, 1};
    Array a(mxCreateNumericArray(4, shape, mxUINT16_CLASS, mxREAL));
    ASSERT_TRUE(a);
    EXPECT_EQ(dimsOf(a.get()), (std::vector<mwSize>{2, 3})) << "trailing singletons dropped";
    EXPECT_EQ(mxGetM(a.get()), 2u);
    EXPECT_EQ(mxGetN(a.get()), 3u);
    EXPECT_TRUE(mxIsNumeric(a.get()));
    EXPECT_FALSE(mxIsDouble(a.get()));
    const mwSize cube[3] = {2, 3, 4};
    Array c(mxCreateNumericArray(3, cube, mxDOUBLE_CLASS, mxREAL));
    EXPECT_EQ(mxGetN(c.get()), 12u);
    Array s(text("USB2"));
    EXPECT_EQ(dimsOf(s.get()), (std::vector<mwSize>{1, 4}));
    EXPECT_EQ(mxGetChars(s.get())[3], u'2');
    const char* fields[2] = {"width", "height"};
    const mwSize one[2] = {1, 1};
    Array st(mxCreateStructArray(2, one, 2, fields));
    mxSetFieldByNumber(st.get(), 0, 1, mxCreateDoubleScalar(480));
    EXPECT_EQ(mxGetScalar(mxGetField(st.get(), 0, "height")), 480.0);
    EXPECT_EQ(mxGetField(st.get(), 0, "width"), nullptr);
    EXPECT_EQ(mxGetField(st.get(), 1, "height"), nullptr);
    EXPECT_EQ(mxGetField(st.get(), 0, "depth"), nullptr);
    EXPECT_FALSE(mxIsNumeric(st.get()));
    EXPECT_FALSE(mxIsNumeric(logical(true).get()));
    EXPECT_EQ(kormxBrokenRuleCount(), 0u) << brokenRules();
}

}  // namespace
