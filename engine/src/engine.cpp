// The engine of a video input: frames, acquisition counters, the adaptor
// manager, and the checks of what the adaptor hands over.
#include "host_objects.h"
#include "korwin32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korimaq {

// Frames above this size are refused: no real format comes near it, and a
// wrong size from an adaptor must not exhaust the host.
constexpr std::uint64_t kMaxFrameBytes = 1ull << 30;

// Frames the engine keeps for reuse; beyond this a released frame is freed.
constexpr std::size_t kFramePoolSize = 8;

// Time stamps kept per acquisition; later frames are counted but not stamped.
constexpr std::size_t kMaxTimeStamps = 1u << 22;

// Violations kept as text; later ones are only counted.
constexpr std::size_t kMaxViolations = 1000;

std::string hex(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

void HostFrame::setImage(const void* image, std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t xOffset,
                         std::int32_t yOffset) {
    if (image == nullptr || imageWidth <= 0 || imageHeight <= 0 || xOffset < 0 || yOffset < 0 ||
        static_cast<std::int64_t>(xOffset) + width_ > imageWidth ||
        static_cast<std::int64_t>(yOffset) + height_ > imageHeight) {
        engine_.violation("setImage: a " + std::to_string(width_) + "x" + std::to_string(height_) + " frame at (" +
                          std::to_string(xOffset) + ", " + std::to_string(yOffset) + ") does not lie in a " +
                          std::to_string(imageWidth) + "x" + std::to_string(imageHeight) + " image");
        return;
    }
    const auto* source = static_cast<const std::uint8_t*>(image);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * bytesPerPixel_;
    const std::size_t imageRowBytes = static_cast<std::size_t>(imageWidth) * bytesPerPixel_;
    if (rowBytes == imageRowBytes) {
        std::memcpy(pixels_.data(), source + static_cast<std::size_t>(yOffset) * imageRowBytes,
                    rowBytes * static_cast<std::size_t>(height_));
        imageSet_ = true;
        return;
    }
    for (std::int32_t row = 0; row < height_; ++row) {
        const std::uint8_t* from = source + (static_cast<std::size_t>(yOffset) + row) * imageRowBytes +
                                   static_cast<std::size_t>(xOffset) * bytesPerPixel_;
        std::memcpy(pixels_.data() + static_cast<std::size_t>(row) * rowBytes, from, rowBytes);
    }
    imageSet_ = true;
}

HostEngine::HostEngine(const std::vector<PropertyEntry>& declared, EngineThread& thread)
    : thread_(thread), container_(declared, *this) {}

HostEngine::~HostEngine() = default;

imaqkit::IAdaptorFrame* HostEngine::createFrame(std::int32_t frameType, std::int32_t width, std::int32_t height) {
    std::size_t bytesPerPixel = 0;
    if (frameType == imaqkit::FRAME_BGR24) bytesPerPixel = 3;
    if (frameType == imaqkit::FRAME_MONO8) bytesPerPixel = 1;
    if (bytesPerPixel == 0 || width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * bytesPerPixel > kMaxFrameBytes) {
        violation("createFrame: no frame of type " + hex(frameType) + " and size " + std::to_string(width) + "x" +
                  std::to_string(height));
        return nullptr;
    }
    // Called on the adaptor's thread, which nothing above catches: a frame
    // that cannot be allocated ends the acquisition instead.
    try {
        if (frameType != declaredFrameType_)
            violation("createFrame: type " + hex(frameType) + ", but the adaptor declares " + hex(declaredFrameType_));
        std::unique_ptr<HostFrame> frame;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!pool_.empty()) {
                frame = std::move(pool_.back());
                pool_.pop_back();
            }
        }
        if (!frame) frame = std::make_unique<HostFrame>(*this);
        frame->reshape(frameType, width, height, bytesPerPixel);
        return frame.release();
    } catch (...) {
        allocationFailed();
        return nullptr;
    }
}

void HostEngine::allocationFailed() noexcept {
    FrameSink* current = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        current = sink;
    }
    if (current != nullptr) current->outOfMemory();
    endEarly();
}

void HostEngine::releaseFrame(imaqkit::IAdaptorFrame* frame) {
    if (frame == nullptr) return;
    std::unique_ptr<HostFrame> owned(static_cast<HostFrame*>(frame));
    std::lock_guard<std::mutex> lock(mutex);
    if (pool_.size() < kFramePoolSize) pool_.push_back(std::move(owned));
}

void HostEngine::receiveFrame(imaqkit::IAdaptorFrame* frame) {
    if (frame == nullptr) return;
    std::unique_ptr<HostFrame> owned(static_cast<HostFrame*>(frame));
    // On the adaptor's thread: nothing may leave here as an exception.
    try {
        receiveChecked(owned);
    } catch (...) {
        allocationFailed();
    }
}

void HostEngine::receiveChecked(std::unique_ptr<HostFrame>& owned) {
    frameThreadPriority = GetThreadPriority(GetCurrentThread());
    if (!owned->imageSet()) violation("receiveFrame: a frame handed over without its image");
    if (!owned->stamped())
        violation("receiveFrame: a frame handed over without a time stamp");
    else if (owned->stampedBeforeImage())
        violation("receiveFrame: a frame stamped before its image was set");
    std::uint64_t count = 0;
    FrameSink* sink = nullptr;
    FrameTag tag;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::uint64_t wanted = totalFrames(plan_);
        // From before start capture is called until stop capture returns.
        if (manager_ == nullptr || !isRunning(state_)) {
            ++late;
            if (violations_.size() < kMaxViolations)
                violations_.push_back("receiveFrame: a frame handed over after stop capture returned");
            ++violationCount_;
            if (pool_.size() < kFramePoolSize) pool_.push_back(std::move(owned));
            return;
        }
        if (wanted != 0 && received >= wanted) {
            if (violations_.size() < kMaxViolations)
                violations_.push_back("receiveFrame: a frame beyond the " + std::to_string(wanted) + " asked for");
            ++violationCount_;
            if (pool_.size() < kFramePoolSize) pool_.push_back(std::move(owned));
            return;
        }
        count = ++received;
        if (stamps.size() < kMaxTimeStamps) stamps.push_back(owned->getTime());
        if (wanted != 0 && count == wanted) postStop(run_);
        sink = this->sink;
        tag = decidedTag_;
    }
    if (sink != nullptr) {
        // Outside the lock: a sink may take its time (a copy, a memory
        // limit) without holding up the engine's thread.
        const bool more =
            sink->frameReceived(owned->pixels(), owned->getWidth(), owned->getHeight(), owned->getTime(), tag);
        if (!more) endEarly();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (sink != nullptr) {
            if (pool_.size() < kFramePoolSize) pool_.push_back(std::move(owned));
        } else if (!first) {
            first = std::move(owned);
        } else {
            if (last && pool_.size() < kFramePoolSize) pool_.push_back(std::move(last));
            last = std::move(owned);
        }
    }
    if (count >= wakeReceived_) changed.notify_all();
}

void HostEngine::postStop(std::uint64_t run) {
    std::weak_ptr<HostEngine> weak = weak_from_this();
    thread_.post([weak, run] {
        std::shared_ptr<HostEngine> engine = weak.lock();
        if (!engine || engine->run_ != run || engine->manager_ == nullptr) return;
        engine->manager_->stopAcquisition(VideoInput::State::ENDED);
    });
}

bool HostEngine::changeState(std::initializer_list<VideoInput::State> from, VideoInput::State to) {
    std::lock_guard<std::mutex> lock(mutex);
    return changeStateLocked(from, to);
}

bool HostEngine::changeStateLocked(std::initializer_list<VideoInput::State> from, VideoInput::State to) {
    if (std::find(from.begin(), from.end(), state_.load()) == from.end()) return false;
    state_ = to;
    // Under the lock: a waiter that checked the state before it waits cannot miss this.
    changed.notify_all();
    return true;
}

VideoInput::State HostEngine::startedState() const {
    std::lock_guard<std::mutex> lock(mutex);
    return schedule_.waiting() ? VideoInput::State::WAITING : VideoInput::State::RUNNING;
}

void HostEngine::triggerFiredLocked(std::uint64_t triggerIndex, std::uint64_t framesTaken) noexcept {
    if (sink != nullptr) sink->triggerFired(triggerIndex, imaqkit::getCurrentTime(), framesTaken);
}

bool HostEngine::decideFrame(std::uint64_t framesTaken) {
    using State = VideoInput::State;
    std::lock_guard<std::mutex> lock(mutex);
    const TriggerSchedule::Decision decision = schedule_.decide(framesTaken);
    if (!decision.deliver) return false;
    decidedTag_ = decision.tag;
    if (schedule_.waiting()) changeStateLocked({State::RUNNING}, State::WAITING);
    if (decision.nextTrigger != 0) triggerFiredLocked(decision.nextTrigger, framesTaken + 1);
    return true;
}

Status HostEngine::fireTrigger() {
    thread_.assertCurrent("trigger");
    std::lock_guard<std::mutex> lock(mutex);
    Status status = gate(VideoInput::Operation::TRIGGER, state_);
    if (!status) return status;
    // Before the schedule turns: every frame of this trigger is stamped later.
    triggerFiredLocked(schedule_.triggersFired() + 1, manager_ == nullptr ? 0 : manager_->getFramesAcquired());
    schedule_.fire();
    changeStateLocked({VideoInput::State::WAITING}, VideoInput::State::RUNNING);
    return status;
}

std::uint64_t HostEngine::triggersFired() const {
    std::lock_guard<std::mutex> lock(mutex);
    return schedule_.triggersFired();
}

void HostEngine::adaptorReported(const imaqkit::host::Report& report) {
    try {
        std::lock_guard<std::mutex> lock(mutex);
        if (adaptorError_) return;  // the first error says what went wrong; the stop is on its way
        adaptorError_ = report;
        // Never from here: adaptorError runs on the acquisition thread, which stop
        // capture waits for.
        postStop(run_);
    } catch (...) {
        // Without memory to keep the report the run still ends.
        endEarly();
    }
}

std::optional<imaqkit::host::Report> HostEngine::adaptorError() const {
    std::lock_guard<std::mutex> lock(mutex);
    return adaptorError_;
}

void HostEngine::clearAdaptorError() {
    std::lock_guard<std::mutex> lock(mutex);
    adaptorError_.reset();
}

void HostEngine::endEarly() noexcept {
    using State = VideoInput::State;
    // Enough on its own: the adaptor ends the run at its next question, and
    // a user thread that sees the run complete stops it.
    try {
        if (!changeState({State::STARTING, State::RUNNING, State::WAITING}, State::ENDING)) return;
        std::lock_guard<std::mutex> lock(mutex);
        postStop(run_);
    } catch (...) {}
}

imaqkit::IAdaptorManager* HostEngine::createAdaptorManager(imaqkit::IAdaptor* adaptor) {
    thread_.assertCurrent("createAdaptorManager");
    // One adaptor per engine, as in the toolbox: a second one gets no manager
    // and must give up before it registers anything.
    if (manager_ != nullptr) {
        violation("createAdaptorManager: this engine already has an adaptor");
        return nullptr;
    }
    manager_ = new HostAdaptorManager(adaptor, this);
    return manager_;
}

std::uint64_t HostEngine::getFramesReceived() const { return received; }

std::uint64_t HostEngine::beginAcquisition(const AcquisitionPlan& plan) {
    std::lock_guard<std::mutex> lock(mutex);
    adaptorError_.reset();
    plan_ = plan;
    schedule_ = TriggerSchedule(plan);
    decidedTag_ = FrameTag();
    if (!plan.manualTrigger) triggerFiredLocked(1, 0);
    received = 0;
    stamps.clear();
    if (first && pool_.size() < kFramePoolSize) pool_.push_back(std::move(first));
    if (last && pool_.size() < kFramePoolSize) pool_.push_back(std::move(last));
    first.reset();
    last.reset();
    if (manager_ != nullptr) manager_->resetAcquired();
    return ++run_;
}

AcquisitionPlan HostEngine::plan() const {
    std::lock_guard<std::mutex> lock(mutex);
    return plan_;
}

bool HostEngine::acquisitionNotComplete() const {
    if (state_ == VideoInput::State::ENDING) return false;
    std::lock_guard<std::mutex> lock(mutex);
    return !schedule_.complete();
}

void HostEngine::notifyAcquired(std::uint64_t acquired) {
    if (acquired < wakeAcquired_) return;
    { std::lock_guard<std::mutex> lock(mutex); }  // a waiter is either waiting already or sees the count
    changed.notify_all();
}

bool HostEngine::waitUntil(std::chrono::milliseconds timeout, std::uint64_t wantReceived, std::uint64_t wantAcquired,
                           bool stopped) const {
    std::unique_lock<std::mutex> lock(mutex);
    ++waiters_;
    if (wantReceived > 0 && wantReceived < wakeReceived_) wakeReceived_ = wantReceived;
    if (wantAcquired > 0 && wantAcquired < wakeAcquired_) wakeAcquired_ = wantAcquired;
    const bool reached = changed.wait_for(lock, timeout, [&] {
        const std::uint64_t acquired = manager_ == nullptr ? 0 : manager_->getFramesAcquired();
        return received >= wantReceived && acquired >= wantAcquired && (!stopped || !isRunning(state_));
    });
    if (--waiters_ == 0) {
        wakeReceived_ = UINT64_MAX;
        wakeAcquired_ = UINT64_MAX;
    }
    return reached;
}

void HostEngine::violation(std::string text) {
    // Reached from the adaptor's thread (setImage, createFrame): counted even
    // when its text cannot be kept.
    ++violationCount_;
    try {
        std::lock_guard<std::mutex> lock(mutex);
        if (violations_.size() < kMaxViolations) violations_.push_back(std::move(text));
    } catch (...) {}
}

std::vector<std::string> HostEngine::violations() const {
    std::lock_guard<std::mutex> lock(mutex);
    return violations_;
}

HostAdaptorManager::~HostAdaptorManager() {
    if (engine_->manager() == this) engine_->forgetManager();
}

bool HostAdaptorManager::isAcquiring() const {
    const VideoInput::State state = engine_->state();
    return state == VideoInput::State::RUNNING || state == VideoInput::State::WAITING ||
           state == VideoInput::State::ENDING;
}

bool HostAdaptorManager::openDevice() {
    using State = VideoInput::State;
    engine_->thread().assertCurrent("openDevice");
    if (engine_->state() != State::CLOSED) return true;
    if (!adaptor_->openDevice()) return false;  // sees the device closed
    engine_->changeState({State::CLOSED}, State::OPEN);
    return true;
}

void HostAdaptorManager::closeDevice() {
    using State = VideoInput::State;
    engine_->thread().assertCurrent("closeDevice");
    if (isRunning(engine_->state())) stopAcquisition();
    if (engine_->state() == State::CLOSED) return;
    adaptor_->closeDevice();  // sees the device still open, as it must to end its thread
    engine_->changeState({State::OPEN, State::ENDED}, State::CLOSED);
}

bool HostAdaptorManager::startAcquisition() {
    using State = VideoInput::State;
    engine_->thread().assertCurrent("startAcquisition");
    if (engine_->state() == State::CLOSED) return false;
    if (isRunning(engine_->state())) return true;
    // Frames are taken from here on; the adaptor starts only while the
    // manager does not report it acquiring.
    engine_->changeState({State::OPEN, State::ENDED}, State::STARTING);
    adaptor_->startCapture();
    // Unless the host asked it to end meanwhile.
    engine_->changeState({State::STARTING}, engine_->startedState());
    return true;
}

void HostAdaptorManager::stopAcquisition(VideoInput::State after) {
    using State = VideoInput::State;
    engine_->thread().assertCurrent("stopAcquisition");
    if (!isRunning(engine_->state())) return;
    adaptor_->stopCapture();  // sees acquisition running, as it must to stop the thread
    engine_->changeState({State::STARTING, State::RUNNING, State::WAITING, State::ENDING}, after);
}

void HostAdaptorManager::getRoi(std::int32_t& xOffset, std::int32_t& yOffset, std::int32_t& width,
                                std::int32_t& height) const {
    std::lock_guard<std::mutex> lock(roiMutex_);
    if (roiSet_) {
        xOffset = roi_[0];
        yOffset = roi_[1];
        width = roi_[2];
        height = roi_[3];
        return;
    }
    xOffset = 0;
    yOffset = 0;
    width = adaptor_->getMaxWidth();
    height = adaptor_->getMaxHeight();
}

void HostAdaptorManager::setRoi(std::int32_t xOffset, std::int32_t yOffset, std::int32_t width, std::int32_t height) {
    std::lock_guard<std::mutex> lock(roiMutex_);
    roiSet_ = true;
    roi_[0] = xOffset;
    roi_[1] = yOffset;
    roi_[2] = width;
    roi_[3] = height;
}

void HostAdaptorManager::incrementFramesAcquired() { engine_->notifyAcquired(++acquired_); }

}  // namespace korimaq
