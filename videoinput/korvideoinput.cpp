// korvideoinput: the MEX file behind KorVideoInput. It embeds the host engine,
// loads the acquisition adaptor the way the toolbox does, and keeps the video
// input objects of the session between calls:
//
//   korvideoinput('command', ...)
//
// hwinfo, create, delete, get, set, start, stop, wait, getdata, getsnapshot,
// sourcenames, sourceget, sourceset, propinfo, memorylimit, diagnostics,
// objects. KorVideoInput.m is its only intended caller; the checks here are
// the whole of the contract all the same, since nothing stops a user from
// calling it directly.
#include "frame_log.h"
#include "imaqkit_host.h"
#include "korimaq_engine.h"
#include "mex.h"
#include "pixels.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

namespace korvid {
namespace {

// How a command fails: thrown with identifier and text, caught in
// mexFunction once every object of the command has been released.
struct Raised {
    std::string identifier;
    std::string message;
};

[[noreturn]] void raise(std::string identifier, std::string message) {
    throw Raised{std::move(identifier), std::move(message)};
}

[[noreturn]] void raise(const Failure& failure) { raise(failure.identifier, failure.message); }

constexpr std::chrono::milliseconds kPollSlice{100};
constexpr double kDefaultWaitSeconds = 10;
constexpr double kMaxUint32 = 4294967295.0;

// ---------------------------------------------------------------------------
// Adaptor reports: errors go to the log of the adaptor that reported them,
// warnings wait for the end of the current command.

struct Reported {
    std::shared_ptr<FrameLog> log;
    korimaq::VideoInput* input;  // removed from here before it is destroyed
};

struct Reports {
    std::mutex mutex;
    std::map<const imaqkit::IAdaptor*, Reported> inputs;
    std::vector<imaqkit::host::Report> warnings;
};

Reports& reports() {
    static Reports* instance = new Reports();  // reached from adaptor threads until the sink is removed
    return *instance;
}

constexpr std::size_t kMaxPendingWarnings = 100;

void onReport(const imaqkit::host::Report& report, void*) {
    Reports& all = reports();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (report.kind == imaqkit::host::Report::WARNING) {
        if (all.warnings.size() < kMaxPendingWarnings) all.warnings.push_back(report);
        return;
    }
    const auto found = all.inputs.find(report.adaptor);
    if (found == all.inputs.end()) return;
    found->second.log->fail({report.identifier, report.message});
    // A run that keeps failing without delivering a frame would go on until
    // the next call stops it: the adaptor is told it is complete now.
    found->second.input->endEarly();
}

// A warning of korvideoinput itself, shown with the adaptor's at the end of the command.
void warnLater(const std::string& identifier, const std::string& message) {
    Reports& all = reports();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (all.warnings.size() < kMaxPendingWarnings)
        all.warnings.push_back({imaqkit::host::Report::WARNING, identifier, message, nullptr});
}

std::vector<imaqkit::host::Report> takeWarnings() {
    Reports& all = reports();
    std::lock_guard<std::mutex> lock(all.mutex);
    return std::exchange(all.warnings, {});
}

// ---------------------------------------------------------------------------
// The adaptor library and the objects.

MemoryBudget& budget() {
    static MemoryBudget instance;
    return instance;
}

std::string folderOfThisModule() {
#if defined(_WIN32)
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&folderOfThisModule), &module))
        return std::string();
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&folderOfThisModule), &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    std::string folder(info.dli_fname);
    const std::size_t slash = folder.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : folder.substr(0, slash + 1);
#endif
}

std::string adaptorPath() {
    if (const char* chosen = std::getenv("KORVIDEOINPUT_ADAPTOR"); chosen != nullptr && *chosen != '\0')
        return chosen;
#if defined(_WIN32)
    return folderOfThisModule() + "korviximaq.dll";
#else
    return folderOfThisModule() + "libkorviximaq.so";
#endif
}

std::shared_ptr<korimaq::AdaptorLibrary>& libraryRef() {
    static std::shared_ptr<korimaq::AdaptorLibrary> library;
    return library;
}

korimaq::AdaptorLibrary& library() {
    auto& library = libraryRef();
    if (!library) {
        const std::string path = adaptorPath();
        std::string error;
        library = korimaq::AdaptorLibrary::load(path, error);
        if (!library)
            raise("KorVideoInput:noAdaptor",
                  "The acquisition adaptor could not be loaded (" + error +
                      "). Build it beside korvideoinput (make build), or set the environment variable "
                      "KORVIDEOINPUT_ADAPTOR to the adaptor library's path.");
        imaqkit::host::setReportSink(onReport, nullptr);
    }
    return *library;
}

struct Video {
    std::shared_ptr<FrameLog> log;  // outlives the input, whose adaptor reports into it
    std::unique_ptr<korimaq::VideoInput> input;
    const imaqkit::IAdaptor* adaptor = nullptr;
    std::uint64_t handle = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    korimaq::AcquisitionPlan plan{10, 1};
    Region roi{0, 0, 0, 0};
    std::chrono::system_clock::time_point startWall{};
    double startStamp = 0;
    // The adaptor's error after which the object closed its camera (it may
    // have gone away and come back with new handles), and how often it
    // opened the camera again since.
    std::string closedAfter;
    bool closedForError = false;
    std::uint64_t reopened = 0;

    ~Video() {
        if (input) {
            input->stop();
            log->refuseFrames();
        }
        {
            std::lock_guard<std::mutex> lock(reports().mutex);
            reports().inputs.erase(adaptor);
        }
        input.reset();  // the adaptor closes the device and ends its thread
    }
};

std::map<std::uint64_t, std::unique_ptr<Video>>& videos() {
    static std::map<std::uint64_t, std::unique_ptr<Video>> all;
    return all;
}

// Handles are not reused within a session, and start from the clock so that
// a handle kept from before korvideoinput was cleared finds nothing.
std::uint64_t nextHandle() {
    static std::uint64_t next = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return (static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) %
                1000000) * 1000 + 1;
    }();
    return next++;
}

bool registered = false;

void unloadAll() {
    videos().clear();
    imaqkit::host::setReportSink(nullptr, nullptr);
    libraryRef().reset();
    takeWarnings();
    registered = false;
}

// ---------------------------------------------------------------------------
// Arguments.

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
mxArray* callOn(const char* function, const mxArray* value) {
    mxArray* input[] = {const_cast<mxArray*>(value)};
    mxArray* output = nullptr;
    if (mexCallMATLAB(1, &output, 1, input, function) != 0) return nullptr;
    return output;
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
    mxArray* full = mxIsSparse(value) ? callOn("full", value) : nullptr;
    const mxArray* source = full != nullptr ? full : value;
    mxArray* asDouble = source != nullptr && !mxIsDouble(source) ? callOn("double", source) : nullptr;
    if (asDouble != nullptr) source = asDouble;
    const bool readable = source != nullptr && mxIsDouble(source) && !mxIsSparse(source) &&
                          mxGetNumberOfElements(source) == count;
    if (readable) std::copy(mxGetPr(source), mxGetPr(source) + count, out);
    if (asDouble != nullptr) mxDestroyArray(asDouble);
    if (full != nullptr) mxDestroyArray(full);
    return readable;
}

bool readScalar(const mxArray* value, double& out) { return readNumbers(value, 1, &out); }

std::string argumentText(int nrhs, const mxArray* prhs[], int index, const char* what) {
    return readText(index < nrhs ? prhs[index] : nullptr, "KorVideoInput:badArgument", what);
}

Video& videoOf(int nrhs, const mxArray* prhs[]) {
    double value = 0;
    if (nrhs < 2 || !readScalar(prhs[1], value))
        raise("KorVideoInput:badArgument", "A video input object handle is required.");
    const auto found = std::isfinite(value) && value >= 1 && value < 9007199254740992.0
                           ? videos().find(static_cast<std::uint64_t>(value))
                           : videos().end();
    if (found == videos().end())
        raise("KorVideoInput:deleted",
              "This video input object no longer exists (it was deleted, or korvideoinput was cleared). "
              "Create another with KorVideoInput(id).");
    return *found->second;
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

// ---------------------------------------------------------------------------
// Running state.

// An acquisition that has what it asked for, or met an error, is stopped
// here, on the calling thread: stop capture waits for the acquisition
// thread, so it cannot be called from it.
//
// After an error of the adaptor the camera is closed: the handle it had may
// be gone for good (a camera unplugged and plugged in again has new ones),
// and the next start or getsnapshot opens it afresh.
void settle(Video& video) {
    if (video.input->isAcquiring() && video.log->finished()) {
        video.input->stop();
        video.log->refuseFrames();
    }
    if (!video.input->isOpen() || video.input->isAcquiring()) return;
    if (const std::optional<imaqkit::host::Report> error = video.input->adaptorError()) {
        video.input->close();
        video.closedAfter = error->identifier + ": " + error->message;
        video.closedForError = true;
    }
}

bool running(Video& video) {
    settle(video);
    return video.input->isAcquiring();
}

// The adaptor's catalogue opens every camera and tries each format on it,
// which changes the camera's format: it is read only while no object
// acquires, and the one read last serves meanwhile.
const std::vector<korimaq::DeviceEntry>& catalogue() {
    static std::vector<korimaq::DeviceEntry> devices;
    static bool read = false;
    bool acquiring = false;
    for (auto& entry : videos())
        if (running(*entry.second)) acquiring = true;
    if (!acquiring || !read) {
        devices = library().availableHardware();
        read = true;
    }
    return devices;
}

void raiseReadOnlyWhileRunning(Video& video, const std::string& name) {
    if (running(video))
        raise("KorVideoInput:readOnlyWhileRunning",
              name + " cannot be changed while the video input is running. Stop it first with stop(vid).");
}

// Warnings wait for the end of the command; `earlier` go back in front of
// those reported since.
void putWarningsBack(std::vector<imaqkit::host::Report> earlier) {
    Reports& all = reports();
    std::lock_guard<std::mutex> lock(all.mutex);
    earlier.insert(earlier.end(), all.warnings.begin(), all.warnings.end());
    all.warnings = std::move(earlier);
}

std::string describe(const Video& video) {
    return "KorVideoInput object " + std::to_string(video.handle) + " (camera " +
           std::to_string(video.input->deviceId()) + ", format '" + video.input->formatName() + "')";
}

// A camera serves one object at a time. Another object's acquisition keeps
// it (whatever would open or reconfigure the camera under that run's thread
// is refused); an idle object that has it open gives it up, and opens it
// again at its own next start or getsnapshot.
void claimCamera(std::int32_t deviceId, const Video* claimant) {
    for (auto& entry : videos()) {
        Video& other = *entry.second;
        if (&other == claimant || other.input->deviceId() != deviceId) continue;
        if (running(other))
            raise("KorVideoInput:cameraInUse",
                  "Camera " + std::to_string(deviceId) + " is acquiring for " + describe(other) +
                      ". Wait for that acquisition with wait(vid) or end it with stop(vid) or delete(vid) on "
                      "that object, then try again.");
    }
    for (auto& entry : videos()) {
        Video& other = *entry.second;
        if (&other != claimant && other.input->deviceId() == deviceId && other.input->isOpen())
            other.input->close();
    }
}

void ensureOpen(Video& video) {
    claimCamera(video.input->deviceId(), &video);
    if (video.input->isOpen()) return;
    const bool opened = static_cast<bool>(video.input->open());
    // Opening hands every property value to the adaptor again; what it
    // warned about then was shown when the value was set.
    takeWarnings();
    if (!opened) {
        // The adaptor says why, through the log of this input (the snapshot's
        // when a snapshot opens the camera).
        if (Failure failure = video.log->takeFailure()) raise(failure);
        if (Failure failure = video.log->snapshotFailure()) raise(failure);
        raise("KorVideoInput:openFailed",
              "The camera could not be opened. Check that it is attached and not in use by another program, "
              "then try again.");
    }
    if (video.closedForError) {
        video.closedForError = false;
        ++video.reopened;
    }
}

void applyRoi(Video& video) {
    const Region region = adaptorRegion(video.roi, video.height);
    if (!video.input->setRoi(region.x, region.y, region.width, region.height))
        raise("KorVideoInput:badROI", "ROIPosition no longer lies inside the image; set it again.");
}

// ---------------------------------------------------------------------------
// Commands.

using Handler = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

void hwinfo(int, mxArray* plhs[], int, const mxArray*[]) {
    const std::vector<korimaq::DeviceEntry> devices = catalogue();
    const char* fields[] = {"DeviceID", "DeviceName", "SupportedFormats", "DefaultFormat"};
    mxArray* result = mxCreateStructMatrix(1, devices.size(), 4, fields);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        std::vector<std::string> formats;
        std::string defaultFormat;
        for (const korimaq::FormatEntry& format : devices[i].formats) {
            formats.push_back(format.name);
            if (format.isDefault && defaultFormat.empty()) defaultFormat = format.name;
        }
        mxSetFieldByNumber(result, i, 0, scalar(devices[i].id));
        mxSetFieldByNumber(result, i, 1, mxCreateString(devices[i].name.c_str()));
        mxSetFieldByNumber(result, i, 2, cellOfTexts(formats));
        mxSetFieldByNumber(result, i, 3, mxCreateString(defaultFormat.c_str()));
    }
    plhs[0] = result;
}

void showWarnings();

void create(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    double id = 0;
    if (nrhs < 2 || !readScalar(prhs[1], id))
        raise("KorVideoInput:noDevice", "The camera must be given by its DeviceID, a number that "
                                        "KorVideoInput.hwinfo() lists.");
    const std::vector<korimaq::DeviceEntry> devices = catalogue();
    const korimaq::DeviceEntry* device = nullptr;
    for (const korimaq::DeviceEntry& entry : devices)
        if (static_cast<double>(entry.id) == id) device = &entry;
    if (device == nullptr)
        raise("KorVideoInput:noDevice", "There is no camera with DeviceID " + number(id) +
                                            ". KorVideoInput.hwinfo() lists the cameras attached.");
    std::string format = nrhs >= 3 ? argumentText(nrhs, prhs, 2, "The video format") : std::string();
    std::string accepted;
    bool known = false;
    std::string defaultFormat;
    for (const korimaq::FormatEntry& entry : device->formats) {
        accepted += (accepted.empty() ? "'" : ", '") + entry.name + "'";
        if (entry.name == format) known = true;
        if (entry.isDefault && defaultFormat.empty()) defaultFormat = entry.name;
    }
    if (nrhs < 3) {
        if (defaultFormat.empty())
            raise("KorVideoInput:badFormat", "Camera " + number(id) +
                                                 " has no default format; give one of its formats: " +
                                                 accepted + ".");
        format = defaultFormat;
        known = true;
    }
    if (!known)
        raise("KorVideoInput:badFormat", "Camera " + number(id) + " does not offer the format '" + format +
                                             "'; give one of its formats: " + accepted + ".");

    // Reading the device properties opens the camera.
    claimCamera(device->id, nullptr);
    auto video = std::make_unique<Video>();
    video->log = std::make_shared<FrameLog>(budget());
    std::string error;
    std::vector<imaqkit::host::Report> earlier = takeWarnings();
    video->input = library().createVideoInput(device->id, format, error);
    const std::vector<imaqkit::host::Report> creating = takeWarnings();
    putWarningsBack(std::move(earlier));
    if (!video->input)
        raise("KorVideoInput:createFailed", "The adaptor made no video input for camera " + number(id) + " (" +
                                                error + "); check that the camera is attached and try again.");
    // What the adaptor warned about while describing the camera is missing
    // from the object for good (a property, or its listener): no object.
    if (!creating.empty())
        raise("KorVideoInput:createFailed", "Camera " + number(id) + " could not be described completely: " +
                                                creating.front().message + " (" + creating.front().identifier +
                                                "). Check that the camera is attached and answers, then create "
                                                "the object again.");
    video->adaptor = video->input->adaptor();
    {
        std::lock_guard<std::mutex> lock(reports().mutex);
        reports().inputs[video->adaptor] = {video->log, video->input.get()};
    }
    video->width = video->input->adaptor()->getMaxWidth();
    video->height = video->input->adaptor()->getMaxHeight();
    video->roi = {0, 0, video->width, video->height};
    video->input->setFrameSink(video->log.get());  // a new input is closed: always accepted
    // Shown before the object is kept: a warning turned into an error then
    // leaves no object behind that the caller never got a handle of.
    showWarnings();
    const std::uint64_t handle = nextHandle();
    video->handle = handle;
    videos()[handle] = std::move(video);
    plhs[0] = scalar(static_cast<double>(handle));
}

void destroy(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    double value = 0;
    if (nrhs < 2 || !readScalar(prhs[1], value)) return;
    if (!(std::isfinite(value) && value >= 1 && value < 9007199254740992.0)) return;
    videos().erase(static_cast<std::uint64_t>(value));
}

void get(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string name = argumentText(nrhs, prhs, 2, "The property name");
    if (name == "DeviceID") {
        plhs[0] = scalar(video.input->deviceId());
    } else if (name == "VideoFormat") {
        plhs[0] = mxCreateString(video.input->formatName().c_str());
    } else if (name == "VideoResolution") {
        plhs[0] = row({static_cast<double>(video.width), static_cast<double>(video.height)});
    } else if (name == "FramesAcquired") {
        plhs[0] = scalar(static_cast<double>(video.log->framesAcquired()));
    } else if (name == "FramesAvailable") {
        plhs[0] = scalar(static_cast<double>(video.log->framesAvailable()));
    } else if (name == "Running") {
        plhs[0] = mxCreateLogicalScalar(running(video));
    } else if (name == "FramesPerTrigger") {
        plhs[0] = scalar(static_cast<double>(video.plan.framesPerTrigger));
    } else if (name == "FrameGrabInterval") {
        plhs[0] = scalar(static_cast<double>(video.plan.frameGrabInterval));
    } else if (name == "ROIPosition") {
        plhs[0] = row({static_cast<double>(video.roi.x), static_cast<double>(video.roi.y),
                       static_cast<double>(video.roi.width), static_cast<double>(video.roi.height)});
    } else if (name == "SourceName") {
        const auto& sources = video.input->attributes().sources;
        plhs[0] = mxCreateString(sources.empty() ? "" : sources.front().name.c_str());
    } else {
        raise("KorVideoInput:noProperty", "A video input has no property '" + name + "'.");
    }
}

void set(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string name = argumentText(nrhs, prhs, 2, "The property name");
    if (nrhs < 4) raise("KorVideoInput:badArgument", "A value is required.");
    const mxArray* value = prhs[3];
    if (name != "FramesPerTrigger" && name != "FrameGrabInterval" && name != "ROIPosition")
        raise("KorVideoInput:noProperty", "A video input has no property '" + name +
                                              "' that can be set; FramesPerTrigger, FrameGrabInterval and "
                                              "ROIPosition can.");
    raiseReadOnlyWhileRunning(video, name);
    if (name == "ROIPosition") {
        double roi[4] = {NAN, NAN, NAN, NAN};
        if (!readNumbers(value, 4, roi))
            raise("KorVideoInput:badROI",
                  "ROIPosition must be one row of four real numbers, [x y width height] (a " +
                      std::to_string(mxGetM(value)) + "x" + std::to_string(mxGetN(value)) + " " +
                      mxGetClassName(value) + " was given).");
        if (!regionFits(roi, video.width, video.height))
            raise("KorVideoInput:badROI",
                  "ROIPosition must be [x y width height] in whole pixels, lying inside the " +
                      std::to_string(video.width) + "x" + std::to_string(video.height) +
                      " image: x and y from 0, width and height from 1, x + width at most " +
                      std::to_string(video.width) + " and y + height at most " + std::to_string(video.height) +
                      ".");
        video.roi = {static_cast<std::int32_t>(roi[0]), static_cast<std::int32_t>(roi[1]),
                     static_cast<std::int32_t>(roi[2]), static_cast<std::int32_t>(roi[3])};
        return;
    }
    double number = 0;
    if (!readScalar(value, number) || !positiveWhole(number, kMaxUint32))
        raise("KorVideoInput:badValue", name + " must be a positive whole number (at most 4294967295), e.g. vid." +
                                            name + " = 5.");
    const auto count = static_cast<std::uint32_t>(number);
    (name == "FramesPerTrigger" ? video.plan.framesPerTrigger : video.plan.frameGrabInterval) = count;
}

void start(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    if (running(video))
        raise("KorVideoInput:alreadyRunning",
              "The video input is running already. Wait for it with wait(vid), or stop it with stop(vid), "
              "before starting again.");
    if (Failure failure = video.log->takeFailure()) raise(failure);
    ensureOpen(video);
    if (Failure failure = video.log->takeFailure()) raise(failure);
    applyRoi(video);
    video.startWall = std::chrono::system_clock::now();
    video.startStamp = imaqkit::getCurrentTime();
    video.log->begin(video.startStamp, video.plan);
    if (!video.input->start(video.plan)) {
        video.log->refuseFrames();
        raise("KorVideoInput:startFailed", "The acquisition could not be started; delete the object, "
                                           "create it again and start again.");
    }
}

void stop(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    video.input->stop();
    video.log->refuseFrames();
}

double secondsArgument(int nrhs, const mxArray* prhs[], int index, double fallback, const char* what) {
    if (index >= nrhs) return fallback;
    double seconds = 0;
    if (!readScalar(prhs[index], seconds) || !(seconds >= 0))
        raise("KorVideoInput:badValue", std::string(what) + " must be a number of seconds, 0 or more" +
                                            (fallback == kDefaultWaitSeconds ? " (Inf: no limit)." : "."));
    return seconds;
}

std::chrono::steady_clock::duration secondsAsDuration(double seconds) {
    constexpr double kDay = 86400;  // further than any wait reaches
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(seconds, kDay)));
}

// One slice of a wait until the object stops: true once it has, false when
// the slice ran out first. `elapsed` seconds of the wait went by before this
// slice. Waits return to the caller at least this often, so that an
// interrupt (Ctrl-C) reaches the M code that loops over them.
constexpr std::chrono::milliseconds kWaitSlice{400};

bool awaitStop(Video& video, double seconds, double elapsed) {
    const auto now = std::chrono::steady_clock::now();
    const auto deadline = now + secondsAsDuration(std::max(0.0, seconds - elapsed));
    const auto sliceEnd = std::min(deadline, now + std::chrono::steady_clock::duration(kWaitSlice));
    for (;;) {
        const std::uint64_t seen = video.log->version();
        if (!running(video)) break;
        const auto current = std::chrono::steady_clock::now();
        if (current >= deadline)
            raise("KorVideoInput:timeout", "The video input was still running after " + number(seconds) +
                                               " s. Wait longer with wait(vid, seconds), or stop it with stop(vid).");
        if (current >= sliceEnd) return false;
        video.log->waitForChange(
            seen, std::chrono::ceil<std::chrono::milliseconds>(std::min<std::chrono::steady_clock::duration>(
                      sliceEnd - current, kPollSlice)));
    }
    if (Failure failure = video.log->takeFailure()) raise(failure);
    return true;
}

// done = korvideoinput('waitslice', h, elapsed[, seconds]): one slice of
// wait, `elapsed` seconds into it; whether the object stopped.
void waitslice(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const double elapsed = secondsArgument(nrhs, prhs, 2, 0, "The time waited");
    const double seconds = secondsArgument(nrhs, prhs, 3, kDefaultWaitSeconds, "The time to wait");
    plhs[0] = mxCreateLogicalScalar(awaitStop(video, seconds, elapsed));
}

// Until the object stops (KorVideoInput.m waits through waitslice instead).
void wait(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const double seconds = secondsArgument(nrhs, prhs, 2, kDefaultWaitSeconds, "The time to wait");
    const auto begun = std::chrono::steady_clock::now();
    while (!awaitStop(video, seconds,
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count())) {
    }
}

// Where a wait for frames stands between its slices.
struct FrameWait {
    std::uint64_t available;                          // frames available when last seen
    std::chrono::steady_clock::time_point progress;  // when that count last changed
};

constexpr std::chrono::seconds kNoProgressLimit{10};

// One slice of getdata's wait for `wanted` frames: true once they are
// there, false when the slice ran out first. Raises the error that ended
// the acquisition, notEnoughFrames as soon as the run cannot give that many
// (those available and those still to come), and timeout after 10 s
// without a new frame.
bool awaitFrames(Video& video, std::uint64_t wanted, FrameWait& state) {
    const auto sliceEnd = std::chrono::steady_clock::now() + kWaitSlice;
    for (;;) {
        const std::uint64_t seen = video.log->version();
        const bool stillRunning = running(video);
        if (Failure failure = video.log->takeFailure()) raise(failure);
        const std::uint64_t available = video.log->framesAvailable();
        if (available >= wanted) return true;
        const std::uint64_t toCome = stillRunning ? video.log->framesToCome() : 0;
        if (wanted - available > toCome) {
            if (!stillRunning)
                raise("KorVideoInput:notEnoughFrames",
                      "Only " + std::to_string(available) + " frames are available and the video input is not "
                      "running. Ask for at most " + std::to_string(available) +
                          " frames (getdata(vid, vid.FramesAvailable)), or start it again.");
            raise("KorVideoInput:notEnoughFrames",
                  "Only " + std::to_string(available) + " frames are available and " + std::to_string(toCome) +
                      " more will come before the acquisition ends, fewer than the " + std::to_string(wanted) +
                      " asked for. Ask for at most " + std::to_string(available + toCome) +
                      ", or set FramesPerTrigger higher before start.");
        }
        const auto now = std::chrono::steady_clock::now();
        if (available != state.available) {
            state.available = available;
            state.progress = now;
        } else if (now - state.progress >= kNoProgressLimit) {
            raise("KorVideoInput:timeout",
                  "No frame arrived for 10 s while getdata waited for " + std::to_string(wanted) + " frames (" +
                      std::to_string(available) + " available). Check the camera and its Exposure and "
                      "Timeout, or stop the video input with stop(vid).");
        }
        if (now >= sliceEnd) return false;
        video.log->waitForChange(seen, kPollSlice);
    }
}

std::uint64_t framesArgument(Video& video, int nrhs, const mxArray* prhs[], int index) {
    if (index >= nrhs) return video.plan.framesPerTrigger;
    double wanted = 0;
    if (!readScalar(prhs[index], wanted) || !positiveWhole(wanted, 9007199254740992.0))
        raise("KorVideoInput:badValue", "The number of frames must be a positive whole number.");
    return static_cast<std::uint64_t>(wanted);
}

// [ready, available] = korvideoinput('framesready', h, idle, seen[, n]): one
// slice of getdata's wait for n frames. `idle` is the seconds since the count
// of frames available last changed, `seen` that count as the caller last
// saw it (negative: none seen yet).
void framesready(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const double idle = secondsArgument(nrhs, prhs, 2, 0, "The time without a new frame");
    double seen = -1;
    if (nrhs < 4 || !readScalar(prhs[3], seen))
        raise("KorVideoInput:badArgument", "The number of frames seen is required.");
    const std::uint64_t wanted = framesArgument(video, nrhs, prhs, 4);
    FrameWait state{seen >= 0 && seen < 9007199254740992.0 ? static_cast<std::uint64_t>(seen)
                                                           : video.log->framesAvailable(),
                    std::chrono::steady_clock::now() - secondsAsDuration(idle)};
    plhs[0] = mxCreateLogicalScalar(awaitFrames(video, wanted, state));
    plhs[1] = scalar(static_cast<double>(state.available));
}

mxArray* metaOf(const Video& video, const std::vector<std::shared_ptr<const LoggedFrame>>& frames) {
    const char* fields[] = {"AbsTime", "FrameNumber", "RelativeFrame", "TriggerIndex"};
    mxArray* meta = mxCreateStructMatrix(frames.size(), 1, 4, fields);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const auto offset = std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(frames[k]->stamp - video.startStamp));
        const std::array<double, 6> clock = clockVector(video.startWall + offset);
        mxSetFieldByNumber(meta, k, 0, row(std::vector<double>(clock.begin(), clock.end())));
        mxSetFieldByNumber(meta, k, 1, scalar(static_cast<double>(frames[k]->frameNumber)));
        mxSetFieldByNumber(meta, k, 2, scalar(static_cast<double>(frames[k]->relativeFrame)));
        mxSetFieldByNumber(meta, k, 3, scalar(1));
    }
    return meta;
}

// [h w 3 n] uint8 array for n frames of one size, or a refusal when it
// cannot be addressed.
mxArray* createFrameArray(std::int32_t width, std::int32_t height, std::uint64_t count) {
    const std::uint64_t frameElements = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3;
    const std::uint64_t limit = std::min<std::uint64_t>(std::numeric_limits<mwSize>::max(),
                                                        std::numeric_limits<std::size_t>::max());
    if (frameElements != 0 && count > limit / frameElements)
        raise("KorVideoInput:outOfMemory",
              "So many frames do not fit in one array; ask getdata for fewer frames at a time.");
    const mwSize dims[4] = {static_cast<mwSize>(height), static_cast<mwSize>(width), 3, static_cast<mwSize>(count)};
    mxArray* array = mxCreateNumericArray(4, dims, mxUINT8_CLASS, mxREAL);
    if (array == nullptr)
        raise("KorVideoInput:outOfMemory", "There is not enough memory for these frames; ask getdata for fewer "
                                           "frames at a time.");
    return array;
}

void fillFrame(const LoggedFrame& frame, std::uint8_t* out) {
    // The adaptor's rows come bottom first, blue, green, red: the gateway's
    // fill turns them the right way up into red, green and blue pages.
    kor::pixels::fillImage8(frame.pixels.data(), static_cast<std::uint32_t>(frame.width),
                            static_cast<std::uint32_t>(frame.height), out,
                            kor::pixels::denseLayout(static_cast<std::uint32_t>(frame.width),
                                                     static_cast<std::uint32_t>(frame.height)));
}

// Waits until the frames are there (KorVideoInput.m waits first, slice by
// slice, through framesready).
void getdata(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::uint64_t wanted = framesArgument(video, nrhs, prhs, 2);
    FrameWait state{video.log->framesAvailable(), std::chrono::steady_clock::now()};
    while (!awaitFrames(video, wanted, state)) {
    }

    const std::shared_ptr<const LoggedFrame> first = video.log->oldest();
    mxArray* data = createFrameArray(first->width, first->height, wanted);
    const std::vector<std::shared_ptr<const LoggedFrame>> frames = video.log->take(wanted);
    auto* out = static_cast<std::uint8_t*>(mxGetData(data));
    const std::size_t frameElements = static_cast<std::size_t>(first->width) * first->height * 3;
    for (std::size_t k = 0; k < frames.size(); ++k) fillFrame(*frames[k], out + k * frameElements);
    plhs[0] = data;
    if (nlhs >= 2) {
        mxArray* times = mxCreateDoubleMatrix(frames.size(), 1, mxREAL);
        for (std::size_t k = 0; k < frames.size(); ++k) mxGetPr(times)[k] = frames[k]->time;
        plhs[1] = times;
    }
    if (nlhs >= 3) plhs[2] = metaOf(video, frames);
}

mxArray* frameArray(const LoggedFrame& frame) {
    mxArray* image = createFrameArray(frame.width, frame.height, 1);
    fillFrame(frame, static_cast<std::uint8_t*>(mxGetData(image)));
    const mwSize dims[3] = {static_cast<mwSize>(frame.height), static_cast<mwSize>(frame.width), 3};
    mxSetDimensions(image, dims, 3);
    return image;
}

void getsnapshot(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const char* timeoutText =
        "No frame arrived within 10 s for the snapshot. Check the camera and its Exposure and Timeout.";
    if (running(video)) {
        for (;;) {
            const std::uint64_t seen = video.log->version();
            if (auto newest = video.log->newest()) {
                plhs[0] = frameArray(*newest);
                return;
            }
            if (!running(video)) break;  // ended without a frame: take one as when idle
            if (std::chrono::steady_clock::now() >= deadline) raise("KorVideoInput:timeout", timeoutText);
            video.log->waitForChange(seen, kPollSlice);
        }
        if (auto newest = video.log->newest()) {
            plhs[0] = frameArray(*newest);
            return;
        }
    }
    video.log->beginSnapshot();
    try {
        ensureOpen(video);
    } catch (const Raised&) {
        video.log->refuseFrames();
        throw;
    }
    applyRoi(video);
    video.input->start(korimaq::AcquisitionPlan{1, 1});
    std::shared_ptr<const LoggedFrame> frame;
    Failure failure;
    for (;;) {
        const std::uint64_t seen = video.log->version();
        frame = video.log->snapshot();
        failure = video.log->snapshotFailure();
        if (frame || failure || std::chrono::steady_clock::now() >= deadline) break;
        video.log->waitForChange(seen, kPollSlice);
    }
    video.input->stop();
    video.log->refuseFrames();
    // Switching fast frames off comes after the frame: its failure is seen
    // only now, and closing the camera (settle) puts the camera right.
    failure = video.log->snapshotFailure();
    settle(video);
    if (frame) {
        if (failure) warnLater(failure.identifier, failure.message);
        plhs[0] = frameArray(*frame);
        return;
    }
    if (failure) raise(failure);
    raise("KorVideoInput:timeout", timeoutText);
}

// The engine's refusal of a device property value, as the user sees it.
[[noreturn]] void raiseRefusal(const korimaq::Status& status) {
    const char* identifier = "KorVideoInput:badValue";
    switch (status.code) {
        case korimaq::Status::NO_PROPERTY:
        case korimaq::Status::NOT_SETTABLE:
            identifier = "KorVideoInput:noProperty";
            break;
        case korimaq::Status::READ_ONLY_WHILE_RUNNING:
            identifier = "KorVideoInput:readOnlyWhileRunning";
            break;
        case korimaq::Status::OUT_OF_RANGE:
            identifier = "KorVideoInput:outOfRange";
            break;
        default:
            break;
    }
    raise(identifier, status.message + ".");
}

const korimaq::PropertyEntry& sourceProperty(Video& video, const std::string& name) {
    const korimaq::PropertyEntry* property = nullptr;
    if (const korimaq::Status found = korimaq::findProperty(video.input->attributes(), name, &property); !found)
        raiseRefusal(found);
    return *property;
}

bool isEnum(const korimaq::PropertyEntry& property) { return property.kind == imaqkit::IPropInfo::KIND_ENUM; }

// A MATLAB value as the engine's property check takes it.
korimaq::PropertyValue propertyValue(const mxArray* value, const std::string& name) {
    if (isText(value)) return korimaq::PropertyValue::ofText(readText(value, "KorVideoInput:badValue", name));
    double number = 0;
    if (!mxIsLogical(value) && readScalar(value, number)) return korimaq::PropertyValue::ofNumber(number);
    return korimaq::PropertyValue::other();
}

void sourcenames(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    std::vector<std::string> names;
    for (const auto& entry : video.input->attributes().properties) names.push_back(entry.name);
    plhs[0] = cellOfTexts(names);
}

void sourceget(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string name = argumentText(nrhs, prhs, 2, "The property name");
    const korimaq::PropertyEntry& property = sourceProperty(video, name);
    if (isEnum(property))
        plhs[0] = mxCreateString(video.input->enumText(name).c_str());
    else
        plhs[0] = scalar(video.input->doubleValue(name));
}

void sourceset(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string name = argumentText(nrhs, prhs, 2, "The property name");
    if (nrhs < 4) raise("KorVideoInput:badArgument", "A value is required.");
    settle(video);  // an acquisition that has what it asked for is stopped first
    if (const korimaq::Status set = video.input->setProperty(name, propertyValue(prhs[3], name)); !set) raiseRefusal(set);
}

void propinfo(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string name = argumentText(nrhs, prhs, 2, "The property name");
    const korimaq::PropertyEntry& property = sourceProperty(video, name);
    const char* fields[] = {"Type", "Constraint", "ConstraintValue", "DefaultValue", "ReadOnly"};
    mxArray* info = mxCreateStructMatrix(1, 1, 5, fields);
    if (isEnum(property)) {
        std::vector<std::string> texts;
        std::string defaultText;
        for (const auto& choice : property.enumValues) {
            texts.push_back(choice.first);
            if (choice.second == property.enumDefault) defaultText = choice.first;
        }
        mxSetFieldByNumber(info, 0, 0, mxCreateString("string"));
        mxSetFieldByNumber(info, 0, 1, mxCreateString("enum"));
        mxSetFieldByNumber(info, 0, 2, cellOfTexts(texts));
        mxSetFieldByNumber(info, 0, 3, mxCreateString(defaultText.c_str()));
    } else {
        mxSetFieldByNumber(info, 0, 0, mxCreateString("double"));
        mxSetFieldByNumber(info, 0, 1, mxCreateString(property.hasRange ? "bounded" : "none"));
        mxSetFieldByNumber(info, 0, 2,
                           property.hasRange ? row({property.minimum, property.maximum}) : mxCreateDoubleMatrix(0, 0, mxREAL));
        mxSetFieldByNumber(info, 0, 3, scalar(property.defaultValue));
    }
    mxSetFieldByNumber(info, 0, 4, mxCreateString(property.readOnly.c_str()));
    plhs[0] = info;
}

void memorylimit(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nrhs >= 2) {
        double bytes = 0;
        if (!readScalar(prhs[1], bytes) || !(bytes >= 1) || !(bytes < 1.8e19))
            raise("KorVideoInput:badValue", "The memory limit must be a number of bytes, at least 1, e.g. "
                                            "KorVideoInput.memoryLimit(512 * 2^20) for 512 MiB.");
        budget().setLimit(static_cast<std::uint64_t>(bytes));
    }
    plhs[0] = scalar(static_cast<double>(budget().limit()));
}

void diagnostics(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    settle(video);
    const char* fields[] = {"LateFrames", "EngineProblems", "Open", "MemoryUsed", "ClosedAfter", "Reopened"};
    mxArray* result = mxCreateStructMatrix(1, 1, 6, fields);
    mxSetFieldByNumber(result, 0, 0, scalar(static_cast<double>(video.input->lateFrames())));
    mxSetFieldByNumber(result, 0, 1, cellOfTexts(video.input->violations()));
    mxSetFieldByNumber(result, 0, 2, mxCreateLogicalScalar(video.input->isOpen()));
    mxSetFieldByNumber(result, 0, 3, scalar(static_cast<double>(budget().used())));
    mxSetFieldByNumber(result, 0, 4, mxCreateString(video.closedAfter.c_str()));
    mxSetFieldByNumber(result, 0, 5, scalar(static_cast<double>(video.reopened)));
    plhs[0] = result;
}

void objects(int, mxArray* plhs[], int, const mxArray*[]) { plhs[0] = scalar(static_cast<double>(videos().size())); }

struct Command {
    const char* name;
    Handler handler;
};

constexpr Command kCommands[] = {
    {"hwinfo", hwinfo},         {"create", create},         {"delete", destroy},
    {"get", get},               {"set", set},               {"start", start},
    {"stop", stop},             {"wait", wait},             {"getdata", getdata},
    {"waitslice", waitslice},   {"framesready", framesready},
    {"getsnapshot", getsnapshot}, {"sourcenames", sourcenames}, {"sourceget", sourceget},
    {"sourceset", sourceset},   {"propinfo", propinfo},     {"memorylimit", memorylimit},
    {"diagnostics", diagnostics}, {"objects", objects},
};

void run(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nrhs < 1 || !mxIsChar(prhs[0]))
        raise("KorVideoInput:badArgument", "korvideoinput serves KorVideoInput; use that class (help KorVideoInput).");
    const std::string name = readText(prhs[0], "KorVideoInput:badArgument", "The command");
    for (const Command& command : kCommands) {
        if (name == command.name) {
            command.handler(nlhs, plhs, nrhs, prhs);
            return;
        }
    }
    raise("KorVideoInput:badArgument", "korvideoinput has no command '" + name + "'; use KorVideoInput.");
}

// Whether the user turned warnings of this identifier into errors.
bool warningIsError(const std::string& identifier) {
    if (identifier.empty()) return false;
    mxArray* args[] = {mxCreateString("query"), mxCreateString(identifier.c_str())};
    mxArray* state = nullptr;
    const bool asked = mexCallMATLAB(1, &state, 2, args, "warning") == 0 && state != nullptr;
    for (mxArray* arg : args) mxDestroyArray(arg);
    bool isError = false;
    if (asked && mxIsStruct(state)) {
        const mxArray* field = mxGetField(state, 0, "state");
        if (isText(field)) {
            char* text = mxArrayToString(field);
            isError = text != nullptr && std::strcmp(text, "error") == 0;
            mxFree(text);
        }
    }
    if (state != nullptr) mxDestroyArray(state);
    return isError;
}

// Through the host's own warning function rather than the MEX one, which
// would put the MEX file's name in front of the adaptor's text. A warning
// the user made an error is raised as this command's error (the host's
// warning function would end the MEX file without a word to it).
void showWarnings() {
    for (const imaqkit::host::Report& warning : takeWarnings()) {
        if (warningIsError(warning.identifier)) {
            takeWarnings();
            raise(warning.identifier, warning.message);
        }
        mxArray* args[] = {mxCreateString(warning.identifier.c_str()), mxCreateString("%s"),
                           mxCreateString(warning.message.c_str())};
        mexCallMATLAB(0, nullptr, 3, args, "warning");
        for (mxArray* arg : args) mxDestroyArray(arg);
    }
}

}  // namespace
}  // namespace korvid

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    using namespace korvid;
    if (!registered) {
        mexAtExit(unloadAll);
        registered = true;
    }
    // Texts outlive the handlers' objects: the error ends the call.
    static char identifier[128];
    static char message[2048];
    bool failed = false;
    try {
        run(nlhs, plhs, nrhs, prhs);
    } catch (const Raised& raised) {
        std::snprintf(identifier, sizeof identifier, "%s", raised.identifier.c_str());
        std::snprintf(message, sizeof message, "%s", raised.message.c_str());
        failed = true;
    } catch (const std::bad_alloc&) {
        std::snprintf(identifier, sizeof identifier, "KorVideoInput:outOfMemory");
        std::snprintf(message, sizeof message, "There is not enough memory; take frames with getdata or delete "
                                               "video inputs you no longer need.");
        failed = true;
    } catch (const std::exception& error) {
        std::snprintf(identifier, sizeof identifier, "KorVideoInput:internal");
        std::snprintf(message, sizeof message, "korvideoinput failed: %s", error.what());
        failed = true;
    }
    try {
        showWarnings();
    } catch (const Raised& raised) {
        // The command's own error, if it had one, says more.
        if (!failed) {
            std::snprintf(identifier, sizeof identifier, "%s", raised.identifier.c_str());
            std::snprintf(message, sizeof message, "%s", raised.message.c_str());
            failed = true;
        }
    }
    if (failed) mexErrMsgIdAndTxt(identifier, "%s", message);
}
