// A video input object of korvideoinput: its engine input, frame log and
// settings, the objects of the session, the adaptor library they share, and
// the adaptor's reports (errors to the log of the object whose adaptor
// reported them, warnings shown at the end of the command).
#pragma once

#include "frame_log.h"
#include "imaqkit_host.h"
#include "korimaq_engine.h"
#include "mex.h"
#include "recording.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvid {

constexpr std::chrono::milliseconds kPollSlice{100};
// Waits return to the caller at least this often, so that an interrupt
// (Ctrl-C) reaches the M code that loops over them.
constexpr std::chrono::milliseconds kWaitSlice{400};
constexpr double kDefaultTimeoutSeconds = 10;

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

// Reached from adaptor threads until the report sink is removed.
Reports& reports();
// A warning of korvideoinput itself, shown with the adaptor's at the end of the command.
void warnLater(const std::string& identifier, const std::string& message);
std::vector<imaqkit::host::Report> takeWarnings();
// Warnings wait for the end of the command; `earlier` go back in front of those that came since.
void putWarningsBack(std::vector<imaqkit::host::Report> earlier);
// Shows the pending warnings through the host; one the user made an error is raised.
void showWarnings();

MemoryBudget& budget();
// Loaded at the first command that needs it.
korimaq::AdaptorLibrary& library();
// Every object, the library and the pending warnings go (the MEX file is cleared).
void unloadAll();

struct Video {
    std::shared_ptr<FrameLog> log;  // outlives the input, whose adaptor reports into it
    std::unique_ptr<korimaq::VideoInput> input;
    const imaqkit::IAdaptor* adaptor = nullptr;
    std::uint64_t handle = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    korimaq::AcquisitionPlan plan{10, 1};
    ColourSpace colours = ColourSpace::RGB;
    // How long getdata waits without a new frame, and wait's default time.
    double timeout = kDefaultTimeoutSeconds;
    Region roi{0, 0, 0, 0};
    std::chrono::system_clock::time_point startWall{};
    double startStamp = 0;
    // The adaptor's error after which the object closed its camera (it may
    // have gone away and come back with new handles), and how often it
    // opened the camera again since.
    std::string closedAfter;
    bool closedForError = false;
    std::uint64_t reopened = 0;
    std::string deviceName;
    // Where frames go, and the file of the disk log.
    LoggingMode mode = LoggingMode::memory;
    std::string diskLogger;
    Compression compression = Compression::none;
    std::unique_ptr<Recording> recording;  // the file of the last start that logged to disk

    ~Video();  // stops, forgets the adaptor's reports, closes, then finishes the file
};

std::map<std::uint64_t, std::unique_ptr<Video>>& videos();
std::uint64_t nextHandle();
// The object whose handle is argument 1, or KorVideoInput:deleted.
Video& videoOf(int nrhs, const mxArray* prhs[]);
std::string describe(const Video& video);

// Running state.
void settle(Video& video);
// The error that ended the acquisition, raised once: the adaptor's or the
// log's, or the disk log's once its file is done (waiting for that when the
// disk log's refusal ended the acquisition).
Failure takeFailure(Video& video);
// The file of the last start is done: closed and complete.
bool recordingDone(const Video& video);
bool running(Video& video);
// A trigger fired and its frames are still being logged.
bool logging(Video& video);
void raiseReadOnlyWhileRunning(Video& video, const std::string& name);
const std::vector<korimaq::DeviceEntry>& catalogue();
void claimCamera(std::int32_t deviceId, const Video* claimant);
void ensureOpen(Video& video);
void applyRoi(Video& video);

// The disk log (disk_commands.cpp). A mode that logs to disk needs a file
// (KorVideoInput:noDiskLogger).
void requireDiskLogger(const Video& video);
// The last start's file done and its failure raised, if it had one; then it goes.
void finishRecording(Video& video);
// Where this start's frames go: the last file finished, this one created
// (raising KorVideoInput:fileExists or cannotCreateFile).
Keeping beginRecording(Video& video, const std::string& name, const std::string& tag);
// KorVideoInput:exceedsMemoryLimit, when the acquisition asks for more
// frames than the memory limit holds.
void warnIfBeyondMemory(const Video& video);
// The tests' slow or failing disk is gone (korvideoinput is cleared).
void resetDiskFaults();

}  // namespace korvid
