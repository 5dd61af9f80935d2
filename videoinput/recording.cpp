#include "recording.h"

#include <utility>

namespace korvid {

Recording::Recording(const std::string& path, Compression compression, std::string provenance, MemoryBudget& budget,
                     DiskFaults faults, std::chrono::system_clock::time_point startWall, double startStamp)
    : logger_(path, compression, std::move(provenance), budget, std::move(faults)),
      startWall_(startWall),
      startStamp_(startStamp) {}

bool Recording::offer(const std::shared_ptr<const LoggedFrame>& frame, bool counted, Failure& refused) noexcept {
    try {
        PageInfo info;
        info.time = frame->time;
        info.absTime = frameClock(startWall_, startStamp_, frame->stamp);
        info.frameNumber = frame->frameNumber;
        info.relativeFrame = frame->relativeFrame;
        info.triggerIndex = frame->triggerIndex;
        const Samples samples = frame->bands == 1 ? Samples::grey : Samples::rgb;
        if (logger_.offer(frame, samples, info, counted) == DiskLogger::Offer::queued) return true;
        refused = logger_.failure();
    } catch (...) {
        // Only memory for the page's figures can run out here; the logger never saw the frame.
    }
    if (!refused)
        refused = {"KorVideoInput:diskWriteFailed", "A frame could not be queued for " + logger_.path() + "."};
    return false;
}

Failure Recording::takeFailure(std::uint64_t framesAcquired) {
    if (reported_ || !logger_.done()) return {};
    Failure failure = logger_.failure();
    if (!failure) return {};
    reported_ = true;
    const std::uint64_t written = logger_.pagesWritten(), notWritten = logger_.framesNotWritten();
    failure.message += " FramesAcquired " + std::to_string(framesAcquired) + " = DiskLoggerFrameCount " +
                       std::to_string(written) + " + " + std::to_string(notWritten) + " frames not written.";
    return failure;
}

bool isDiskFailure(const Failure& failure) {
    return failure.identifier == "KorVideoInput:diskLoggerBehind" ||
           failure.identifier == "KorVideoInput:diskWriteFailed";
}

}  // namespace korvid
