// The disk log of an acquisition: frames queue for a writer thread of their
// own that appends them to a TIFF file. A queued frame counts against the
// memory budget until it is written; when the budget cannot hold the next one
// the disk is behind, and the logger takes no more frames but still writes
// every frame queued before. A failed write ends the file at its last
// complete page; a file that ends with no page at all is removed (a header
// pointing to no page is not a valid TIFF file). Every frame offered is
// either written or counted as not written. No host or SDK calls.
#pragma once

#include "frame_log.h"
#include "tiff_writer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace korvid {

// What a test makes of the disk: a pause before every page, and a failure
// with the given reason instead of page `failAtPage` (from 1; 0: none).
struct DiskFaults {
    std::chrono::milliseconds delayPerPage{0};
    std::uint64_t failAtPage = 0;
    std::string failReason;
};

// The file cannot be created: KorVideoInput:fileExists or
// KorVideoInput:cannotCreateFile; a page cannot be written:
// KorVideoInput:diskWriteFailed.
Failure failureOf(const TiffError& error);

class DiskLogger {
public:
    enum class Offer { queued, behind, failed, finished };

    // Creates the file (TiffError when it exists or cannot be created) and
    // starts the writer thread.
    DiskLogger(const std::string& path, Compression compression, std::string provenance, MemoryBudget& budget,
               DiskFaults faults = {});
    // Finishes the file: every queued frame is written first.
    ~DiskLogger();
    DiskLogger(const DiskLogger&) = delete;
    DiskLogger& operator=(const DiskLogger&) = delete;

    // Queues a frame for its page. Anything but `queued` means the frame will
    // not be written (and is counted so): `behind` the first time the budget
    // cannot hold a frame (the failure is then KorVideoInput:diskLoggerBehind)
    // and for every frame after it, `failed` after a write failed,
    // `finished` after finish. `counted`: the frame is charged to the budget
    // already (it is held in memory as well), so its place in the queue is not.
    Offer offer(std::shared_ptr<const LoggedFrame> frame, Samples samples, const PageInfo& info, bool counted = false);
    // No frame comes any more: the writer thread writes those queued, closes
    // the file and ends; returns at once.
    void endInput();
    // Whether the file is done: every queued frame written (or dropped after a
    // failure) and the file closed.
    bool done() const;
    // Waits until the file is done or the time runs out; false on time-out.
    bool waitDone(std::chrono::milliseconds timeout) const;
    // Returns when the file is done.
    void finish();

    std::uint64_t pagesWritten() const;
    std::uint64_t framesNotWritten() const;
    std::size_t largestQueue() const;
    // The first failure: behind, or a write that failed.
    Failure failure() const;
    const std::string& path() const { return path_; }

private:
    // Closed is final; behind and failed refuse frames but the queue still drains (behind) or is dropped (failed).
    enum class State { accepting, behind, failed, closed };
    struct Entry {
        std::shared_ptr<const LoggedFrame> frame;
        Samples samples;
        PageInfo info;
        std::uint64_t bytes;
    };

    void run();
    void writePage(const Entry& entry);
    void setFailed(Failure failure);  // under the lock: the queue is dropped

    const std::string path_;
    MemoryBudget& budget_;
    const DiskFaults faults_;
    std::unique_ptr<TiffWriter> writer_;  // only the writer thread uses it once it runs

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    State state_ = State::accepting;
    std::deque<Entry> queue_;
    std::uint64_t written_ = 0;
    std::uint64_t notWritten_ = 0;
    std::size_t largestQueue_ = 0;
    Failure failure_;
    bool done_ = false;
    std::thread thread_;  // last: starts when everything above is ready
};

}  // namespace korvid
