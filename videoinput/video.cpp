#include "video.h"

#include "arguments.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace korvid {

constexpr std::size_t kMaxPendingWarnings = 100;

Reports& reports() {
    static Reports* instance = new Reports();  // reached from adaptor threads until the sink is removed
    return *instance;
}

// What an error of the adaptor's acquisition thread most likely means, in
// this object's words, after the adaptor's own text: the camera refusing a
// call it answered a moment before. Switching fast frames off comes after
// the frames, and the camera is closed and opened afresh after it anyway.
std::string acquisitionAdvice(const imaqkit::host::Report& report) {
    if (report.identifier != "KorvixAdaptor:acquisitionThread" || report.message == "Cannot disable fast frames.")
        return std::string();
    return "\nKorVideoInput: the camera most likely stopped answering (unplugged or powered off). Check its "
           "cable and power, then start(vid) again: the camera is opened afresh. The frames logged before "
           "stay available to getdata.";
}

void onReport(const imaqkit::host::Report& report, void*) {
    Reports& all = reports();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (report.kind == imaqkit::host::Report::WARNING) {
        if (all.warnings.size() < kMaxPendingWarnings) all.warnings.push_back(report);
        return;
    }
    const auto found = all.inputs.find(report.adaptor);
    if (found == all.inputs.end()) return;
    found->second.log->fail({report.identifier, report.message + acquisitionAdvice(report)});
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
    if (const char* chosen = std::getenv("KORVIDEOINPUT_ADAPTOR"); chosen != nullptr && *chosen != '\0') return chosen;
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
                1000000) *
                   1000 +
               1;
    }();
    return next++;
}

void unloadAll() {
    videos().clear();
    imaqkit::host::setReportSink(nullptr, nullptr);
    libraryRef().reset();
    takeWarnings();
    resetDiskFaults();
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
    if (video.input->isAcquiring()) return;
    video.log->markStopped(video.input->framesAcquired());
    if (video.recording) video.recording->logger().endInput();
    if (!video.input->isOpen()) return;
    if (const std::optional<imaqkit::host::Report> error = video.input->adaptorError()) {
        video.input->close();
        video.closedAfter = error->identifier + ": " + error->message;
        video.closedForError = true;
    }
}

Failure takeFailure(Video& video) {
    Failure failure = video.log->takeFailure();
    if (!video.recording || (failure && !isDiskFailure(failure))) return failure;
    // The disk log's refusal ended the acquisition: its figures are final once
    // the frames queued before it are written.
    if (failure) video.recording->logger().finish();
    if (Failure disk = video.recording->takeFailure(video.log->framesAcquired())) return disk;
    return failure;
}

bool recordingDone(const Video& video) { return !video.recording || video.recording->logger().done(); }

bool running(Video& video) {
    settle(video);
    return video.input->isAcquiring();
}

bool logging(Video& video) {
    settle(video);
    if (video.input->isLogging()) return true;
    // The engine waits for the next trigger as soon as it has chosen the
    // last frame of this one; that frame reaches the log a moment later.
    const std::uint64_t perTrigger = video.plan.framesPerTrigger;
    if (perTrigger == 0 || !video.input->isAcquiring() || video.log->hasFailure()) return false;
    return video.log->framesAcquired() / perTrigger < video.input->triggersFired();
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
        if (&other != claimant && other.input->deviceId() == deviceId && other.input->isOpen()) other.input->close();
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

// Whether the user turned warnings of this identifier into errors.
bool warningIsError(const std::string& identifier) {
    if (identifier.empty()) return false;
    const mexentry::OwnedArray query(mxCreateString("query")), id(mxCreateString(identifier.c_str()));
    mxArray* args[] = {query.get(), id.get()};
    mxArray* answer = nullptr;
    const bool asked = mexCallMATLAB(1, &answer, 2, args, "warning") == 0;
    const mexentry::OwnedArray state(asked ? answer : nullptr);
    bool isError = false;
    if (state && mxIsStruct(state.get())) {
        const mxArray* field = mxGetField(state.get(), 0, "state");
        if (isText(field)) {
            char* text = mxArrayToString(field);
            isError = text != nullptr && std::strcmp(text, "error") == 0;
            mxFree(text);
        }
    }
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
        const mexentry::OwnedArray id(mxCreateString(warning.identifier.c_str())), format(mxCreateString("%s")),
            text(mxCreateString(warning.message.c_str()));
        mxArray* args[] = {id.get(), format.get(), text.get()};
        mexCallMATLAB(0, nullptr, 3, args, "warning");
    }
}

Video::~Video() {
    if (input) {
        input->stop();
        log->refuseFrames();
    }
    {
        std::lock_guard<std::mutex> lock(reports().mutex);
        reports().inputs.erase(adaptor);
    }
    input.reset();  // the adaptor closes the device and ends its thread
    if (recording) {
        log->detachTap();
        recording.reset();  // writes the frames queued and closes the file
    }
}

}  // namespace korvid
