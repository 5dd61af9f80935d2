// Frames per second that the acquisition adaptor delivers to the host engine,
// against the virtual camera's own loop of KorcamTakeFastFrame plus the same
// per-frame conversion (SDK RGB conversion for colour, the adaptor's own band
// replication for monochrome) over the same frames, measured in the same run. Pacing is off.
//
// Each iteration is one batch of kBatch frames. The summary after the table
// gives the adaptor's cost over the bare loop: loop rate / adaptor rate - 1.
#include "band_replication.h"
#include "imaqkit_host.h"
#include "korcam.h"
#include "korcamsim.h"
#include "korimaq_engine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kBatch = 50;

// Colour: camera 1 (1280 x 1024 sensor). Monochrome: camera 2 (2048 x 1536).
std::int32_t cameraFor(bool colour) { return colour ? 1 : 2; }

std::shared_ptr<korimaq::AdaptorLibrary> adaptorLibrary() {
    static std::shared_ptr<korimaq::AdaptorLibrary> library = [] {
        std::string error;
        auto loaded = korimaq::AdaptorLibrary::load(KORVIX_ADAPTOR_PATH, error);
        if (!loaded) std::fprintf(stderr, "adaptor_bench: %s\n", error.c_str());
        return loaded;
    }();
    return library;
}

const char* formatName(std::int64_t width) { return width == 640 ? "640x480" : "1280x1024"; }

// args: width, height, colour
void AdaptorDelivery(benchmark::State& state) {
    korcamsim::reset();
    korcamsim::setPacing(false);  // as fast as frames are drawn, not at the frame rate
    auto library = adaptorLibrary();
    if (!library) {
        state.SkipWithError("the adaptor library cannot be loaded");
        return;
    }
    const bool colour = state.range(2) != 0;
    std::string error;
    auto input = library->createVideoInput(cameraFor(colour), formatName(state.range(0)), error);
    if (!input || !input->open()) {
        state.SkipWithError(("cannot open the camera: " + error).c_str());
        return;
    }
    for (auto _ : state) {
        if (!input->start({kBatch}) || !input->waitUntilComplete(std::chrono::seconds(60))) {
            state.SkipWithError("the acquisition did not complete");
            break;
        }
        input->stop();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch);
    input.reset();
    korcamsim::reset();
    imaqkit::host::clearReports();
}

// args: width, height, colour; copyFrames: also copy each image into one of
// two frame buffers, as the host engine's frames do with the adaptor's image.
void cameraLoop(benchmark::State& state, bool copyFrames) {
    korcamsim::reset();
    korcamsim::setPacing(false);  // as fast as frames are drawn, not at the frame rate
    const bool colour = state.range(2) != 0;
    const std::int32_t camera = cameraFor(colour);
    const std::uint32_t width = static_cast<std::uint32_t>(state.range(0));
    const std::uint32_t height = static_cast<std::uint32_t>(state.range(1));
    const CameraHandle handle = KorcamCameraOpen(camera);
    float sensorWidth = 0;
    float sensorHeight = 0;
    std::int32_t flags = 0;
    KorcamGetProperty(handle, KORCAM_PROP_MAX_WIDTH, &sensorWidth, &flags);
    KorcamGetProperty(handle, KORCAM_PROP_MAX_HEIGHT, &sensorHeight, &flags);
    // The region the adaptor asks for: centred on the sensor.
    SnapshotSettings settings{};
    settings.exposure = 50.0f;
    settings.gain = 1.0f;
    settings.redGain = settings.blueGain = settings.green1Gain = settings.green2Gain = 1.0f;
    settings.timeout = 5000.0f;
    settings.format = FrameFormat{(static_cast<std::uint32_t>(sensorWidth) - width) / 2,
                                  (static_cast<std::uint32_t>(sensorHeight) - height) / 2,
                                  width,
                                  height,
                                  KORCAM_PIXEL_8BIT,
                                  1,
                                  0,
                                  1,
                                  0};
    std::vector<std::uint8_t> raw(std::size_t{width} * height);
    std::vector<std::uint8_t> bgr(raw.size() * 3);
    const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
    std::vector<std::uint8_t> frames[2] = {std::vector<std::uint8_t>(bgr.size()),
                                           std::vector<std::uint8_t>(bgr.size())};
    for (auto _ : state) {
        if (!KorcamEnableFastFrames(handle, &settings)) {
            state.SkipWithError("camera refused fast frames");
            break;
        }
        for (std::uint32_t frame = 0; frame < kBatch; ++frame) {
            KorcamTakeFastFrame(handle, raw.data());
            if (colour) {
                KorcamConvertFrameToRgb24(handle, bgr.data(), raw.data(), width, height, KORCAM_PIXEL_8BIT, &params);
            } else {
                korvix::replicateBands(raw.data(), bgr.data(), raw.size());
            }
            if (copyFrames) std::memcpy(frames[frame % 2].data(), bgr.data(), bgr.size());
            benchmark::DoNotOptimize(bgr.data());
            benchmark::DoNotOptimize(frames[frame % 2].data());
            benchmark::ClobberMemory();
        }
        KorcamDisableFastFrames(handle);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kBatch);
    KorcamCameraClose(handle);
    korcamsim::reset();
}

void formats(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"width", "height", "colour"});
    for (int colour : {0, 1}) {
        benchmark->Args({640, 480, colour});
        benchmark->Args({1280, 1024, colour});
    }
    // The adaptor's work happens on its own thread: count the CPU time of
    // every thread of the process, which other load on the machine leaves alone.
    benchmark->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
}

void CameraLoop(benchmark::State& state) { cameraLoop(state, false); }
void CameraLoopWithFrameCopy(benchmark::State& state) { cameraLoop(state, true); }

BENCHMARK(AdaptorDelivery)->Apply(formats);
BENCHMARK(CameraLoop)->Apply(formats);
BENCHMARK(CameraLoopWithFrameCopy)->Apply(formats);

// Keeps the frames per second of every run (means of repetitions when there are any).
class RateCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean")) continue;
            if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
            auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end()) continue;
            std::string name = run.run_name.str();
            const std::size_t slash = name.find('/');
            rates[name.substr(0, slash)][name.substr(slash + 1)] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::map<std::string, double>> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    std::printf(
        "\nFrames per second of process CPU time. Cost of the adaptor = loop rate / adaptor rate - 1\n"
        "(goal: at most 10%% over the loop); \"+copy\" is the loop that also copies every image into a\n"
        "frame buffer, the host engine's own share of the delivery.\n");
    std::printf("%-22s %10s %10s %10s %12s %12s\n", "width/height/colour", "adaptor", "loop", "loop+copy", "over loop",
                "over +copy");
    const auto& loops = collector.rates["CameraLoop"];
    const auto& copies = collector.rates["CameraLoopWithFrameCopy"];
    for (const auto& entry : collector.rates["AdaptorDelivery"]) {
        const auto loop = loops.find(entry.first);
        const auto copy = copies.find(entry.first);
        if (loop == loops.end() || copy == copies.end() || entry.second <= 0) continue;
        std::string shape = entry.first;
        for (const char* drop : {"width:", "height:", "colour:", "/process_time"}) {
            for (std::size_t at; (at = shape.find(drop)) != std::string::npos;) shape.erase(at, std::strlen(drop));
        }
        std::printf("%-22s %10.1f %10.1f %10.1f %11.1f%% %11.1f%%\n", shape.c_str(), entry.second, loop->second,
                    copy->second, 100.0 * (loop->second / entry.second - 1.0),
                    100.0 * (copy->second / entry.second - 1.0));
    }
    return 0;
}
