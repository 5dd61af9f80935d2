// Cost of the virtual cameras' frames: what a fast-frame loop of a test or a
// tool pays per frame, and the RGB conversion callers run on colour frames.
#include "korcam.h"
#include "korcamsim.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

SnapshotSettings settingsFor(uint32_t width, uint32_t height, uint32_t pixelFormat) {
    SnapshotSettings settings{};
    settings.exposure = 50.0f;
    settings.gain = 1.0f;
    settings.timeout = 5000.0f;
    settings.format = FrameFormat{0, 0, width, height, pixelFormat, 1, 0, 1, 0};
    return settings;
}

// args: camera, width, height, pixel format
void FastFrame(benchmark::State& state) {
    korcamsim::reset();
    korcamsim::setPacing(false);  // as fast as frames are drawn, not at the frame rate
    const CameraHandle h = KorcamCameraOpen(static_cast<int32_t>(state.range(0)));
    const SnapshotSettings settings =
        settingsFor(static_cast<uint32_t>(state.range(1)), static_cast<uint32_t>(state.range(2)),
                    static_cast<uint32_t>(state.range(3)));
    if (h == 0 || KorcamEnableFastFrames(h, &settings) == 0) {
        state.SkipWithError("camera refused the format");
        return;
    }
    std::vector<uint8_t> raw(static_cast<std::size_t>(state.range(1) * state.range(2) * (state.range(3) ? 2 : 1)));
    for (auto _ : state) {
        KorcamTakeFastFrame(h, raw.data());
        benchmark::DoNotOptimize(raw.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * raw.size()));
    KorcamDisableFastFrames(h);
    korcamsim::reset();
}
BENCHMARK(FastFrame)->Args({3, 640, 480, 0})->Args({1, 1280, 1024, 0})->Args({2, 2048, 1536, 1});

void ConvertToRgb24(benchmark::State& state) {
    korcamsim::reset();
    const CameraHandle h = KorcamCameraOpen(1);
    const uint32_t width = static_cast<uint32_t>(state.range(0));
    const uint32_t height = static_cast<uint32_t>(state.range(1));
    const SnapshotSettings settings = settingsFor(width, height, 0);
    std::vector<uint8_t> raw(std::size_t{width} * height), bgr(raw.size() * 3);
    KorcamTakeSnapshot(h, &settings, raw.data());
    const ConversionParams params{KORCAM_DEMOSAIC_METHOD, KORCAM_COLOR_CORRECTION};
    for (auto _ : state) {
        KorcamConvertFrameToRgb24(h, bgr.data(), raw.data(), width, height, 0, &params);
        benchmark::DoNotOptimize(bgr.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bgr.size()));
    korcamsim::reset();
}
BENCHMARK(ConvertToRgb24)->Args({640, 480})->Args({1280, 1024});

}  // namespace

BENCHMARK_MAIN();
