#include "disk_logger.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <utility>

namespace korvid {

Failure failureOf(const TiffError& error) {
    switch (error.kind) {
        case TiffError::Kind::exists:
            return {"KorVideoInput:fileExists", "The file " + error.path +
                                                    " already exists, and a recording never replaces one. Remove it "
                                                    "or name another file in DiskLogger, then start again."};
        case TiffError::Kind::cannotCreate:
            return {"KorVideoInput:cannotCreateFile", "Cannot create the file " + error.path + ": " + error.reason +
                                                          ". Name a file in a folder you can write to in DiskLogger."};
        case TiffError::Kind::write:
        case TiffError::Kind::badPage: break;
    }
    const std::string what = error.frame == 0
                                 ? "The file " + error.path + " could not be completed"
                                 : "Frame " + std::to_string(error.frame) + " could not be written to " + error.path;
    return {"KorVideoInput:diskWriteFailed",
            what + ": " + error.reason + ". The pages written before it stay readable."};
}

DiskLogger::DiskLogger(const std::string& path, Compression compression, std::string provenance, MemoryBudget& budget,
                       DiskFaults faults)
    : path_(path),
      budget_(budget),
      faults_(std::move(faults)),
      writer_(std::make_unique<TiffWriter>(path, compression, std::move(provenance))),
      thread_(&DiskLogger::run, this) {}

DiskLogger::~DiskLogger() { finish(); }

DiskLogger::Offer DiskLogger::offer(std::shared_ptr<const LoggedFrame> frame, Samples samples, const PageInfo& info,
                                    bool counted) {
    if (frame == nullptr) throw std::invalid_argument("no frame to log");
    std::lock_guard<std::mutex> lock(mutex_);
    switch (state_) {
        case State::accepting: break;
        case State::behind: ++notWritten_; return Offer::behind;
        case State::failed: ++notWritten_; return Offer::failed;
        case State::closed: ++notWritten_; return Offer::finished;
    }
    const std::uint64_t bytes = counted ? 0 : frame->pixels.size();
    if (!budget_.reserve(bytes)) {
        ++notWritten_;
        state_ = State::behind;
        if (!failure_)
            failure_ = {"KorVideoInput:diskLoggerBehind",
                        "The disk could not keep up with the camera: frame " + std::to_string(info.relativeFrame) +
                            " found the frames waiting for " + path_ +
                            " at the memory limit, and the acquisition stopped. The frames before it are written. "
                            "Lower the frame rate or the ROI, set DiskLoggerCompression to 'none', or log to a "
                            "faster disk."};
        return Offer::behind;
    }
    try {
        queue_.push_back(Entry{std::move(frame), samples, info, bytes});
    } catch (const std::bad_alloc&) {
        budget_.release(bytes);
        ++notWritten_;
        setFailed(failureOf(pageWriteError(path_, "not enough memory to queue it", info.relativeFrame)));
        return Offer::failed;
    }
    largestQueue_ = std::max(largestQueue_, queue_.size());
    changed_.notify_all();
    return Offer::queued;
}

void DiskLogger::endInput() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = State::closed;
    }
    changed_.notify_all();
}

bool DiskLogger::done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

bool DiskLogger::waitDone(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done_; });
}

void DiskLogger::finish() {
    endInput();
    if (thread_.joinable()) thread_.join();
}

void DiskLogger::writePage(const Entry& entry) {
    if (faults_.delayPerPage.count() > 0) std::this_thread::sleep_for(faults_.delayPerPage);
    if (faults_.failAtPage != 0 && writer_->pages() + 1 == faults_.failAtPage)
        throw pageWriteError(path_, faults_.failReason, entry.info.relativeFrame);
    const LoggedFrame& frame = *entry.frame;
    writer_->append(PageImage{frame.pixels.data(), frame.pixels.size(), frame.width, frame.height, entry.samples},
                    entry.info);
}

void DiskLogger::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !queue_.empty() || state_ == State::closed; });
        if (queue_.empty()) break;
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        Failure failed;
        try {
            writePage(entry);
        } catch (const TiffError& error) {
            failed = failureOf(error);
        } catch (const std::bad_alloc&) {
            failed = failureOf(pageWriteError(path_, "not enough memory", entry.info.relativeFrame));
        }
        entry.frame.reset();
        lock.lock();
        budget_.release(entry.bytes);
        if (failed) {
            ++notWritten_;
            setFailed(std::move(failed));
        } else {
            ++written_;
        }
    }
    lock.unlock();
    Failure closing;
    try {
        writer_->close();
    } catch (const TiffError& error) {
        closing = failureOf(error);
    }
    const bool empty = writer_->pages() == 0;
    writer_.reset();
    if (empty) std::remove(path_.c_str());
    lock.lock();
    if (closing) setFailed(std::move(closing));
    done_ = true;
    changed_.notify_all();
}

void DiskLogger::setFailed(Failure failure) {
    if (!failure_) failure_ = std::move(failure);
    // Closed stays closed; otherwise no frame is taken from now on.
    if (state_ != State::closed) state_ = State::failed;
    for (const Entry& entry : queue_) budget_.release(entry.bytes);
    notWritten_ += queue_.size();
    queue_.clear();
}

std::uint64_t DiskLogger::pagesWritten() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

std::uint64_t DiskLogger::framesNotWritten() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notWritten_;
}

std::size_t DiskLogger::largestQueue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return largestQueue_;
}

Failure DiskLogger::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

}  // namespace korvid
