// The engine of a video input: frames, acquisition counters and the adaptor manager.
#include "host_objects.h"

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

void HostFrame::setImage(const void* image, std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t xOffset,
              std::int32_t yOffset) {
    if (image == nullptr || imageWidth <= 0 || imageHeight <= 0 || xOffset < 0 || yOffset < 0 ||
        static_cast<std::int64_t>(xOffset) + width_ > imageWidth ||
        static_cast<std::int64_t>(yOffset) + height_ > imageHeight) {
        engine_.problem("setImage: a " + std::to_string(width_) + "x" + std::to_string(height_) +
                        " frame at (" + std::to_string(xOffset) + ", " + std::to_string(yOffset) +
                        ") does not lie in a " + std::to_string(imageWidth) + "x" +
                        std::to_string(imageHeight) + " image");
        return;
    }
    const auto* source = static_cast<const std::uint8_t*>(image);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * bytesPerPixel_;
    const std::size_t imageRowBytes = static_cast<std::size_t>(imageWidth) * bytesPerPixel_;
    if (rowBytes == imageRowBytes) {
        std::memcpy(pixels_.data(), source + static_cast<std::size_t>(yOffset) * imageRowBytes,
                    rowBytes * static_cast<std::size_t>(height_));
        return;
    }
    for (std::int32_t row = 0; row < height_; ++row) {
        const std::uint8_t* from = source + (static_cast<std::size_t>(yOffset) + row) * imageRowBytes +
                                   static_cast<std::size_t>(xOffset) * bytesPerPixel_;
        std::memcpy(pixels_.data() + static_cast<std::size_t>(row) * rowBytes, from, rowBytes);
    }
}

HostEngine::HostEngine(const std::vector<PropertyEntry>& declared) : container_(declared) {}

HostEngine::~HostEngine() = default;

imaqkit::IAdaptorFrame* HostEngine::createFrame(std::int32_t frameType, std::int32_t width, std::int32_t height) {
    std::size_t bytesPerPixel = 0;
    if (frameType == imaqkit::FRAME_BGR24) bytesPerPixel = 3;
    if (frameType == imaqkit::FRAME_MONO8) bytesPerPixel = 1;
    if (bytesPerPixel == 0 || width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * bytesPerPixel > kMaxFrameBytes) {
        problem("createFrame: no frame of type 0x" + [&] {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(frameType));
            return std::string(hex);
        }() + " and size " + std::to_string(width) + "x" + std::to_string(height));
        return nullptr;
    }
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
    if (sink != nullptr) {
        // The frame was taken before this one was handed over, so it is
        // counted already only once the adaptor increments after delivery.
        const std::uint64_t number = manager_ == nullptr ? 0 : manager_->getFramesAcquired() + 1;
        const bool more = sink->frameReceived(owned->pixels(), owned->getWidth(), owned->getHeight(),
                                              owned->getTime(), number);
        if (!more) endedEarly = true;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (manager_ == nullptr || !manager_->isAcceptingFrames()) ++late;
        ++received;
        if (stamps.size() < kMaxTimeStamps) stamps.push_back(owned->getTime());
        if (sink != nullptr) {
            if (pool_.size() < kFramePoolSize) pool_.push_back(std::move(owned));
        } else if (!first) {
            first = std::move(owned);
        } else {
            if (last && pool_.size() < kFramePoolSize) pool_.push_back(std::move(last));
            last = std::move(owned);
        }
    }
    if (received >= wakeReceived_) changed.notify_all();
}

imaqkit::IAdaptorManager* HostEngine::createAdaptorManager(imaqkit::IAdaptor* adaptor) {
    if (manager_ != nullptr) {
        problem("createAdaptorManager: this engine already has an adaptor");
        return nullptr;
    }
    manager_ = new HostAdaptorManager(adaptor, this);
    return manager_;
}

std::uint64_t HostEngine::getFramesReceived() const { return received; }

void HostEngine::beginAcquisition(std::uint32_t frames) {
    std::lock_guard<std::mutex> lock(mutex);
    framesPerTrigger = frames;
    endedEarly = false;
    received = 0;
    stamps.clear();
    if (first && pool_.size() < kFramePoolSize) pool_.push_back(std::move(first));
    if (last && pool_.size() < kFramePoolSize) pool_.push_back(std::move(last));
    first.reset();
    last.reset();
    if (manager_ != nullptr) manager_->resetAcquired();
}

bool HostEngine::acquisitionNotComplete() const {
    if (endedEarly) return false;
    const std::uint32_t wanted = framesPerTrigger;
    return wanted == 0 || received < wanted;
}

void HostEngine::notifyAcquired(std::uint64_t acquired) {
    if (acquired < wakeAcquired_) return;
    { std::lock_guard<std::mutex> lock(mutex); }  // a waiter is either waiting already or sees the count
    changed.notify_all();
}

bool HostEngine::waitUntil(std::chrono::milliseconds timeout, std::uint64_t wantReceived,
                           std::uint64_t wantAcquired) const {
    std::unique_lock<std::mutex> lock(mutex);
    ++waiters_;
    if (wantReceived > 0 && wantReceived < wakeReceived_) wakeReceived_ = wantReceived;
    if (wantAcquired > 0 && wantAcquired < wakeAcquired_) wakeAcquired_ = wantAcquired;
    const bool reached = changed.wait_for(lock, timeout, [&] {
        const std::uint64_t acquired = manager_ == nullptr ? 0 : manager_->getFramesAcquired();
        return received >= wantReceived && acquired >= wantAcquired;
    });
    if (--waiters_ == 0) {
        wakeReceived_ = UINT64_MAX;
        wakeAcquired_ = UINT64_MAX;
    }
    return reached;
}

void HostEngine::problem(std::string text) {
    std::lock_guard<std::mutex> lock(mutex);
    if (problems_.size() < 1000) problems_.push_back(std::move(text));
}

std::vector<std::string> HostEngine::problems() const {
    std::lock_guard<std::mutex> lock(mutex);
    return problems_;
}

HostAdaptorManager::~HostAdaptorManager() {
    if (engine_->manager() == this) engine_->forgetManager();
}

bool HostAdaptorManager::openDevice() {
    if (open_) return true;
    if (!adaptor_->openDevice()) return false;
    open_ = true;
    return true;
}

void HostAdaptorManager::closeDevice() {
    if (acquiring_) stopAcquisition();
    if (!open_) return;
    adaptor_->closeDevice();  // sees the device still open, as it must to end its thread
    open_ = false;
}

bool HostAdaptorManager::startAcquisition() {
    if (!open_) return false;
    if (acquiring_) return true;
    accepting_ = true;
    // The adaptor starts only while the manager does not report it acquiring.
    adaptor_->startCapture();
    acquiring_ = true;
    return true;
}

void HostAdaptorManager::stopAcquisition() {
    if (!acquiring_) return;
    adaptor_->stopCapture();  // sees acquisition running, as it must to stop the thread
    acquiring_ = false;
    accepting_ = false;
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

void HostAdaptorManager::setRoi(std::int32_t xOffset, std::int32_t yOffset, std::int32_t width,
                                std::int32_t height) {
    std::lock_guard<std::mutex> lock(roiMutex_);
    roiSet_ = true;
    roi_[0] = xOffset;
    roi_[1] = yOffset;
    roi_[2] = width;
    roi_[3] = height;
}

void HostAdaptorManager::incrementFramesAcquired() {
    engine_->notifyAcquired(++acquired_);
}

bool HostAdaptorManager::isFrameToBeDelivered() const {
    const std::uint32_t interval = grabInterval_;
    return interval <= 1 || acquired_ % interval == 0;
}

}  // namespace korimaq
