// The commands on a video input object and its properties: the catalogue,
// creating and deleting objects, their own properties, start, stop and wait,
// and the camera's device properties through the engine's one check.
#include "arguments.h"
#include "commands.h"
#include "video.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <optional>

namespace korvid {

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

void create(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    double id = 0;
    if (nrhs < 2 || !readScalar(prhs[1], id))
        raise("KorVideoInput:noDevice",
              "The camera must be given by its DeviceID, a number that "
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
            raise("KorVideoInput:badFormat",
                  "Camera " + number(id) + " has no default format; give one of its formats: " + accepted + ".");
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
        raise("KorVideoInput:createFailed", "The adaptor made no video input for camera " + number(id) + " (" + error +
                                                "); check that the camera is attached and try again.");
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
    video->deviceName = device->name;
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

namespace {

// A count that may be endless: Inf for the engine's "no end".
mxArray* countOrInf(std::uint64_t count, std::uint64_t endless) {
    return scalar(count == endless ? INFINITY : static_cast<double>(count));
}

mxArray* clockRow(std::chrono::system_clock::time_point moment) {
    const std::array<double, 6> clock = clockVector(moment);
    return row(std::vector<double>(clock.begin(), clock.end()));
}

mxArray* eventLog(const Video& video) {
    const std::vector<LogEvent> events = video.log->events();
    const char* fields[] = {"Type", "Data"};
    mxArray* result = mxCreateStructMatrix(events.size(), 1, 2, fields);
    const char* types[] = {"Start", "Trigger", "Stop", "Error"};
    for (std::size_t k = 0; k < events.size(); ++k) {
        const LogEvent& event = events[k];
        const bool error = event.type == LogEvent::ERROR;
        const char* dataFields[] = {"AbsTime", "FrameNumber", "RelativeFrame", "TriggerIndex", "Message", "MessageID"};
        mxArray* data = mxCreateStructMatrix(1, 1, error ? 6 : 4, dataFields);
        mxSetFieldByNumber(data, 0, 0, clockRow(event.when));
        mxSetFieldByNumber(data, 0, 1, scalar(static_cast<double>(event.frameNumber)));
        mxSetFieldByNumber(data, 0, 2, scalar(static_cast<double>(event.relativeFrame)));
        mxSetFieldByNumber(data, 0, 3, scalar(static_cast<double>(event.triggerIndex)));
        if (error) {
            mxSetFieldByNumber(data, 0, 4, mxCreateString(event.message.c_str()));
            mxSetFieldByNumber(data, 0, 5, mxCreateString(event.messageId.c_str()));
        }
        mxSetFieldByNumber(result, k, 0, mxCreateString(types[event.type]));
        mxSetFieldByNumber(result, k, 1, data);
    }
    return result;
}

// The names `get` answers, in the order a user reads them.
const char* const kGettable[] = {
    "DeviceID",
    "VideoFormat",
    "VideoResolution",
    "SourceName",
    "Running",
    "Logging",
    "FramesAcquired",
    "FramesAvailable",
    "FramesPerTrigger",
    "FrameGrabInterval",
    "ROIPosition",
    "TriggerType",
    "TriggerRepeat",
    "TriggerFrameDelay",
    "TriggersExecuted",
    "InitialTriggerTime",
    "Timeout",
    "ReturnedColorSpace",
    "EventLog",
    "LoggingMode",
    "DiskLogger",
    "DiskLoggerCompression",
    "DiskLoggerFrameCount",
};

const char* modeName(LoggingMode mode) {
    switch (mode) {
        case LoggingMode::disk: return "disk";
        case LoggingMode::both: return "disk&memory";
        case LoggingMode::memory: break;
    }
    return "memory";
}

std::string namesOf(const char* const* names, std::size_t count) {
    std::string text;
    for (std::size_t k = 0; k < count; ++k) text += std::string(k == 0 ? "" : ", ") + names[k];
    return text;
}

}  // namespace

void get(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string name = argumentText(nrhs, prhs, 2, "The property name");
    const korimaq::AcquisitionPlan& plan = video.plan;
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
    } else if (name == "Logging") {
        plhs[0] = mxCreateLogicalScalar(logging(video));
    } else if (name == "FramesPerTrigger") {
        plhs[0] = countOrInf(plan.framesPerTrigger, 0);
    } else if (name == "FrameGrabInterval") {
        plhs[0] = scalar(static_cast<double>(plan.frameGrabInterval));
    } else if (name == "TriggerType") {
        plhs[0] = mxCreateString(plan.manualTrigger ? "manual" : "immediate");
    } else if (name == "TriggerRepeat") {
        plhs[0] = countOrInf(plan.triggerRepeat, korimaq::AcquisitionPlan::kEndless);
    } else if (name == "TriggerFrameDelay") {
        plhs[0] = scalar(static_cast<double>(plan.triggerFrameDelay));
    } else if (name == "TriggersExecuted") {
        plhs[0] = scalar(static_cast<double>(video.log->triggersFired()));
    } else if (name == "InitialTriggerTime") {
        std::chrono::system_clock::time_point when;
        plhs[0] = video.log->initialTrigger(when) ? clockRow(when) : mxCreateDoubleMatrix(0, 0, mxREAL);
    } else if (name == "Timeout") {
        plhs[0] = scalar(video.timeout);
    } else if (name == "ReturnedColorSpace") {
        plhs[0] = mxCreateString(video.colours == ColourSpace::GREY ? "grayscale" : "rgb");
    } else if (name == "EventLog") {
        settle(video);  // an acquisition that ended has its Stop logged
        plhs[0] = eventLog(video);
    } else if (name == "LoggingMode") {
        plhs[0] = mxCreateString(modeName(video.mode));
    } else if (name == "DiskLogger") {
        plhs[0] = mxCreateString(video.diskLogger.c_str());
    } else if (name == "DiskLoggerCompression") {
        plhs[0] = mxCreateString(video.compression == Compression::deflate ? "deflate" : "none");
    } else if (name == "DiskLoggerFrameCount") {
        plhs[0] = scalar(video.recording ? static_cast<double>(video.recording->logger().pagesWritten()) : 0.0);
    } else if (name == "ROIPosition") {
        plhs[0] = row({static_cast<double>(video.roi.x), static_cast<double>(video.roi.y),
                       static_cast<double>(video.roi.width), static_cast<double>(video.roi.height)});
    } else if (name == "SourceName") {
        const auto& sources = video.input->attributes().sources;
        plhs[0] = mxCreateString(sources.empty() ? "" : sources.front().name.c_str());
    } else {
        raise("KorVideoInput:noProperty", "A video input has no property '" + name + "'. Its properties are: " +
                                              namesOf(kGettable, std::size(kGettable)) + ".");
    }
}

namespace {

const char* const kSettable[] = {
    "FramesPerTrigger", "FrameGrabInterval",  "ROIPosition", "TriggerType", "TriggerRepeat",        "TriggerFrameDelay",
    "Timeout",          "ReturnedColorSpace", "LoggingMode", "DiskLogger",  "DiskLoggerCompression"};

// A file name ending in .tif or .tiff, in any case.
bool tiffName(const std::string& path) {
    std::string lower;
    for (const char c : path) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const auto endsWith = [&](const std::string& tail) {
        return lower.size() > tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(".tif") || endsWith(".tiff");
}

// A whole number from `least` up to kMaxUint32, or Inf when `endless` allows it.
bool readCount(const mxArray* value, double least, bool endless, double& count) {
    if (!readScalar(value, count)) return false;
    if (endless && count == INFINITY) return true;
    return std::isfinite(count) && count >= least && count <= kMaxUint32 && std::floor(count) == count;
}

std::string textValue(const mxArray* value, const std::string& name) {
    if (!isText(value)) raise("KorVideoInput:badValue", name + " takes a text value.");
    return readText(value, "KorVideoInput:badValue", name);
}

void setRoiPosition(Video& video, const mxArray* value) {
    double roi[4] = {NAN, NAN, NAN, NAN};
    if (!readNumbers(value, 4, roi))
        raise("KorVideoInput:badROI", "ROIPosition must be one row of four real numbers, [x y width height] (a " +
                                          std::to_string(mxGetM(value)) + "x" + std::to_string(mxGetN(value)) + " " +
                                          mxGetClassName(value) + " was given).");
    if (!regionFits(roi, video.width, video.height))
        raise("KorVideoInput:badROI", "ROIPosition must be [x y width height] in whole pixels, lying inside the " +
                                          std::to_string(video.width) + "x" + std::to_string(video.height) +
                                          " image: x and y from 0, width and height from 1, x + width at most " +
                                          std::to_string(video.width) + " and y + height at most " +
                                          std::to_string(video.height) + ".");
    video.roi = {static_cast<std::int32_t>(roi[0]), static_cast<std::int32_t>(roi[1]),
                 static_cast<std::int32_t>(roi[2]), static_cast<std::int32_t>(roi[3])};
}

}  // namespace

void set(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const std::string name = argumentText(nrhs, prhs, 2, "The property name");
    if (nrhs < 4) raise("KorVideoInput:badArgument", "A value is required.");
    const mxArray* value = prhs[3];
    if (std::find(std::begin(kSettable), std::end(kSettable), name) == std::end(kSettable))
        raise("KorVideoInput:noProperty", "A video input has no property '" + name + "' that can be set; these can: " +
                                              namesOf(kSettable, std::size(kSettable)) + ".");
    if (name == "Timeout") {  // governs the waits of the user's thread: settable at any time
        double seconds = 0;
        if (!readScalar(value, seconds) || !(seconds > 0) || std::isnan(seconds))
            raise("KorVideoInput:badValue", "Timeout must be a positive number of seconds, e.g. vid.Timeout = 30.");
        video.timeout = seconds;
        return;
    }
    raiseReadOnlyWhileRunning(video, name);
    korimaq::AcquisitionPlan& plan = video.plan;
    double count = 0;
    if (name == "ROIPosition") {
        setRoiPosition(video, value);
    } else if (name == "FramesPerTrigger") {
        if (!readCount(value, 1, true, count))
            raise("KorVideoInput:badValue",
                  "FramesPerTrigger must be a positive whole number (at most 4294967295) or Inf, e.g. "
                  "vid.FramesPerTrigger = 5.");
        plan.framesPerTrigger = std::isinf(count) ? 0 : static_cast<std::uint32_t>(count);
    } else if (name == "FrameGrabInterval") {
        if (!readCount(value, 1, false, count))
            raise("KorVideoInput:badValue",
                  "FrameGrabInterval must be a positive whole number (at most 4294967295), e.g. "
                  "vid.FrameGrabInterval = 5.");
        plan.frameGrabInterval = static_cast<std::uint32_t>(count);
    } else if (name == "TriggerRepeat") {
        if (!readCount(value, 0, true, count))
            raise("KorVideoInput:badValue",
                  "TriggerRepeat must be a whole number from 0 (at most 4294967295) or Inf, e.g. "
                  "vid.TriggerRepeat = Inf.");
        plan.triggerRepeat = std::isinf(count) ? korimaq::AcquisitionPlan::kEndless : static_cast<std::uint64_t>(count);
    } else if (name == "TriggerFrameDelay") {
        if (!readCount(value, 0, false, count))
            raise("KorVideoInput:badValue",
                  "TriggerFrameDelay must be a whole number from 0 (at most 4294967295), e.g. "
                  "vid.TriggerFrameDelay = 2.");
        plan.triggerFrameDelay = static_cast<std::uint32_t>(count);
    } else if (name == "TriggerType") {
        const std::string type = textValue(value, name);
        if (type != "immediate" && type != "manual")
            raise("KorVideoInput:badTrigger",
                  "The trigger type '" + type +
                      "' is not offered. The valid configurations (TriggerType, "
                      "TriggerCondition, TriggerSource) are: 'immediate', 'none', 'none' and 'manual', 'none', "
                      "'none'; e.g. triggerconfig(vid, 'manual').");
        plan.manualTrigger = type == "manual";
    } else if (name == "ReturnedColorSpace") {
        const std::string space = textValue(value, name);
        if (space != "rgb" && space != "grayscale")
            raise("KorVideoInput:badValue",
                  "ReturnedColorSpace must be 'rgb' or 'grayscale', e.g. "
                  "vid.ReturnedColorSpace = 'grayscale'.");
        video.colours = space == "grayscale" ? ColourSpace::GREY : ColourSpace::RGB;
    } else if (name == "LoggingMode") {
        const std::string mode = textValue(value, name);
        if (mode != "memory" && mode != "disk" && mode != "disk&memory")
            raise("KorVideoInput:badValue",
                  "LoggingMode must be 'memory', 'disk' or 'disk&memory', e.g. vid.LoggingMode = 'disk'.");
        video.mode = mode == "disk" ? LoggingMode::disk : mode == "memory" ? LoggingMode::memory : LoggingMode::both;
    } else if (name == "DiskLogger") {
        const std::string path = mxIsEmpty(value) ? std::string() : textValue(value, name);
        if (!path.empty() && !tiffName(path))
            raise("KorVideoInput:badDiskLogger",
                  "DiskLogger must name a TIFF file, ending in .tif or .tiff, e.g. vid.DiskLogger = 'run1.tif' ('" +
                      path + "' was given).");
        video.diskLogger = path;
    } else if (name == "DiskLoggerCompression") {
        const std::string compression = textValue(value, name);
        if (compression != "none" && compression != "deflate")
            raise("KorVideoInput:badValue",
                  "DiskLoggerCompression must be 'none' or 'deflate' (lossless), e.g. "
                  "vid.DiskLoggerCompression = 'deflate'.");
        video.compression = compression == "deflate" ? Compression::deflate : Compression::none;
    }
}

// The user's Name or Tag for the file's account of the acquisition; '' when not text.
std::string userText(int nrhs, const mxArray* prhs[], int index) {
    return index < nrhs && isText(prhs[index]) ? readText(prhs[index], "KorVideoInput:badValue", "Name and Tag")
                                               : std::string();
}

// korvideoinput('start', h[, name, tag]).
void start(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    if (running(video))
        raise("KorVideoInput:alreadyRunning",
              "The video input is running already. Wait for it with wait(vid), or stop it with stop(vid), "
              "before starting again.");
    if (Failure failure = takeFailure(video)) raise(failure);
    finishRecording(video);
    requireDiskLogger(video);
    ensureOpen(video);
    if (Failure failure = takeFailure(video)) raise(failure);
    applyRoi(video);
    video.startWall = std::chrono::system_clock::now();
    video.startStamp = imaqkit::getCurrentTime();
    const Keeping keeping = beginRecording(video, userText(nrhs, prhs, 2), userText(nrhs, prhs, 3));
    video.log->begin(video.startStamp, video.plan, video.colours, keeping);
    if (video.mode == LoggingMode::memory) warnIfBeyondMemory(video);
    if (!video.input->start(video.plan)) {
        video.log->refuseFrames();
        if (video.recording) video.recording->logger().endInput();
        raise("KorVideoInput:startFailed",
              "The acquisition could not be started; delete the object, "
              "create it again and start again.");
    }
}

void stop(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    video.input->stop();
    video.log->refuseFrames();
    settle(video);
}

void trigger(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    if (!running(video))
        raise("KorVideoInput:notRunning",
              "trigger needs a running video input, but it is not running. Start it with start(vid) first "
              "(with triggerconfig(vid, 'manual')).");
    if (!video.plan.manualTrigger)
        raise("KorVideoInput:notManualTrigger",
              "trigger needs TriggerType 'manual', but it is 'immediate': the trigger fired at start. Stop the "
              "video input with stop(vid), set triggerconfig(vid, 'manual'), then start(vid) and trigger(vid).");
    if (logging(video) || !video.input->trigger()) {
        // The input may have ended meanwhile.
        if (!running(video))
            raise("KorVideoInput:notRunning",
                  "trigger needs a running video input, but the acquisition ended. Start it again with "
                  "start(vid).");
        raise("KorVideoInput:alreadyLogging",
              "trigger needs the video input waiting for a trigger, but it is still logging the frames of "
              "trigger " +
                  std::to_string(video.input->triggersFired()) +
                  ". Wait for them with wait(vid, seconds, 'logging') or getdata(vid), then trigger again.");
    }
}

// One slice of a wait until the object stops: true once it has, false when
// the slice ran out first. `elapsed` seconds of the wait went by before this
// slice.
bool awaitStop(Video& video, double seconds, double elapsed, bool untilNotLogging) {
    const auto now = std::chrono::steady_clock::now();
    const auto deadline = now + secondsAsDuration(std::max(0.0, seconds - elapsed));
    const auto sliceEnd = std::min(deadline, now + std::chrono::steady_clock::duration(kWaitSlice));
    for (;;) {
        const std::uint64_t seen = video.log->version();
        // A run that logs to disk is over once its file is written and closed.
        if (untilNotLogging ? !logging(video) : !running(video) && recordingDone(video)) break;
        const auto current = std::chrono::steady_clock::now();
        if (current >= deadline)
            raise("KorVideoInput:timeout", std::string("The video input was still ") +
                                               (untilNotLogging  ? "logging"
                                                : running(video) ? "running"
                                                                 : "writing its file") +
                                               " after " + number(seconds) +
                                               " s. Wait longer with wait(vid, seconds), or stop it with stop(vid).");
        if (current >= sliceEnd) return false;
        const auto nap = std::chrono::ceil<std::chrono::milliseconds>(
            std::min<std::chrono::steady_clock::duration>(sliceEnd - current, kPollSlice));
        // The end of logging comes with a frame; the end of running is woken
        // by the end alone, not by each frame, and once the acquisition has
        // ended, only the file's end is to come.
        if (untilNotLogging)
            video.log->waitForChange(seen, nap);
        else if (video.recording && !running(video))
            video.recording->logger().waitDone(nap);
        else
            video.log->waitForEnd(nap);
    }
    if (Failure failure = takeFailure(video)) raise(failure);
    return true;
}

// Whether a wait ends when the object stops ('running', the default) or
// when it stops logging ('logging').
bool waitUntilNotLogging(int nrhs, const mxArray* prhs[], int index) {
    if (index >= nrhs) return false;
    const std::string state = argumentText(nrhs, prhs, index, "The state to wait for");
    if (state != "running" && state != "logging")
        raise("KorVideoInput:badValue",
              "wait waits for the end of 'running' (the default) or of 'logging', e.g. wait(vid, 10, 'logging').");
    return state == "logging";
}

// done = korvideoinput('waitslice', h, elapsed[, seconds[, state]]): one
// slice of wait, `elapsed` seconds into it; whether the wait is over.
void waitslice(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const double elapsed = secondsArgument(nrhs, prhs, 2, 0, "The time waited");
    const double seconds = secondsArgument(nrhs, prhs, 3, video.timeout, "The time to wait");
    plhs[0] = mxCreateLogicalScalar(awaitStop(video, seconds, elapsed, waitUntilNotLogging(nrhs, prhs, 4)));
}

// Until the object stops (KorVideoInput.m waits through waitslice instead).
void wait(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    const double seconds = secondsArgument(nrhs, prhs, 2, video.timeout, "The time to wait");
    const bool untilNotLogging = waitUntilNotLogging(nrhs, prhs, 3);
    const auto begun = std::chrono::steady_clock::now();
    while (!awaitStop(video, seconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count(),
                      untilNotLogging)) {}
}

// The engine's refusal of a device property value, as the user sees it.
[[noreturn]] void raiseRefusal(const korimaq::Status& status) {
    const char* identifier = "KorVideoInput:badValue";
    switch (status.code) {
        case korimaq::Status::NO_PROPERTY:
        case korimaq::Status::NOT_SETTABLE: identifier = "KorVideoInput:noProperty"; break;
        case korimaq::Status::READ_ONLY_WHILE_RUNNING: identifier = "KorVideoInput:readOnlyWhileRunning"; break;
        case korimaq::Status::OUT_OF_RANGE: identifier = "KorVideoInput:outOfRange"; break;
        default: break;
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
    if (const korimaq::Status set = video.input->setProperty(name, propertyValue(prhs[3], name)); !set)
        raiseRefusal(set);
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
        mxSetFieldByNumber(
            info, 0, 2,
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
            raise("KorVideoInput:badValue",
                  "The memory limit must be a number of bytes, at least 1, e.g. "
                  "KorVideoInput.memoryLimit(512 * 2^20) for 512 MiB.");
        budget().setLimit(static_cast<std::uint64_t>(bytes));
    }
    plhs[0] = scalar(static_cast<double>(budget().limit()));
}

void diagnostics(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    Video& video = videoOf(nrhs, prhs);
    settle(video);
    const char* fields[] = {"LateFrames",           "EngineProblems",  "Open", "MemoryUsed", "ClosedAfter", "Reopened",
                            "DiskFramesNotWritten", "DiskQueueLargest"};
    mxArray* result = mxCreateStructMatrix(1, 1, 8, fields);
    mxSetFieldByNumber(result, 0, 0, scalar(static_cast<double>(video.input->lateFrames())));
    mxSetFieldByNumber(result, 0, 1, cellOfTexts(video.input->violations()));
    mxSetFieldByNumber(result, 0, 2, mxCreateLogicalScalar(video.input->isOpen()));
    mxSetFieldByNumber(result, 0, 3, scalar(static_cast<double>(budget().used())));
    mxSetFieldByNumber(result, 0, 4, mxCreateString(video.closedAfter.c_str()));
    mxSetFieldByNumber(result, 0, 5, scalar(static_cast<double>(video.reopened)));
    const DiskLogger* disk = video.recording ? &video.recording->logger() : nullptr;
    mxSetFieldByNumber(result, 0, 6, scalar(disk ? static_cast<double>(disk->framesNotWritten()) : 0.0));
    mxSetFieldByNumber(result, 0, 7, scalar(disk ? static_cast<double>(disk->largestQueue()) : 0.0));
    plhs[0] = result;
}

void objects(int, mxArray* plhs[], int, const mxArray*[]) { plhs[0] = scalar(static_cast<double>(videos().size())); }

}  // namespace korvid
