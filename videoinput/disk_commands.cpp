// The disk log at start: the file of this acquisition and its first page's
// account of how it was taken, and the warning of a run in memory that the
// memory limit cannot hold; the tests' hook for a slow or failing disk.
#include "arguments.h"
#include "commands.h"
#include "video.h"

#include <cmath>

namespace korvid {
namespace {

DiskFaults& testDiskFaults() {
    static DiskFaults faults;
    return faults;
}

double countOrInf(std::uint64_t count, std::uint64_t endless) {
    return count == endless ? INFINITY : static_cast<double>(count);
}

// How the acquisition was taken: camera, format, region, trigger, every
// device property's value now, the start and the user's Name and Tag.
std::string provenanceOf(Video& video, const std::string& name, const std::string& tag) {
    const korimaq::AcquisitionPlan& plan = video.plan;
    JsonObject camera;
    camera.add("Name", video.deviceName).add("DeviceID", static_cast<double>(video.input->deviceId()));
    JsonObject trigger;
    trigger.add("TriggerType", plan.manualTrigger ? "manual" : "immediate")
        .add("TriggerCondition", "none")
        .add("TriggerSource", "none")
        .add("FramesPerTrigger", countOrInf(plan.framesPerTrigger, 0))
        .add("TriggerRepeat", countOrInf(plan.triggerRepeat, korimaq::AcquisitionPlan::kEndless))
        .add("TriggerFrameDelay", static_cast<double>(plan.triggerFrameDelay));
    JsonObject properties;
    for (const korimaq::PropertyEntry& property : video.input->attributes().properties) {
        if (property.kind == imaqkit::IPropInfo::KIND_ENUM)
            properties.add(property.name, video.input->enumText(property.name));
        else
            properties.add(property.name, video.input->doubleValue(property.name));
    }
    const std::array<double, 6> started = clockVector(video.startWall);
    JsonObject provenance;
    provenance.add("Camera", camera)
        .add("VideoFormat", video.input->formatName())
        .add("VideoResolution",
             std::vector<double>{static_cast<double>(video.width), static_cast<double>(video.height)})
        .add("ROIPosition",
             std::vector<double>{static_cast<double>(video.roi.x), static_cast<double>(video.roi.y),
                                 static_cast<double>(video.roi.width), static_cast<double>(video.roi.height)})
        .add("ReturnedColorSpace", video.colours == ColourSpace::GREY ? "grayscale" : "rgb")
        .add("FrameGrabInterval", static_cast<double>(plan.frameGrabInterval))
        .add("Trigger", trigger)
        .add("DeviceProperties", properties)
        .add("StartTime", std::vector<double>(started.begin(), started.end()))
        .add("Name", name)
        .add("Tag", tag);
    return provenance.text();
}

}  // namespace

void resetDiskFaults() { testDiskFaults() = DiskFaults(); }

void requireDiskLogger(const Video& video) {
    if (video.mode != LoggingMode::memory && video.diskLogger.empty())
        raise("KorVideoInput:noDiskLogger",
              "LoggingMode '" + std::string(video.mode == LoggingMode::disk ? "disk" : "disk&memory") +
                  "' needs a file: name one, e.g. vid.DiskLogger = 'run1.tif', or set vid.LoggingMode = 'memory'.");
}

void finishRecording(Video& video) {
    if (!video.recording) return;
    video.recording->logger().finish();
    if (Failure failure = takeFailure(video)) raise(failure);
    video.log->detachTap();
    video.recording.reset();
}

Keeping beginRecording(Video& video, const std::string& name, const std::string& tag) {
    finishRecording(video);
    const bool memory = video.mode != LoggingMode::disk;
    if (video.mode == LoggingMode::memory) return {memory, nullptr};
    try {
        video.recording =
            std::make_unique<Recording>(video.diskLogger, video.compression, provenanceOf(video, name, tag), budget(),
                                        testDiskFaults(), video.startWall, video.startStamp);
    } catch (const TiffError& error) {
        raise(failureOf(error));
    }
    return {memory, video.recording.get()};
}

void warnIfBeyondMemory(const Video& video) {
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(video.roi.width) *
                                     static_cast<std::uint64_t>(video.roi.height) *
                                     (video.colours == ColourSpace::GREY ? 1u : 3u);
    const std::uint64_t total = korimaq::totalFrames(video.plan);
    const std::uint64_t free = budget().limit() > budget().used() ? budget().limit() - budget().used() : 0;
    const std::uint64_t fit = frameBytes == 0 ? UINT64_MAX : free / frameBytes;
    if (total != 0 && total <= fit) return;
    const std::string frames = total == 0 ? "frames until stopped" : std::to_string(total) + " frames";
    warnLater("KorVideoInput:exceedsMemoryLimit",
              "This acquisition logs " + frames + " of " + std::to_string(frameBytes) +
                  " bytes each, but the memory limit (KorVideoInput.memoryLimit()) holds only " + std::to_string(fit) +
                  " of them: unless getdata takes frames as they come, it stops with KorVideoInput:outOfMemory. "
                  "To record them all, set vid.LoggingMode = 'disk' and vid.DiskLogger = 'run1.tif' before start.");
}

// korvideoinput('diskfaults', delay, failAtPage, reason): what the disk logs
// of every later start make of the disk, for the tests, until korvideoinput
// is cleared: a pause of `delay` seconds before every page, and instead of
// page `failAtPage` (0: none) a failure with `reason`. Not part of
// KorVideoInput.
void diskfaults(int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    const double delay = secondsArgument(nrhs, prhs, 1, 0, "The delay per page");
    double page = 0;
    if (nrhs >= 3 && (!readScalar(prhs[2], page) || !(page == 0 || positiveWhole(page, 9007199254740992.0))))
        raise("KorVideoInput:badValue", "The page to fail at must be 0 or a positive whole number.");
    DiskFaults faults;
    faults.delayPerPage = std::chrono::duration_cast<std::chrono::milliseconds>(secondsAsDuration(delay));
    faults.failAtPage = static_cast<std::uint64_t>(page);
    faults.failReason = nrhs >= 4 ? argumentText(nrhs, prhs, 3, "The reason") : "injected failure";
    testDiskFaults() = faults;
}

}  // namespace korvid
