#include "frame_log.h"

#include "pixels_grey.h"

#include <cmath>
#include <ctime>
#include <algorithm>
#include <utility>

namespace korvid {

bool MemoryBudget::reserve(std::uint64_t bytes) {
    std::uint64_t current = used_.load();
    do {
        const std::uint64_t limit = limit_.load();
        if (bytes > limit || current > limit - bytes) return false;
    } while (!used_.compare_exchange_weak(current, current + bytes));
    return true;
}

void MemoryBudget::release(std::uint64_t bytes) { used_ -= bytes; }

FrameLog::~FrameLog() { budget_.release(bytes_); }

void FrameLog::clearLocked() {
    frames_.clear();
    budget_.release(bytes_);
    bytes_ = 0;
}

void FrameLog::begin(double startStamp, const korimaq::AcquisitionPlan& plan, ColourSpace colours, Keeping keeping) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
    keeping_ = keeping;
    newest_.reset();
    failure_ = Failure();
    outOfMemory_ = false;
    accepting_ = true;
    snapshotMode_ = false;
    ended_ = false;
    begun_ = true;
    colours_ = colours;
    startStamp_ = startStamp;
    triggerStamp_ = startStamp;
    total_ = korimaq::totalFrames(plan);
    acquired_ = 0;
    triggers_ = 0;
    events_.clear();
    eventLocked({LogEvent::START, std::chrono::system_clock::now(), 0, 0, 0, {}, {}});
    ++version_;
}

void FrameLog::detachTap() {
    std::lock_guard<std::mutex> lock(mutex_);
    keeping_.tap = nullptr;
}

void FrameLog::beginSnapshot(ColourSpace colours) {
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot_.reset();
    snapshotFailure_ = Failure();
    snapshotOutOfMemory_ = false;
    snapshotMode_ = true;
    snapshotColours_ = colours;
    accepting_ = true;
    ++version_;
}

void FrameLog::markStopped(std::uint64_t framesTaken) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!begun_) return;
    begun_ = false;
    const std::uint64_t relative = newest_ ? newest_->relativeFrame : 0;
    eventLocked({LogEvent::STOP, std::chrono::system_clock::now(), framesTaken, relative, triggers_, {}, {}});
    ++version_;
    changed_.notify_all();
}

void FrameLog::eventLocked(LogEvent event) {
    if (events_.size() >= kMaxEvents) events_.pop_front();
    events_.push_back(std::move(event));
}

void FrameLog::triggerFired(std::uint64_t triggerIndex, double stamp, std::uint64_t framesTaken) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    if (snapshotMode_) return;
    triggers_ = triggerIndex;
    const auto now = std::chrono::system_clock::now();
    if (triggerIndex == 1) {
        triggerStamp_ = stamp;
        firstTrigger_ = now;
    }
    // Without memory for the entry the trigger still counts.
    try {
        eventLocked({LogEvent::TRIGGER, now, framesTaken, 0, triggerIndex, {}, {}});
    } catch (...) {}
    ++version_;
    changed_.notify_all();
}

void FrameLog::refuseFrames() {
    std::lock_guard<std::mutex> lock(mutex_);
    accepting_ = false;
    snapshotMode_ = false;
    ++version_;
    changed_.notify_all();
}

// What the process could not allocate for a frame. Preallocated: there is no
// memory left to build the text when it is needed.
const Failure& allocationFailure() {
    static const Failure failure{
        "KorVideoInput:outOfMemory",
        "The process ran out of memory for the frames and the acquisition stopped; the frames logged before "
        "stay available. Take them with getdata, delete video inputs you no longer need, or lower "
        "KorVideoInput.memoryLimit(bytes) below what the process can get, then start again."};
    return failure;
}

bool FrameLog::frameReceived(std::vector<std::uint8_t>& pixels, std::int32_t width, std::int32_t height, double time,
                             const korimaq::FrameTag& tag) {
    // Called on the adaptor's thread, which nothing above catches.
    try {
        ColourSpace colours = ColourSpace::RGB;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!accepting_) return false;
            colours = snapshotMode_ ? snapshotColours_ : colours_;
        }
        // The copy is made outside the lock, so that the user's thread is
        // not held up by it.
        const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        const bool grey = colours == ColourSpace::GREY && pixels.size() == pixelCount * 3;
        FramePixels copy;
        if (grey) {
            copy = FramePixels::ofSize(pixelCount);
            greyFromBgr(pixels.data(), pixelCount, copy.data());
        } else {
            copy = FramePixels::copyOf(pixels.data(), pixels.size());
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return frameReceivedLocked(std::move(copy), grey ? 1 : 3, width, height, time, tag);
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        outOfMemoryLocked();
        return false;
    }
}

void FrameLog::outOfMemory() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    outOfMemoryLocked();
}

// Only flags: the text is copied on the user's thread, when it is asked for.
void FrameLog::outOfMemoryLocked() noexcept {
    accepting_ = false;
    if (snapshotMode_) {
        snapshotMode_ = false;
        if (!snapshotFailure_) snapshotOutOfMemory_ = true;
    } else {
        ended_ = true;
        endedChanged_.notify_all();
        if (!failure_) outOfMemory_ = true;
    }
    ++version_;
    changed_.notify_all();
}

void greyFromBgr(const std::uint8_t* bgr, std::size_t pixelCount, std::uint8_t* grey) {
    // The weights sum to 1: equal bands give back their sample exactly, and
    // no luminance leaves the 8-bit range.
    for (std::size_t k = 0; k < pixelCount; ++k, bgr += 3)
        grey[k] = static_cast<std::uint8_t>(kor::pixels::luminance(bgr[2], bgr[1], bgr[0]));
}

bool FrameLog::frameReceivedLocked(FramePixels pixels, std::int32_t bands, std::int32_t width, std::int32_t height,
                                   double time, const korimaq::FrameTag& tag) {
    if (!accepting_) return false;
    auto frame = std::make_shared<LoggedFrame>();
    frame->width = width;
    frame->height = height;
    frame->stamp = time;
    frame->frameNumber = tag.frameNumber;
    frame->triggerIndex = tag.triggerIndex;
    frame->relativeFrame = tag.relativeFrame;
    frame->pixels = std::move(pixels);
    frame->bands = bands;
    if (snapshotMode_) {
        snapshot_ = std::move(frame);
        accepting_ = false;  // one frame is all a snapshot needs
        ++version_;
        changed_.notify_all();
        return false;
    }
    frame->time = time - triggerStamp_;
    return admitLocked(std::move(frame));
}

// Every logged frame enters here: into memory, to the tap, or both. A frame
// the tap refuses is acquired all the same (the tap counts it as not
// written) and ends the acquisition.
bool FrameLog::admitLocked(std::shared_ptr<LoggedFrame> frame) {
    const std::uint64_t size = frame->pixels.size();
    if (keeping_.memory) {
        if (!budget_.reserve(size)) {
            accepting_ = false;
            ended_ = true;
            endedChanged_.notify_all();
            if (!failure_ && !outOfMemory_)
                failure_ = {"KorVideoInput:outOfMemory",
                            "The frames logged reached the memory limit of " + std::to_string(budget_.limit() >> 20) +
                                " MiB and the acquisition stopped. Take frames with getdata, or raise the limit "
                                "with KorVideoInput.memoryLimit(bytes), then start again."};
            ++version_;
            changed_.notify_all();
            return false;
        }
        try {
            frames_.push_back(frame);
        } catch (...) {
            budget_.release(size);
            throw;
        }
        bytes_ += size;
    }
    ++acquired_;
    newest_ = frame;
    if (keeping_.tap != nullptr) {
        Failure refused;
        if (!keeping_.tap->offer(newest_, keeping_.memory, refused)) {
            endWithLocked(std::move(refused));
            return false;
        }
    }
    if (total_ != 0 && acquired_ >= total_) {
        ended_ = true;
        endedChanged_.notify_all();
        accepting_ = false;
    }
    ++version_;
    changed_.notify_all();
    return !ended_;
}

// The acquisition ends with an error: logged, kept unless one came first.
void FrameLog::endWithLocked(Failure failure) {
    try {
        eventLocked({LogEvent::ERROR, std::chrono::system_clock::now(), newest_ ? newest_->frameNumber : 0,
                     newest_ ? newest_->relativeFrame : 0, triggers_, failure.message, failure.identifier});
    } catch (...) {}
    if (!failure_ && !outOfMemory_) failure_ = std::move(failure);
    accepting_ = false;
    ended_ = true;
    endedChanged_.notify_all();
    ++version_;
    changed_.notify_all();
}

void FrameLog::fail(Failure failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (snapshotMode_) {
        if (!snapshotFailure_ && !snapshotOutOfMemory_) snapshotFailure_ = std::move(failure);
        snapshotMode_ = false;
        accepting_ = false;
        ++version_;
        changed_.notify_all();
        return;
    }
    endWithLocked(std::move(failure));
}

bool FrameLog::finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

std::uint64_t FrameLog::framesAcquired() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return acquired_;
}

std::uint64_t FrameLog::framesAvailable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
}

FrameLog::Outlook FrameLog::outlook() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Outlook outlook{frames_.size(), 0};
    if (ended_ || !accepting_ || snapshotMode_) return outlook;
    if (total_ == 0)
        outlook.toCome = UINT64_MAX;
    else if (total_ > acquired_)
        outlook.toCome = total_ - acquired_;
    return outlook;
}

Failure FrameLog::takeFailure() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outOfMemory_) failure_ = allocationFailure();
    outOfMemory_ = false;
    return std::exchange(failure_, Failure());
}

bool FrameLog::hasFailure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_ || outOfMemory_;
}

std::vector<std::shared_ptr<const LoggedFrame>> FrameLog::take(std::uint64_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<const LoggedFrame>> taken;
    while (taken.size() < n && !frames_.empty()) {
        taken.push_back(frames_.front());
        removeFrontLocked();
    }
    ++version_;
    return taken;
}

void FrameLog::removeFrontLocked() {
    const std::uint64_t size = frames_.front()->pixels.size();
    frames_.pop_front();
    bytes_ -= size;
    budget_.release(size);
}

std::vector<std::shared_ptr<const LoggedFrame>> FrameLog::peek(std::uint64_t n) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, frames_.size()));
    return {frames_.end() - static_cast<std::ptrdiff_t>(count), frames_.end()};
}

void FrameLog::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
    ++version_;
}

void FrameLog::flushOldestTrigger() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frames_.empty()) return;
    const std::uint64_t oldest = frames_.front()->triggerIndex;
    while (!frames_.empty() && frames_.front()->triggerIndex == oldest) removeFrontLocked();
    ++version_;
}

std::vector<LogEvent> FrameLog::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {events_.begin(), events_.end()};
}

bool FrameLog::initialTrigger(std::chrono::system_clock::time_point& when) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (triggers_ == 0) return false;
    when = firstTrigger_;
    return true;
}

std::uint64_t FrameLog::triggersFired() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return triggers_;
}

std::shared_ptr<const LoggedFrame> FrameLog::oldest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.empty() ? nullptr : frames_.front();
}

std::shared_ptr<const LoggedFrame> FrameLog::newest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return newest_;
}

std::shared_ptr<const LoggedFrame> FrameLog::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_;
}

Failure FrameLog::snapshotFailure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshotOutOfMemory_ ? allocationFailure() : snapshotFailure_;
}

bool FrameLog::waitForChange(std::uint64_t seenVersion, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return version_ != seenVersion; });
}

bool FrameLog::waitForEnd(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return endedChanged_.wait_for(lock, timeout, [&] { return ended_; });
}

std::uint64_t FrameLog::version() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
}

std::array<double, 6> clockVector(std::chrono::system_clock::time_point moment) {
    using namespace std::chrono;
    const auto seconds = time_point_cast<std::chrono::seconds>(moment);
    const double fraction = duration<double>(moment - seconds).count();
    const std::time_t whole = system_clock::to_time_t(seconds);
    std::tm parts{};
#if defined(_WIN32)
    localtime_s(&parts, &whole);
#else
    localtime_r(&whole, &parts);
#endif
    return {static_cast<double>(parts.tm_year) + 1900, static_cast<double>(parts.tm_mon) + 1,
            static_cast<double>(parts.tm_mday),        static_cast<double>(parts.tm_hour),
            static_cast<double>(parts.tm_min),         static_cast<double>(parts.tm_sec) + fraction};
}

std::array<double, 6> frameClock(std::chrono::system_clock::time_point startWall, double startStamp, double stamp) {
    const double seconds = stamp - startStamp;
    // A stamp that is not a number, or lies centuries away, is the start itself.
    const auto offset =
        std::isfinite(seconds) && std::fabs(seconds) < 1e9
            ? std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(seconds))
            : std::chrono::system_clock::duration::zero();
    return clockVector(startWall + offset);
}

bool positiveWhole(double value, double maximum) {
    return std::isfinite(value) && value >= 1 && value <= maximum && std::floor(value) == value;
}

bool regionFits(const double roi[4], std::int32_t imageWidth, std::int32_t imageHeight) {
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(roi[i]) || std::floor(roi[i]) != roi[i]) return false;
    const double x = roi[0], y = roi[1], width = roi[2], height = roi[3];
    return x >= 0 && y >= 0 && width >= 1 && height >= 1 && x + width <= imageWidth && y + height <= imageHeight;
}

Region adaptorRegion(const Region& user, std::int32_t imageHeight) {
    return {user.x, imageHeight - user.y - user.height, user.width, user.height};
}

}  // namespace korvid
