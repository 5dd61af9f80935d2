// korvideoinput as a Windows MEX file, with the host engine inside it and the
// acquisition adaptor korviximaq.dll beside it: loaded with LoadLibraryA and
// called through the MEX interface stand-in (kit/mex) as KorVideoInput calls
// it, against the virtual cameras. Runs under wine. Every test ends with the
// stand-in's books: no broken rule of the MEX interface, no array left alive.
#include "mex_test_support.h"

#include <tlhelp32.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

using namespace mextest;

const char* const kMexFile = sizeof(void*) == 8 ? "korvideoinput.mexw64" : "korvideoinput.mexw32";

struct Outcome {
    bool raised = false;
    std::string identifier;
    std::string message;
    Array out;
};

// The threads of this process now.
std::set<DWORD> threadsOfThisProcess() {
    std::set<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return threads;
}

class VideoInputTest : public ::testing::Test {
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
        korcamsim::clearFaults();
    }

    void load() {
        module_ = LoadLibraryA((folderOfThisProgram() + kMexFile).c_str());
        ASSERT_NE(module_, nullptr) << kMexFile << " not loaded, error " << GetLastError();
        mexFunction_ =
            reinterpret_cast<KormexFunction>(reinterpret_cast<void (*)(void)>(GetProcAddress(module_, "mexFunction")));
        ASSERT_NE(mexFunction_, nullptr);
    }

    // What `clear korvideoinput` does: the exit hook, then FreeLibrary.
    void unload() {
        EXPECT_EQ(kormexUnload(module_), 1);
        module_ = nullptr;
        mexFunction_ = nullptr;
    }

    Outcome call(std::vector<Array> inputs, int nlhs = 1) {
        std::vector<const mxArray*> prhs;
        for (const Array& a : inputs) prhs.push_back(a.get());
        mxArray* plhs[KORMEX_MAX_OUTPUTS] = {};
        Outcome outcome;
        outcome.raised = kormexCall(mexFunction_, nlhs, plhs, static_cast<int>(prhs.size()), prhs.data()) != 0;
        if (outcome.raised) {
            outcome.identifier = kormexErrorIdentifier();
            outcome.message = kormexErrorMessage();
        }
        outcome.out.reset(plhs[0]);
        for (int k = 1; k < nlhs; ++k) mxDestroyArray(plhs[k]);
        return outcome;
    }

    // A call that must succeed.
    Array ok(std::vector<Array> inputs, int nlhs = 1) {
        Outcome o = call(std::move(inputs), nlhs);
        EXPECT_FALSE(o.raised) << o.identifier << ": " << o.message;
        return std::move(o.out);
    }

    double scalarOf(std::vector<Array> inputs) {
        Array a = ok(std::move(inputs));
        return a ? mxGetScalar(a.get()) : -1;
    }

    // A new object on camera n in the given format; its handle.
    double create(int32_t n, const char* format) { return scalarOf(args(text("create"), number(n), text(format))); }

    HMODULE module_ = nullptr;
    KormexFunction mexFunction_ = nullptr;
};

std::string textOf(const mxArray* a) {
    if (a == nullptr || !mxIsChar(a)) return std::string();
    char* chars = mxArrayToString(a);
    const std::string value = chars != nullptr ? chars : "";
    mxFree(chars);
    return value;
}

// The catalogue, an object, a device property, one frame logged and taken,
// compared pixel by pixel with the camera's own, and stop.
TEST_F(VideoInputTest, SessionMatchesTheCamerasFrames) {
    Array hw = ok(args(text("hwinfo")));
    ASSERT_TRUE(hw && mxIsStruct(hw.get()));
    ASSERT_EQ(mxGetNumberOfElements(hw.get()), 3u);
    EXPECT_EQ(textOf(mxGetField(hw.get(), 0, "DeviceName")), "KX-A01");
    EXPECT_EQ(textOf(mxGetField(hw.get(), 2, "DeviceName")), "Unknown Camera");

    const double h = create(1, "640x480");
    ok(args(text("sourceset"), number(h), text("Exposure"), number(20)), 0);
    ok(args(text("sourceset"), number(h), text("Strobe"), text("On")), 0);
    EXPECT_EQ(scalarOf(args(text("sourceget"), number(h), text("Exposure"))), 20.0);
    ok(args(text("set"), number(h), text("FramesPerTrigger"), number(1)), 0);
    ok(args(text("start"), number(h)), 0);
    ok(args(text("wait"), number(h)), 0);
    const SnapshotSettings settings = korcamsim::cameraState(1).snapshot;
    EXPECT_EQ(settings.exposure, 20.0f);
    EXPECT_EQ(settings.strobeEnable, 1u);

    Array frames = ok(args(text("getdata"), number(h), number(1)), 3);
    ASSERT_TRUE(frames);
    ASSERT_EQ(mxGetClassID(frames.get()), mxUINT8_CLASS);
    uint32_t height = 0, width = 0;
    const std::vector<uint8_t> expected = expectedImage<uint8_t>(1, true, &height, &width);
    EXPECT_EQ(dimsOf(frames.get()), (std::vector<mwSize>{height, width, 3}));
    EXPECT_TRUE(imageIn<uint8_t>(frames.get(), 0, height, width) == expected) << "pixels differ";
    frames.reset();

    ok(args(text("stop"), number(h)), 0);
    Array running = ok(args(text("get"), number(h), text("Running")));
    ASSERT_TRUE(running && mxIsLogical(running.get()));
    EXPECT_FALSE(*mxGetLogicals(running.get()));
    ok(args(text("delete"), number(h)), 0);
    EXPECT_FALSE(korcamsim::cameraState(1).open);
    EXPECT_EQ(scalarOf(args(text("objects"))), 0.0);
}

// A camera unplugged during a run stops it with the adaptor's error; the
// frames logged before stay, and nothing arrives after.
TEST_F(VideoInputTest, UnpluggedCameraStopsTheRun) {
    const double h = create(1, "320x240");
    ok(args(text("set"), number(h), text("FramesPerTrigger"), number(1000)), 0);
    korcamsim::failOperation("KorcamTakeFastFrame", korcamsim::kErrorNoSuchCamera, korcamsim::kAlways, 6);
    ok(args(text("start"), number(h)), 0);
    Outcome o = call(args(text("wait"), number(h)), 0);
    EXPECT_TRUE(o.raised);
    EXPECT_EQ(o.identifier, "KorvixAdaptor:acquisitionThread");
    EXPECT_EQ(o.message.substr(0, o.message.find('\n')), "Cannot take a snapshot. Error: 2") << o.message;
    Array running = ok(args(text("get"), number(h), text("Running")));
    ASSERT_TRUE(running);
    EXPECT_FALSE(*mxGetLogicals(running.get()));
    EXPECT_EQ(scalarOf(args(text("get"), number(h), text("FramesAvailable"))), 6.0);
    Sleep(100);
    EXPECT_EQ(scalarOf(args(text("get"), number(h), text("FramesAvailable"))), 6.0) << "a frame after the error";
    EXPECT_FALSE(korcamsim::cameraState(1).fastFrames);
}

// Unloading the MEX file while it acquires (`clear korvideoinput`) stops the
// run, closes the camera, unloads the adaptor and ends every thread the
// engine and the adaptor started.
TEST_F(VideoInputTest, UnloadWhileRunningLeavesNoThread) {
    unload();
    korcamsim::setPacing(true);
    const std::set<DWORD> before = threadsOfThisProcess();
    ASSERT_FALSE(before.empty()) << "no thread list";
    load();
    const double h = create(1, "640x480");
    // Frames the memory limit holds: a run beyond it warns at start.
    ok(args(text("set"), number(h), text("FramesPerTrigger"), number(1000)), 0);
    ok(args(text("start"), number(h)), 0);
    for (int wait = 0; wait < 100 && korcamsim::cameraState(1).framesDelivered < 2; ++wait) Sleep(20);
    EXPECT_TRUE(korcamsim::cameraState(1).fastFrames);
    EXPECT_GT(threadsOfThisProcess().size(), before.size()) << "the engine and the adaptor run threads";

    unload();
    const korcamsim::CameraState camera = korcamsim::cameraState(1);
    EXPECT_FALSE(camera.open);
    EXPECT_FALSE(camera.fastFrames);
    EXPECT_EQ(GetModuleHandleA("korviximaq.dll"), nullptr) << "the adaptor stays loaded";
    const uint64_t delivered = camera.framesDelivered;
    Sleep(100);
    EXPECT_EQ(korcamsim::cameraState(1).framesDelivered, delivered) << "frames after the unload";
    for (DWORD thread : threadsOfThisProcess()) EXPECT_TRUE(before.count(thread)) << "thread " << thread << " left";
}

// The first bytes of a file: a BigTIFF header and the offset of its first page.
std::vector<unsigned char> headerOf(const std::string& path) {
    std::vector<unsigned char> bytes(16);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << path << " cannot be read: " << std::strerror(errno);
        return {};
    }
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

// Recording to disk with the Windows file calls: every frame written when
// wait returns, and unloading while frames wait for a slow disk finishes the
// file and ends the writer thread with the others.
TEST_F(VideoInputTest, RecordsToDiskAndUnloadFinishesTheFile) {
    const std::string folder = folderOfThisProgram();
    const std::string first = folder + "videoinput-disk-1.tif", second = folder + "videoinput-disk-2.tif";
    std::remove(first.c_str());
    std::remove(second.c_str());
    double h = create(1, "320x240");
    ok(args(text("set"), number(h), text("LoggingMode"), text("disk")), 0);
    ok(args(text("set"), number(h), text("DiskLogger"), text(first.c_str())), 0);
    ok(args(text("set"), number(h), text("FramesPerTrigger"), number(5)), 0);
    ok(args(text("start"), number(h)), 0);
    ok(args(text("wait"), number(h)), 0);
    EXPECT_EQ(scalarOf(args(text("get"), number(h), text("DiskLoggerFrameCount"))), 5.0);
    Outcome again = call(args(text("start"), number(h)), 0);
    EXPECT_EQ(again.identifier, "KorVideoInput:fileExists") << again.message;
    std::vector<unsigned char> header = headerOf(first);
    ASSERT_EQ(header.size(), 16u);
    EXPECT_EQ(std::vector<unsigned char>(header.begin(), header.begin() + 4),
              (std::vector<unsigned char>{'I', 'I', 43, 0}));

    unload();
    korcamsim::setPacing(true);
    const std::set<DWORD> before = threadsOfThisProcess();
    load();
    ok(args(text("diskfaults"), number(0.05)), 0);
    h = create(1, "320x240");
    ok(args(text("set"), number(h), text("LoggingMode"), text("disk")), 0);
    ok(args(text("set"), number(h), text("DiskLogger"), text(second.c_str())), 0);
    ok(args(text("set"), number(h), text("FramesPerTrigger"), number(1000000)), 0);
    ok(args(text("start"), number(h)), 0);
    for (int wait = 0; wait < 100 && korcamsim::cameraState(1).framesDelivered < 4; ++wait) Sleep(20);
    unload();
    header = headerOf(second);
    ASSERT_EQ(header.size(), 16u);
    std::uint64_t firstPage = 0;
    for (int k = 7; k >= 0; --k) firstPage = firstPage << 8 | header[8 + k];
    EXPECT_NE(firstPage, 0u) << "no page written";
    for (DWORD thread : threadsOfThisProcess()) EXPECT_TRUE(before.count(thread)) << "thread " << thread << " left";
    std::remove(first.c_str());
    std::remove(second.c_str());
}

}  // namespace
