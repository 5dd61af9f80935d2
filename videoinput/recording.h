// The disk log of a video input's acquisition: the file each start writes,
// fed from the frame log, and its failure as the user sees it, with the
// figures that account for every frame.
#pragma once

#include "disk_logger.h"
#include "frame_log.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace korvid {

enum class LoggingMode { memory, disk, both };

class Recording final : public FrameTap {
public:
    // Creates the file (TiffError when it exists or cannot be created).
    Recording(const std::string& path, Compression compression, std::string provenance, MemoryBudget& budget,
              DiskFaults faults, std::chrono::system_clock::time_point startWall, double startStamp);

    bool offer(const std::shared_ptr<const LoggedFrame>& frame, bool counted, Failure& refused) noexcept override;

    DiskLogger& logger() { return logger_; }
    const DiskLogger& logger() const { return logger_; }
    // The failure of the file, once it is done, the first time it is asked
    // for: the logger's own text, then FramesAcquired as pages written plus
    // frames not written.
    Failure takeFailure(std::uint64_t framesAcquired);

private:
    DiskLogger logger_;
    const std::chrono::system_clock::time_point startWall_;
    const double startStamp_;
    bool reported_ = false;
};

// Whether a failure is the disk log's.
bool isDiskFailure(const Failure& failure);

}  // namespace korvid
