// The commands that take frames from an object's log: framesready,
// getdata and getsnapshot, with their waits.
#include "arguments.h"
#include "commands.h"
#include "frame_arrays.h"
#include "video.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace korvid {
namespace {

// Where a wait for frames stands between its slices.
struct FrameWait {
    std::uint64_t available;                         // frames available when last seen
    std::chrono::steady_clock::time_point progress;  // when that count last changed
};

// One slice of getdata's wait for `wanted` frames: true once they are
// there, false when the slice ran out first. Raises the error that ended
// the acquisition, notEnoughFrames as soon as the run cannot give that many
// (those available and those still to come), and timeout after the object's
// Timeout without a new frame.
bool awaitFrames(Video& video, std::uint64_t wanted, FrameWait& state) {
    const auto sliceEnd = std::chrono::steady_clock::now() + kWaitSlice;
    for (;;) {
        const std::uint64_t seen = video.log->version();
        const bool stillRunning = running(video);
        if (Failure failure = takeFailure(video)) raise(failure);
        const FrameLog::Outlook outlook = video.log->outlook();
        const std::uint64_t available = outlook.available;
        if (available >= wanted) return true;
        const std::uint64_t toCome = stillRunning ? outlook.toCome : 0;
        if (wanted - available > toCome) {
            if (!stillRunning && available == 0)
                raise("KorVideoInput:notEnoughFrames",
                      "No frames are available and the video input is not running. Start it with start(vid), "
                      "then call getdata(vid): it waits for the frames.");
            if (!stillRunning)
                raise("KorVideoInput:notEnoughFrames",
                      "Only " + std::to_string(available) +
                          " frames are available and the video input is not running. Ask for at most " +
                          std::to_string(available) +
                          " frames (getdata(vid, vid.FramesAvailable)), or start it again.");
            raise("KorVideoInput:notEnoughFrames",
                  "Only " + std::to_string(available) + " frames are available and " + std::to_string(toCome) +
                      " more will come before the acquisition ends, fewer than the " + std::to_string(wanted) +
                      " asked for. Ask for at most " + std::to_string(available + toCome) +
                      ", or set FramesPerTrigger or TriggerRepeat higher before start.");
        }
        const auto now = std::chrono::steady_clock::now();
        if (available != state.available) {
            state.available = available;
            state.progress = now;
        } else if (now - state.progress >= secondsAsDuration(video.timeout)) {
            const bool waitsForTrigger = video.input->state() == korimaq::VideoInput::State::WAITING;
            raise("KorVideoInput:timeout",
                  "No frame arrived for " + number(video.timeout) + " s (vid.Timeout) while getdata waited for " +
                      std::to_string(wanted) + " frames (" + std::to_string(available) + " available). " +
                      (waitsForTrigger ? "The video input is waiting for a trigger: call trigger(vid) first."
                                       : "Raise vid.Timeout for a slow camera, check the camera and its "
                                         "Exposure, or stop the video input with stop(vid)."));
        }
        if (now >= sliceEnd) return false;
        video.log->waitForChange(seen, kPollSlice);
    }
}

// getdata and peekdata read the log in memory, which LoggingMode 'disk' does not keep.
void requireMemoryLog(const Video& video) {
    if (video.mode == LoggingMode::disk)
        raise("KorVideoInput:notLoggingToMemory",
              "LoggingMode is 'disk': frames go to the file " + video.diskLogger +
                  " and none stay in memory. Read them with KorVideoInput.readLog(file) once wait(vid) returns, "
                  "or set vid.LoggingMode = 'disk&memory' before start to have both.");
}

std::uint64_t framesArgument(Video& video, int nrhs, const mxArray* prhs[], int index) {
    // Without an end to the frames per trigger: those available, or the next one.
    if (index >= nrhs)
        return video.plan.framesPerTrigger != 0 ? video.plan.framesPerTrigger
                                                : std::max<std::uint64_t>(1, video.log->framesAvailable());
    double wanted = 0;
    if (!readScalar(prhs[index], wanted) || !positiveWhole(wanted, 9007199254740992.0))
        raise("KorVideoInput:badValue", "The number of frames must be a positive whole number.");
    return static_cast<std::uint64_t>(wanted);
}

// The frames as getdata and peekdata return them: images into `data`,
// then times and metadata as the caller asks for them.
void returnFrames(const Video& video, const std::vector<std::shared_ptr<const LoggedFrame>>& frames, mxArray* data,
                  int nlhs, mxArray* plhs[]) {
    auto* out = static_cast<std::uint8_t*>(mxGetData(data));
    for (std::size_t k = 0; k < frames.size(); ++k) fillFrame(*frames[k], out + k * frameElements(*frames[k]));
    plhs[0] = data;
    if (nlhs >= 2) {
        mxArray* times = mxCreateDoubleMatrix(frames.size(), 1, mxREAL);
        for (std::size_t k = 0; k < frames.size(); ++k) mxGetPr(times)[k] = frames[k]->time;
        plhs[1] = times;
    }
    if (nlhs >= 3) plhs[2] = metaOf(video, frames);
}

// [ready, available] = korvideoinput('framesready', h, idle, seen[, n]): one
// slice of getdata's wait for n frames. `idle` is the seconds since the count
// of frames available last changed, `seen` that count as the caller last
// saw it (negative: none seen yet).
}  // namespace

void framesready(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    requireMemoryLog(video);
    const double idle = secondsArgument(nrhs, prhs, 2, 0, "The time without a new frame");
    double seen = -1;
    if (nrhs < 4 || !readScalar(prhs[3], seen))
        raise("KorVideoInput:badArgument", "The number of frames seen is required.");
    const std::uint64_t wanted = framesArgument(video, nrhs, prhs, 4);
    FrameWait state{
        seen >= 0 && seen < 9007199254740992.0 ? static_cast<std::uint64_t>(seen) : video.log->framesAvailable(),
        std::chrono::steady_clock::now() - secondsAsDuration(idle)};
    plhs[0] = mxCreateLogicalScalar(awaitFrames(video, wanted, state));
    // The host holds room for as many outputs as asked for, and for one when none are.
    if (nlhs >= 2) plhs[1] = scalar(static_cast<double>(state.available));
}

// Waits until the frames are there (KorVideoInput.m waits first, slice by
// slice, through framesready).
void getdata(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    requireMemoryLog(video);
    const std::uint64_t wanted = framesArgument(video, nrhs, prhs, 2);
    FrameWait state{video.log->framesAvailable(), std::chrono::steady_clock::now()};
    while (!awaitFrames(video, wanted, state)) {}

    const std::shared_ptr<const LoggedFrame> first = video.log->oldest();
    mxArray* data = createFrameArray(first->width, first->height, first->bands, wanted);
    returnFrames(video, video.log->take(wanted), data, nlhs, plhs);
}

// [data, time, meta] = korvideoinput('peekdata', h, n): the n newest frames
// held, oldest first, left in the log; fewer, with a warning, when fewer are.
void peekdata(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    if (nrhs < 3) raise("KorVideoInput:badArgument", "peekdata needs the number of frames, e.g. peekdata(vid, 1).");
    requireMemoryLog(video);
    const std::uint64_t wanted = framesArgument(video, nrhs, prhs, 2);
    settle(video);
    if (Failure failure = takeFailure(video)) raise(failure);
    const std::vector<std::shared_ptr<const LoggedFrame>> frames = video.log->peek(wanted);
    if (frames.size() < wanted)
        warnLater("KorVideoInput:peekdataFewer", "peekdata returns " + std::to_string(frames.size()) +
                                                     " frames: no more are logged than that. " +
                                                     "Ask for at most vid.FramesAvailable frames.");
    mxArray* data =
        frames.empty()
            ? createFrameArray(video.roi.width, video.roi.height, video.colours == ColourSpace::GREY ? 1 : 3, 0)
            : createFrameArray(frames.front()->width, frames.front()->height, frames.front()->bands, frames.size());
    returnFrames(video, frames, data, nlhs, plhs);
}

// flushdata(vid) or flushdata(vid, 'triggers').
void flushdata(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string mode = nrhs >= 3 ? argumentText(nrhs, prhs, 2, "The flush mode") : std::string("all");
    if (mode == "all")
        video.log->flush();
    else if (mode == "triggers")
        video.log->flushOldestTrigger();
    else
        raise("KorVideoInput:badValue",
              "flushdata removes every frame (flushdata(vid)) or those of the oldest trigger held "
              "(flushdata(vid, 'triggers')).");
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
            // Frames taken while waiting for a trigger are not delivered: none can come.
            if (video.input->state() == korimaq::VideoInput::State::WAITING)
                raise("KorVideoInput:noFrame",
                      "The video input waits for a manual trigger and has logged no frame yet, so there is no "
                      "frame to return. Call trigger(vid) first, or stop(vid) to take a snapshot of its own.");
            if (std::chrono::steady_clock::now() >= deadline) raise("KorVideoInput:timeout", timeoutText);
            video.log->waitForChange(seen, kPollSlice);
        }
        if (auto newest = video.log->newest()) {
            plhs[0] = frameArray(*newest);
            return;
        }
    }
    video.log->beginSnapshot(video.colours);
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

}  // namespace korvid
