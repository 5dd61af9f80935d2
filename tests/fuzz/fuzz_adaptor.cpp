// The acquisition adaptor under libFuzzer, driven through the host engine as
// the toolbox drives it: video inputs created, opened, started, stopped,
// closed and destroyed in an order the input chooses, with a schedule of
// camera and heap faults between the steps. After every step no input may
// have a violation counted by the engine and no frame may reach a sink after
// stop returned; at the end, with the faults lifted, every camera used must
// open and deliver a frame again, and unloading the adaptor must end every
// thread it started.
#include <dlfcn.h>

#include <atomic>
#include <memory>
#include <set>

#include "fuzz_faults.h"
#include "imaqkit_host.h"
#include "korimaq_engine.h"

namespace {

std::size_t gBaselineThreads = 0;

class CountingSink : public korimaq::FrameSink {
public:
    bool frameReceived(std::vector<std::uint8_t>&, std::int32_t, std::int32_t, double,
                       const korimaq::FrameTag&) override {
        if (!accepting) lateFrames.fetch_add(1);
        frames.fetch_add(1);
        return true;
    }
    std::atomic<bool> accepting{false};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> lateFrames{0};
};

struct Input {
    std::unique_ptr<CountingSink> sink = std::make_unique<CountingSink>();
    std::unique_ptr<korimaq::VideoInput> video;
    std::int32_t device = 0;
    std::uint32_t frameGrabInterval = 1;  // for the next start's plan
};

void check(const Input& input, const char* after) {
    if (input.video->violationCount() != 0) {
        for (const std::string& text : input.video->violations()) std::fprintf(stderr, "violation: %s\n", text.c_str());
        fuzz::failure("the engine counted %llu violation(s) of device %d after %s",
                      static_cast<unsigned long long>(input.video->violationCount()), input.device, after);
    }
    if (input.sink->lateFrames != 0)
        fuzz::failure("%llu frame(s) of device %d reached the sink after stop returned (after %s)",
                      static_cast<unsigned long long>(input.sink->lateFrames.load()), input.device, after);
}

void stop(Input& input) {
    input.video->stop();
    input.sink->accepting = false;
}

std::string defaultFormat(const korimaq::DeviceEntry& device) {
    for (const korimaq::FormatEntry& format : device.formats)
        if (format.isDefault) return format.name;
    return device.formats.empty() ? std::string() : device.formats.front().name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!dlopen(KORCAM_ADAPTOR_PATH, RTLD_NOW | RTLD_NODELETE)) fuzz::failure("cannot load %s", KORCAM_ADAPTOR_PATH);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (gBaselineThreads == 0) gBaselineThreads = fuzz::threadCount();
    fuzz::freshCameras();
    imaqkit::host::setAllocationFault(0, 0, 0);
    fuzz::Bytes in(data, size);
    const fuzz::FaultScope scope{false, imaqkit::host::setAllocationFault};
    std::set<std::int32_t> used;
    {
        std::string error;
        std::shared_ptr<korimaq::AdaptorLibrary> library = korimaq::AdaptorLibrary::load(KORCAM_ADAPTOR_PATH, error);
        if (!library) fuzz::failure("the adaptor did not load: %s", error.c_str());
        std::vector<Input> inputs;
        std::vector<korimaq::DeviceEntry> devices = library->availableHardware();
        for (int step = 0; step < 32 && !in.done(); ++step) {
            const std::uint8_t kind = in.byte();
            if (kind >= 208) {
                fuzz::fault(in, scope);
                continue;
            }
            if (kind >= 192 || inputs.empty()) {
                // A new input; the catalogue is read again now and then, as a
                // user who looks for cameras again would.
                if (kind & 1) devices = library->availableHardware();
                if (devices.empty() || inputs.size() >= 3) continue;
                const korimaq::DeviceEntry& device = devices[in.pick(devices.size())];
                std::string format = defaultFormat(device);
                if (!device.formats.empty() && (in.byte() & 1))
                    format = device.formats[in.pick(device.formats.size())].name;
                Input input;
                input.device = device.id;
                input.video = library->createVideoInput(device.id, format, error);
                fuzz::trace("device %d: new input, format %s%s%s\n", device.id, format.c_str(),
                            input.video ? "" : ", refused: ", input.video ? "" : error.c_str());
                if (!input.video) continue;  // the adaptor may refuse a camera that just failed
                input.video->setFrameSink(input.sink.get());
                used.insert(device.id);
                inputs.push_back(std::move(input));
                continue;
            }
            Input& input = inputs[in.pick(inputs.size())];
            static const char* const kSteps[] = {
                "open",   "start", "start", "wait", "stop", "close", "set property", "set ROI", "set grab interval",
                "destroy"};
            fuzz::trace("device %d: %s (state %s)\n", input.device, kSteps[kind % 10],
                        korimaq::stateName(input.video->state()));
            switch (kind % 10) {
                case 0: input.video->open(); break;
                case 1:
                case 2: {
                    // Frames may come before start returns; a start refused
                    // (running already, say) leaves the sink as it was.
                    const bool accepting = input.sink->accepting;
                    input.sink->accepting = true;
                    const korimaq::AcquisitionPlan plan{static_cast<std::uint32_t>(in.pick(6)),
                                                        input.frameGrabInterval};
                    if (!input.video->start(plan)) input.sink->accepting = accepting;
                    break;
                }
                case 3: input.video->waitUntilComplete(std::chrono::milliseconds(in.pick(30))); break;
                case 4: stop(input); break;
                case 5:
                    input.video->close();  // stops first when running
                    input.sink->accepting = false;
                    break;
                case 6: {
                    const auto& properties = input.video->attributes().properties;
                    if (properties.empty()) break;
                    const korimaq::PropertyEntry& property = properties[in.pick(properties.size())];
                    if (property.kind == imaqkit::IPropInfo::KIND_ENUM && !property.enumValues.empty())
                        input.video->setProperty(property.name,
                                                 property.enumValues[in.pick(property.enumValues.size())].first);
                    else
                        input.video->setProperty(property.name, fuzz::edgeNumber(in));
                    break;
                }
                case 7:
                    input.video->setRoi(static_cast<std::int32_t>(in.pick(8)), static_cast<std::int32_t>(in.pick(8)),
                                        static_cast<std::int32_t>(in.u16() % 700),
                                        static_cast<std::int32_t>(in.u16() % 500));
                    break;
                case 8: input.frameGrabInterval = static_cast<std::uint32_t>(in.pick(4)); break;
                default: {
                    stop(input);
                    check(input, "stop");
                    const std::size_t index = static_cast<std::size_t>(&input - inputs.data());
                    inputs.erase(inputs.begin() + static_cast<std::ptrdiff_t>(index));
                    continue;
                }
            }
            for (const Input& each : inputs) check(each, "a step");
        }
        for (Input& input : inputs) {
            stop(input);
            check(input, "the last stop");
        }
        inputs.clear();

        // The faults lifted, every camera used opens and delivers again.
        korcamsim::clearFaults();
        korcamsim::clearCameraCount();
        imaqkit::host::setAllocationFault(0, 0, 0);
        devices = library->availableHardware();
        for (const korimaq::DeviceEntry& device : devices) {
            // A camera that accepts no format of the table is catalogued without
            // any; an input for it stands for 640x480, which it refuses.
            if (!used.count(device.id) || device.formats.empty()) continue;
            fuzz::trace("device %d opened again, format %s of %zu\n", device.id, defaultFormat(device).c_str(),
                        device.formats.size());
            Input input;
            input.device = device.id;
            input.video = library->createVideoInput(device.id, defaultFormat(device), error);
            if (!input.video)
                fuzz::failure("device %d gives no video input after the faults: %s", device.id, error.c_str());
            input.video->setFrameSink(input.sink.get());
            if (!input.video->open()) fuzz::failure("device %d does not open again after the faults", device.id);
            input.sink->accepting = true;
            const korimaq::Status started = input.video->start({1});
            if (!started || !input.video->waitUntilComplete(std::chrono::seconds(20))) {
                const auto report = input.video->adaptorError();
                fuzz::failure("device %d delivers no frame again after the faults (start: %s; adaptor: %s)", device.id,
                              started ? "ok" : started.message.c_str(), report ? report->message.c_str() : "no error");
            }
            stop(input);
            check(input, "opening again");
        }
    }
    fuzz::expectThreads(gBaselineThreads, "after the adaptor was unloaded");
    korcamsim::reset();
    return 0;
}
