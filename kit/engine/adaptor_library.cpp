// Loading an adaptor library and driving its video inputs.
#include "host_objects.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sstream>

#if defined(_WIN32)
#  include "korwin32.h"
#else
#  include <dlfcn.h>
#  include <limits.h>
#  include <unistd.h>
#endif

namespace korimaq {
namespace {

#if defined(_WIN32)
void* openModule(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
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

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return true;
}

std::string number(double value) {
    std::ostringstream out;
    out.precision(10);
    out << value;
    return out.str();
}

}  // namespace

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
    std::shared_ptr<AdaptorLibrary> library(new AdaptorLibrary());
    library->module_ = module;
    library->path_ = path;
    library->exports_ = exports;
    exports.initializeAdaptor();
    return library;
}

AdaptorLibrary::~AdaptorLibrary() {
    if (module_ == nullptr) return;
    exports_.uninitializeAdaptor();
    closeModule(module_);
}

std::vector<DeviceEntry> AdaptorLibrary::availableHardware() {
    HostHardwareInfo hardware;
    exports_.getAvailHW(&hardware);
    return hardware.devices();
}

DeviceAttributes AdaptorLibrary::deviceAttributes(std::int32_t deviceId, const std::string& formatName,
                                                  bool triggers) {
    HostDeviceInfo device(deviceId, std::string());
    HostPropFactory factory;
    HostSourceInfo sources;
    HostTriggerInfo triggerInfo;
    exports_.getDeviceAttributes(&device, formatName.c_str(), &factory, &sources,
                                 triggers ? &triggerInfo : nullptr);
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
    input->engine_ = std::make_unique<HostEngine>(input->attributes_.properties);
    HostDeviceInfo device(deviceId, std::string());
    try {
        input->adaptor_ = exports_.createInstance(input->engine_.get(), &device, formatName.c_str());
    } catch (const std::exception& failure) {
        error = std::string("createInstance failed: ") + failure.what();
        return nullptr;
    } catch (...) {
        error = "createInstance failed with an exception";
        return nullptr;
    }
    if (input->adaptor_ == nullptr) {
        error = "createInstance gave no adaptor object";
        return nullptr;
    }
    if (input->engine_->manager() == nullptr) {
        error = "the adaptor object has no adaptor manager";
        delete input->adaptor_;
        input->adaptor_ = nullptr;
        return nullptr;
    }
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
    // The adaptor stops and closes through its manager, then the manager goes
    // with it; listeners live in the engine's container and go after it.
    delete adaptor_;
    adaptor_ = nullptr;
    engine_.reset();
}

imaqkit::IAdaptorManager* VideoInput::manager() const { return engine_->manager(); }
imaqkit::IPropContainer* VideoInput::properties() const { return engine_->getPropContainer(); }
imaqkit::IEngine* VideoInput::engine() const { return engine_.get(); }

bool VideoInput::open() {
    HostAdaptorManager* manager = engine_->manager();
    if (manager->isOpen()) return true;
    if (!manager->openDevice()) return false;
    imaqkit::IPropContainer* container = engine_->getPropContainer();
    for (const PropertyEntry& property : attributes_.properties) {
        const char* name = property.name.c_str();
        if (property.kind == imaqkit::IPropInfo::KIND_ENUM) {
            const std::string current = container->getEnumText(name);
            container->setEnumValue(name, current.c_str());
        } else if (property.kind == imaqkit::IPropInfo::KIND_DOUBLE || property.kind == imaqkit::IPropInfo::KIND_INT) {
            container->setDoubleValue(name, container->getDoubleValue(name));
        }
    }
    return true;
}

void VideoInput::endEarly() {
    engine_->endedEarly = true;
    engine_->changed.notify_all();
}

void VideoInput::setFrameSink(FrameSink* sink) {
    std::lock_guard<std::mutex> lock(engine_->mutex);
    engine_->sink = sink;
}
void VideoInput::close() { engine_->manager()->closeDevice(); }

bool VideoInput::start(std::uint32_t framesPerTrigger) {
    HostAdaptorManager* manager = engine_->manager();
    if (!manager->isOpen()) return false;
    if (manager->isAcquiring()) manager->stopAcquisition();
    engine_->beginAcquisition(framesPerTrigger);
    return manager->startAcquisition();
}

void VideoInput::stop() { engine_->manager()->stopAcquisition(); }
bool VideoInput::isOpen() const { return engine_->manager()->isOpen(); }
bool VideoInput::isAcquiring() const { return engine_->manager()->isAcquiring(); }

bool VideoInput::waitUntilComplete(std::chrono::milliseconds timeout) const {
    const std::uint32_t wanted = engine_->framesPerTrigger;
    if (wanted == 0) return false;
    return engine_->waitUntil(timeout, wanted, 0);
}

bool VideoInput::waitForFramesReceived(std::uint64_t count, std::chrono::milliseconds timeout) const {
    return engine_->waitUntil(timeout, count, 0);
}

bool VideoInput::waitForFramesAcquired(std::uint64_t count, std::chrono::milliseconds timeout) const {
    return engine_->waitUntil(timeout, 0, count);
}

bool VideoInput::setFrameGrabInterval(std::uint32_t interval) {
    if (interval < 1) return false;
    engine_->manager()->setFrameGrabInterval(interval);
    return true;
}

bool VideoInput::setRoi(std::int32_t xOffset, std::int32_t yOffset, std::int32_t width, std::int32_t height) {
    const std::int64_t maxWidth = adaptor_->getMaxWidth();
    const std::int64_t maxHeight = adaptor_->getMaxHeight();
    if (xOffset < 0 || yOffset < 0 || width <= 0 || height <= 0 || xOffset + static_cast<std::int64_t>(width) > maxWidth ||
        yOffset + static_cast<std::int64_t>(height) > maxHeight)
        return false;
    engine_->manager()->setRoi(xOffset, yOffset, width, height);
    return true;
}

bool VideoInput::setProperty(const std::string& name, const std::string& value, std::string& error) {
    const PropertyEntry* property = attributes_.find(name);
    if (property == nullptr) {
        error = "the device has no property \"" + name + "\"";
        return false;
    }
    imaqkit::IPropContainer* container = engine_->getPropContainer();
    if (property->kind == imaqkit::IPropInfo::KIND_ENUM) {
        for (const auto& choice : property->enumValues) {
            if (equalsIgnoringCase(choice.first, value)) return container->setEnumValue(name.c_str(), choice.first.c_str());
        }
        std::string choices;
        for (const auto& choice : property->enumValues) choices += (choices.empty() ? "" : ", ") + choice.first;
        error = name + " takes one of: " + choices;
        return false;
    }
    if (property->kind != imaqkit::IPropInfo::KIND_DOUBLE && property->kind != imaqkit::IPropInfo::KIND_INT) {
        error = name + " cannot be set from the command line";
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (value.empty() || end == value.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(number)) {
        error = name + " needs a finite number, not \"" + value + "\"";
        return false;
    }
    if (property->hasRange && (number < property->minimum || number > property->maximum)) {
        error = name + " must lie in [" + korimaq::number(property->minimum) + ", " +
                korimaq::number(property->maximum) + "]";
        return false;
    }
    return container->setDoubleValue(name.c_str(), number);
}

std::uint64_t VideoInput::framesReceived() const { return engine_->received; }

std::uint64_t VideoInput::framesAcquired() const {
    HostAdaptorManager* manager = engine_->manager();
    return manager == nullptr ? 0 : manager->getFramesAcquired();
}

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

std::vector<std::string> VideoInput::engineProblems() const { return engine_->problems(); }

std::string describeProperty(const PropertyEntry& property) {
    std::string line = property.name + ": ";
    switch (property.kind) {
        case imaqkit::IPropInfo::KIND_ENUM: {
            line += "enumerated {";
            std::string defaultText;
            for (std::size_t i = 0; i < property.enumValues.size(); ++i) {
                line += (i ? ", " : "") + property.enumValues[i].first;
                if (property.enumValues[i].second == property.enumDefault) defaultText = property.enumValues[i].first;
            }
            line += "}, default " + defaultText;
            break;
        }
        case imaqkit::IPropInfo::KIND_DOUBLE:
        case imaqkit::IPropInfo::KIND_INT:
            line += property.kind == imaqkit::IPropInfo::KIND_DOUBLE ? "double" : "integer";
            if (property.hasRange) line += " [" + number(property.minimum) + ", " + number(property.maximum) + "]";
            line += ", default " + number(property.defaultValue);
            break;
        default:
            line += "other";
            break;
    }
    return line + ", read-only " + property.readOnly;
}

}  // namespace korimaq
