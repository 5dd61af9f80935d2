// Loading an adaptor library and driving its video inputs.
#include "host_objects.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>

#if defined(_WIN32)
#include "korwin32.h"
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace korimaq {
namespace {

#if defined(_WIN32)
void* openModule(const std::string& path, std::string& error) {
    // With an absolute path the adaptor's own imports (the camera library,
    // the kit) are looked for in its folder first, not only in the host's
    // folder and on PATH; Windows leaves that search undefined for a
    // relative path.
    const bool absolute = path.size() > 2 && (path[1] == ':' || (path[0] == '\\' && path[1] == '\\'));
    HMODULE module =
        absolute ? LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH) : LoadLibraryA(path.c_str());
    if (module == nullptr) error = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}
void* findSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void closeModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
void* openModule(const std::string& path, std::string& error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "dlopen failed";
    }
    return module;
}
void* findSymbol(void* module, const char* name) { return dlsym(module, name); }
void closeModule(void* module) { dlclose(module); }
#endif

template <typename Function>
bool resolve(void* module, const char* name, Function& function, std::string& error) {
    void* symbol = findSymbol(module, name);
    if (symbol == nullptr) {
        error = std::string("the library exports no ") + name;
        return false;
    }
    function = reinterpret_cast<Function>(symbol);
    return true;
}

}  // namespace

// Which engine each live adaptor reports to: adaptorError names only the adaptor.
std::mutex registryMutex;
std::map<const imaqkit::IAdaptor*, std::weak_ptr<HostEngine>> registry;

void errorHook(const imaqkit::host::Report& report, void*) {
    std::shared_ptr<HostEngine> engine;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        const auto found = registry.find(report.adaptor);
        if (found != registry.end()) engine = found->second.lock();
    }
    if (engine) engine->adaptorReported(report);
}

std::shared_ptr<AdaptorLibrary> AdaptorLibrary::load(const std::string& path, std::string& error) {
    error.clear();
    void* module = openModule(path, error);
    if (module == nullptr) {
        error = "cannot load " + path + ": " + error;
        return nullptr;
    }
    AdaptorExports exports;
    if (!resolve(module, "initializeAdaptor", exports.initializeAdaptor, error) ||
        !resolve(module, "uninitializeAdaptor", exports.uninitializeAdaptor, error) ||
        !resolve(module, "getAvailHW", exports.getAvailHW, error) ||
        !resolve(module, "getDeviceAttributes", exports.getDeviceAttributes, error) ||
        !resolve(module, "createInstance", exports.createInstance, error)) {
        error = path + ": " + error;
        closeModule(module);
        return nullptr;
    }
    imaqkit::host::setErrorHook(errorHook, nullptr);
    std::shared_ptr<AdaptorLibrary> library(new AdaptorLibrary());
    library->module_ = module;
    library->path_ = path;
    library->exports_ = exports;
    library->thread_ = std::make_unique<EngineThread>();
    library->onEngineThread([&] { exports.initializeAdaptor(); });
    return library;
}

AdaptorLibrary::~AdaptorLibrary() {
    if (module_ == nullptr) return;
    onEngineThread([&] { exports_.uninitializeAdaptor(); });
    thread_.reset();
    closeModule(module_);
}

void AdaptorLibrary::onEngineThread(const std::function<void()>& work) { thread_->run(work); }
bool AdaptorLibrary::isEngineThread() const { return thread_->isCurrent(); }

std::vector<DeviceEntry> AdaptorLibrary::availableHardware() {
    HostHardwareInfo hardware;
    onEngineThread([&] { exports_.getAvailHW(&hardware); });
    return hardware.devices();
}

DeviceAttributes AdaptorLibrary::deviceAttributes(std::int32_t deviceId, const std::string& formatName, bool triggers) {
    HostDeviceInfo device(deviceId, std::string());
    HostPropFactory factory;
    HostSourceInfo sources;
    HostTriggerInfo triggerInfo;
    onEngineThread([&] {
        exports_.getDeviceAttributes(&device, formatName.c_str(), &factory, &sources,
                                     triggers ? &triggerInfo : nullptr);
    });
    DeviceAttributes attributes;
    attributes.sources = sources.sources;
    attributes.properties = factory.declared();
    attributes.triggers = triggerInfo.configurations;
    return attributes;
}

std::unique_ptr<VideoInput> AdaptorLibrary::createVideoInput(std::int32_t deviceId, const std::string& formatName,
                                                             std::string& error) {
    error.clear();
    std::unique_ptr<VideoInput> input(new VideoInput());
    input->library_ = shared_from_this();
    input->deviceId_ = deviceId;
    input->formatName_ = formatName;
    input->attributes_ = deviceAttributes(deviceId, formatName);
    // A new engine for every adaptor object: an engine holds one adaptor.
    input->engine_ = std::make_shared<HostEngine>(input->attributes_.properties, *thread_);
    HostDeviceInfo device(deviceId, std::string());
    imaqkit::IAdaptor* adaptor = nullptr;
    try {
        onEngineThread([&] {
            adaptor = exports_.createInstance(input->engine_.get(), &device, formatName.c_str());
            if (adaptor != nullptr) input->engine_->setDeclaredFrameType(adaptor->getFrameType());
        });
    } catch (const std::exception& failure) {
        error = std::string("createInstance failed: ") + failure.what();
        return nullptr;
    } catch (...) {
        error = "createInstance failed with an exception";
        return nullptr;
    }
    if (adaptor == nullptr) {
        error = "createInstance gave no adaptor object";
        return nullptr;
    }
    input->adaptor_ = adaptor;
    std::lock_guard<std::mutex> lock(registryMutex);
    registry[adaptor] = input->engine_;
    return input;
}

std::string adaptorBesideExecutable() {
#if defined(_WIN32)
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    return folder + "korviximaq.dll";
#else
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return std::string();
    std::string folder(path, static_cast<std::size_t>(length));
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    return folder.substr(0, slash + 1) + "libkorviximaq.so";
#endif
}

VideoInput::~VideoInput() {
    if (adaptor_ != nullptr) {
        onEngineThread([&] {
            engine_->manager()->stopAcquisition();
            // The listeners point at the adaptor: they go first.
            imaqkit::IPropContainer* container = engine_->getPropContainer();
            for (const PropertyEntry& property : attributes_.properties)
                container->removeListeners(property.name.c_str());
            delete adaptor_;  // closes the device through its manager, then destroys the manager
        });
        std::lock_guard<std::mutex> lock(registryMutex);
        registry.erase(adaptor_);
        adaptor_ = nullptr;
    }
    engine_.reset();
}

imaqkit::IAdaptorManager* VideoInput::manager() const { return engine_->manager(); }
imaqkit::IPropContainer* VideoInput::properties() const { return engine_->getPropContainer(); }
imaqkit::IEngine* VideoInput::engine() const { return engine_.get(); }
void VideoInput::onEngineThread(const std::function<void()>& work) const { engine_->thread().run(work); }

VideoInput::State VideoInput::state() const { return engine_->state(); }
bool VideoInput::isAcquiring() const { return isRunning(state()); }
AcquisitionPlan VideoInput::plan() const { return engine_->plan(); }

Status VideoInput::open() {
    Status status;
    onEngineThread([&] {
        status = gate(Operation::OPEN, engine_->state());
        if (!status || engine_->state() != State::CLOSED) return;
        engine_->clearAdaptorError();
        if (!engine_->manager()->openDevice()) {
            const auto reported = engine_->adaptorError();
            status = {Status::REFUSED, "open: the adaptor could not open the device" +
                                           (reported ? ": " + reported->message : std::string())};
            return;
        }
        imaqkit::IPropContainer* container = engine_->getPropContainer();
        for (const PropertyEntry& property : attributes_.properties) {
            const char* name = property.name.c_str();
            if (property.kind == imaqkit::IPropInfo::KIND_ENUM) {
                const std::string current = container->getEnumText(name);
                container->setEnumValue(name, current.c_str());
            } else if (property.kind == imaqkit::IPropInfo::KIND_DOUBLE ||
                       property.kind == imaqkit::IPropInfo::KIND_INT) {
                container->setDoubleValue(name, container->getDoubleValue(name));
            }
        }
    });
    return status;
}

Status VideoInput::close() {
    onEngineThread([&] { engine_->manager()->closeDevice(); });  // stops first
    return Status();
}

Status VideoInput::start(const AcquisitionPlan& plan) {
    Status status;
    onEngineThread([&] {
        status = gate(Operation::START, engine_->state());
        if (status) status = checkPlan(plan);
        if (!status) return;
        engine_->beginAcquisition(plan);
        if (!engine_->manager()->startAcquisition())
            status = {Status::REFUSED, "start: the adaptor manager did not start"};
    });
    return status;
}

Status VideoInput::trigger() {
    Status status;
    onEngineThread([&] { status = engine_->fireTrigger(); });
    return status;
}

std::uint64_t VideoInput::triggersFired() const { return engine_->triggersFired(); }

Status VideoInput::stop() {
    onEngineThread([&] { engine_->manager()->stopAcquisition(); });  // nothing to do unless running
    return Status();
}

bool VideoInput::waitUntilComplete(std::chrono::milliseconds timeout) const {
    const std::uint64_t wanted = totalFrames(engine_->plan());
    if (wanted == 0) return false;
    return engine_->waitUntil(timeout, wanted, 0, true);
}

bool VideoInput::waitForFramesReceived(std::uint64_t count, std::chrono::milliseconds timeout) const {
    return engine_->waitUntil(timeout, count, 0, false);
}

bool VideoInput::waitForFramesAcquired(std::uint64_t count, std::chrono::milliseconds timeout) const {
    return engine_->waitUntil(timeout, 0, count, false);
}

bool VideoInput::waitUntilStopped(std::chrono::milliseconds timeout) const {
    return engine_->waitUntil(timeout, 0, 0, true);
}

Status VideoInput::setRoi(std::int32_t xOffset, std::int32_t yOffset, std::int32_t width, std::int32_t height) {
    Status status;
    onEngineThread([&] {
        status = gate(Operation::SET_ROI, engine_->state());
        if (!status) return;
        const std::int64_t maxWidth = adaptor_->getMaxWidth();
        const std::int64_t maxHeight = adaptor_->getMaxHeight();
        if (xOffset < 0 || yOffset < 0 || width <= 0 || height <= 0 ||
            xOffset + static_cast<std::int64_t>(width) > maxWidth ||
            yOffset + static_cast<std::int64_t>(height) > maxHeight) {
            status = {Status::BAD_VALUE, "the region of interest must lie inside the " + std::to_string(maxWidth) +
                                             "x" + std::to_string(maxHeight) + " image"};
            return;
        }
        engine_->manager()->setRoi(xOffset, yOffset, width, height);
    });
    return status;
}

Status VideoInput::setFrameSink(FrameSink* sink) {
    Status status;
    onEngineThread([&] {
        status = gate(Operation::SET_FRAME_SINK, engine_->state());
        if (!status) return;
        std::lock_guard<std::mutex> lock(engine_->mutex);
        engine_->sink = sink;
    });
    return status;
}

void VideoInput::endEarly() { engine_->endEarly(); }

Status VideoInput::setProperty(const std::string& name, const PropertyValue& value) {
    Status status;
    onEngineThread([&] {
        const State state = engine_->state();
        CheckedValue checked;
        status = gate(Operation::SET_PROPERTY, state);
        if (status) status = checkPropertyValue(attributes_, name, state, value, &checked);
        if (!status) return;
        imaqkit::IPropContainer* container = engine_->getPropContainer();
        const bool stored = checked.enumText.empty() ? container->setDoubleValue(name.c_str(), checked.number)
                                                     : container->setEnumValue(name.c_str(), checked.enumText.c_str());
        if (!stored) status = {Status::REFUSED, "the host's property container refused " + name};
    });
    return status;
}

Status VideoInput::setProperty(const std::string& name, double value) {
    return setProperty(name, PropertyValue::ofNumber(value));
}

Status VideoInput::setProperty(const std::string& name, const std::string& value) {
    return setProperty(name, PropertyValue::ofWritten(value));
}

double VideoInput::doubleValue(const std::string& name) const {
    double value = 0;
    onEngineThread([&] { value = engine_->getPropContainer()->getDoubleValue(name.c_str()); });
    return value;
}

std::string VideoInput::enumText(const std::string& name) const {
    std::string text;
    onEngineThread([&] { text = engine_->getPropContainer()->getEnumText(name.c_str()); });
    return text;
}

void VideoInput::notifyListeners(const std::string& name, double value) {
    onEngineThread(
        [&] { static_cast<HostPropContainer*>(engine_->getPropContainer())->notifyUnchecked(name.c_str(), value); });
}

std::optional<imaqkit::host::Report> VideoInput::adaptorError() const { return engine_->adaptorError(); }

std::uint64_t VideoInput::framesReceived() const { return engine_->received; }

std::uint64_t VideoInput::framesAcquired() const {
    HostAdaptorManager* manager = engine_->manager();
    return manager == nullptr ? 0 : manager->getFramesAcquired();
}

int VideoInput::frameThreadPriority() const { return engine_->frameThreadPriority; }

std::uint64_t VideoInput::lateFrames() const { return engine_->late; }

std::vector<double> VideoInput::timeStamps() const {
    std::lock_guard<std::mutex> lock(engine_->mutex);
    return engine_->stamps;
}

TimeStampStats VideoInput::timeStampStats() const {
    const std::vector<double> stamps = timeStamps();
    TimeStampStats stats;
    stats.count = stamps.size();
    if (stamps.empty()) return stats;
    stats.first = stamps.front();
    stats.last = stamps.back();
    if (stamps.size() < 2) return stats;
    const std::size_t intervals = stamps.size() - 1;
    double sum = 0;
    stats.minInterval = stamps[1] - stamps[0];
    stats.maxInterval = stats.minInterval;
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        const double interval = stamps[i] - stamps[i - 1];
        sum += interval;
        if (interval < stats.minInterval) stats.minInterval = interval;
        if (interval > stats.maxInterval) stats.maxInterval = interval;
    }
    stats.meanInterval = sum / static_cast<double>(intervals);
    double squares = 0;
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        const double deviation = stamps[i] - stamps[i - 1] - stats.meanInterval;
        squares += deviation * deviation;
    }
    stats.stddevInterval = std::sqrt(squares / static_cast<double>(intervals));
    return stats;
}

bool VideoInput::firstFrame(DeliveredFrame& frame) const {
    std::lock_guard<std::mutex> lock(engine_->mutex);
    if (!engine_->first) return false;
    engine_->first->copyTo(frame);
    return true;
}

bool VideoInput::lastFrame(DeliveredFrame& frame) const {
    std::lock_guard<std::mutex> lock(engine_->mutex);
    const HostFrame* newest = engine_->last ? engine_->last.get() : engine_->first.get();
    if (newest == nullptr) return false;
    newest->copyTo(frame);
    return true;
}

std::vector<std::string> VideoInput::violations() const { return engine_->violations(); }
std::uint64_t VideoInput::violationCount() const { return engine_->violationCount(); }

}  // namespace korimaq
