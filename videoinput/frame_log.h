// The frames of a video input between the adaptor's thread and the user: a
// log in arrival order, bounded by a memory budget that every video input of
// the process shares, a snapshot slot, the newest frame, and the first error
// the acquisition met. Pure work: no host or SDK calls.
#pragma once

#include "frame_pixels.h"
#include "korimaq_engine.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvid {

struct LoggedFrame {
    // Blue, green, red per pixel (bands 3) or one grey sample (bands 1), rows
    // bottom first as the adaptor sets them.
    FramePixels pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bands = 3;
    double time = 0;                  // seconds since the first trigger
    double stamp = 0;                 // the adaptor's time stamp, in the kit's clock
    std::uint64_t frameNumber = 0;    // among all frames the camera took since start, from 1
    std::uint64_t triggerIndex = 1;   // the trigger it belongs to, from 1
    std::uint64_t relativeFrame = 0;  // among that trigger's frames, from 1
};

// What the log keeps of its frames' colours.
enum class ColourSpace { RGB, GREY };

// One entry of an acquisition's event log.
struct LogEvent {
    enum Type { START, TRIGGER, STOP, ERROR };
    Type type = START;
    std::chrono::system_clock::time_point when{};
    std::uint64_t frameNumber = 0;
    std::uint64_t relativeFrame = 0;
    std::uint64_t triggerIndex = 0;
    std::string message;  // ERROR only
    std::string messageId;
};

// The grey sample of each blue, green, red pixel: a monochrome camera's own
// sample (its three bands are equal), a colour camera's luminance.
void greyFromBgr(const std::uint8_t* bgr, std::size_t pixelCount, std::uint8_t* grey);

struct Failure {
    std::string identifier;
    std::string message;
    explicit operator bool() const { return !identifier.empty(); }
};

// Bytes of logged frames, over all video inputs of the process.
class MemoryBudget {
public:
    static constexpr std::uint64_t kDefaultLimit = std::uint64_t{1} << 30;
    bool reserve(std::uint64_t bytes);
    void release(std::uint64_t bytes);
    std::uint64_t used() const { return used_; }
    std::uint64_t limit() const { return limit_; }
    void setLimit(std::uint64_t bytes) { limit_ = bytes; }

private:
    std::atomic<std::uint64_t> used_{0};
    std::atomic<std::uint64_t> limit_{kDefaultLimit};
};

// Where logged frames go besides the log in memory (the disk log). Called on
// the adaptor's thread with the log's lock held.
class FrameTap {
public:
    virtual ~FrameTap() = default;
    // False when the frame is not taken, with the reason in `refused`; the
    // acquisition then ends with it. `counted`: the log in memory holds the
    // frame and has charged it to the budget already.
    virtual bool offer(const std::shared_ptr<const LoggedFrame>& frame, bool counted, Failure& refused) noexcept = 0;
};

// Where an acquisition's frames go: the log in memory, a tap, or both.
struct Keeping {
    bool memory = true;
    FrameTap* tap = nullptr;
};

class FrameLog final : public korimaq::FrameSink {
public:
    explicit FrameLog(MemoryBudget& budget) : budget_(budget) {}
    ~FrameLog() override;

    // A new acquisition: the log and its events are emptied, counters
    // cleared, frames accepted; time stamps count from the first trigger (or
    // startStamp before it, in the kit's clock). The plan's frames in all
    // (none: until stopped) end the log.
    void begin(double startStamp, const korimaq::AcquisitionPlan& plan, ColourSpace colours = ColourSpace::RGB,
               Keeping keeping = {});
    // No frame goes to the tap from now on (it is about to go).
    void detachTap();
    // One frame for a snapshot, kept apart from the log and its counters.
    void beginSnapshot(ColourSpace colours = ColourSpace::RGB);
    // No frame is taken from now on (stop has returned).
    void refuseFrames();
    // The acquisition begun last has stopped, after `framesTaken` frames of
    // the camera: its Stop event, once.
    void markStopped(std::uint64_t framesTaken);

    // Copies the frame into the log: the engine keeps its frame for the
    // next image, so the adaptor writes every image into memory in use.
    // Never throws: a frame the log cannot hold for want of memory ends the
    // acquisition with KorVideoInput:outOfMemory, keeping the frames logged.
    bool frameReceived(std::vector<std::uint8_t>& pixels, std::int32_t width, std::int32_t height, double time,
                       const korimaq::FrameTag& tag) override;
    void triggerFired(std::uint64_t triggerIndex, double stamp, std::uint64_t framesTaken) noexcept override;
    void outOfMemory() noexcept override;
    // An error of the adaptor or of the log: the first one is kept; no frame
    // is taken after it.
    void fail(Failure failure);

    // True when the acquisition has what it asked for, or met an error.
    bool finished() const;
    std::uint64_t framesAcquired() const;
    std::uint64_t framesAvailable() const;
    // The frames held and those the current acquisition may still log (none
    // once it has ended or no longer takes frames), read together: a frame
    // logged between two separate reads would be counted in neither.
    struct Outlook {
        std::uint64_t available;
        std::uint64_t toCome;
    };
    Outlook outlook() const;
    // The pending error, cleared: it is raised once.
    Failure takeFailure();
    bool hasFailure() const;

    // Up to n oldest frames, removed from the log and from the budget.
    std::vector<std::shared_ptr<const LoggedFrame>> take(std::uint64_t n);
    // Up to n newest frames held, oldest first, left in the log.
    std::vector<std::shared_ptr<const LoggedFrame>> peek(std::uint64_t n) const;
    // Removes every frame held; or those of the oldest trigger held.
    void flush();
    void flushOldestTrigger();
    // The newest events (at most kMaxEvents), oldest first.
    static constexpr std::size_t kMaxEvents = 1000;
    std::vector<LogEvent> events() const;
    // When the first trigger since begin fired; false before it.
    bool initialTrigger(std::chrono::system_clock::time_point& when) const;
    std::uint64_t triggersFired() const;
    std::shared_ptr<const LoggedFrame> oldest() const;
    std::shared_ptr<const LoggedFrame> newest() const;
    // The snapshot frame, or the error that ended the snapshot.
    std::shared_ptr<const LoggedFrame> snapshot() const;
    Failure snapshotFailure() const;

    // Waits until something changes (a frame, an error, the end) or the time
    // runs out; false on time-out.
    bool waitForChange(std::uint64_t seenVersion, std::chrono::milliseconds timeout) const;
    // Waits until the acquisition has ended (its frames, an error, the
    // memory) or the time runs out; false on time-out. Frames arriving
    // meanwhile do not wake the caller: a wait for the end costs nothing per frame.
    bool waitForEnd(std::chrono::milliseconds timeout) const;
    std::uint64_t version() const;

private:
    void clearLocked();
    bool frameReceivedLocked(FramePixels pixels, std::int32_t bands, std::int32_t width, std::int32_t height,
                             double time, const korimaq::FrameTag& tag);
    // The one place a frame enters the log, counted against the budget.
    bool admitLocked(std::shared_ptr<LoggedFrame> frame);
    void outOfMemoryLocked() noexcept;
    void eventLocked(LogEvent event);
    void endWithLocked(Failure failure);
    void removeFrontLocked();

    MemoryBudget& budget_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::condition_variable endedChanged_;
    std::deque<std::shared_ptr<const LoggedFrame>> frames_;
    std::uint64_t bytes_ = 0;
    std::shared_ptr<const LoggedFrame> newest_;
    std::shared_ptr<const LoggedFrame> snapshot_;
    Failure failure_;
    Failure snapshotFailure_;
    // Memory ran out on the adaptor's thread: the failure, kept as a flag.
    bool outOfMemory_ = false;
    bool snapshotOutOfMemory_ = false;
    bool accepting_ = false;
    bool snapshotMode_ = false;
    bool ended_ = false;
    bool begun_ = false;  // an acquisition began whose Stop is not logged yet
    ColourSpace colours_ = ColourSpace::RGB;
    Keeping keeping_;
    ColourSpace snapshotColours_ = ColourSpace::RGB;
    double startStamp_ = 0;
    double triggerStamp_ = 0;  // of the first trigger
    std::uint64_t total_ = 0;  // frames the acquisition logs in all; 0: until stopped
    std::uint64_t acquired_ = 0;
    std::uint64_t triggers_ = 0;
    std::uint64_t version_ = 0;
    std::deque<LogEvent> events_;
    std::chrono::system_clock::time_point firstTrigger_{};
};

// [year month day hour minute seconds] of a moment, in local time.
std::array<double, 6> clockVector(std::chrono::system_clock::time_point moment);
// The clock vector of a frame's time stamp `stamp` (the kit's clock), for an
// acquisition started at `startWall`, when the kit's clock read `startStamp`.
std::array<double, 6> frameClock(std::chrono::system_clock::time_point startWall, double startStamp, double stamp);

// The region of interest as the user gives it (offsets from the top-left
// corner of the image as it is seen) in the adaptor's terms: its image rows
// come bottom first, so the vertical offset counts from the bottom.
struct Region {
    std::int32_t x, y, width, height;
};
bool regionFits(const double roi[4], std::int32_t imageWidth, std::int32_t imageHeight);
Region adaptorRegion(const Region& user, std::int32_t imageHeight);

// A positive whole number up to `maximum`; false for NaN, infinities,
// fractions and values out of range.
bool positiveWhole(double value, double maximum);

}  // namespace korvid
