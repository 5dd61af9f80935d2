// What getdata does with frames already logged: take 100 frames of
// 1280 x 1024 from the log and rearrange each into its block of a
// [height width 3 100] uint8 array with the gateway's fill, against memcpy of
// the same bytes. The array is allocated once (warm), as the figures of the
// pixel benchmark are; the host's allocation of a fresh array is in the
// Octave benchmark (bench/octave/videoinput_bench.m).
#include "frame_log.h"
#include "pixels.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 1280;
constexpr std::int32_t kHeight = 1024;
constexpr std::size_t kFrames = 100;
constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kWidth) * kHeight * 3;

void fillLog(korvid::FrameLog& log) {
    log.begin(0, korimaq::AcquisitionPlan{0, 1});
    for (std::size_t k = 0; k < kFrames; ++k) {
        std::vector<std::uint8_t> pixels(kFrameBytes, static_cast<std::uint8_t>(k));
        log.frameReceived(pixels, kWidth, kHeight, static_cast<double>(k), k + 1);
    }
}

void BM_GetdataFill(benchmark::State& state) {
    korvid::MemoryBudget budget;
    korvid::FrameLog log(budget);
    std::vector<std::uint8_t> out(kFrameBytes * kFrames, 1);
    for (auto _ : state) {
        state.PauseTiming();
        fillLog(log);
        state.ResumeTiming();
        const auto frames = log.take(kFrames);
        for (std::size_t k = 0; k < frames.size(); ++k)
            kor::pixels::fillImage8(frames[k]->pixels.data(), kWidth, kHeight, out.data() + k * kFrameBytes,
                                    kor::pixels::denseLayout(kWidth, kHeight));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrameBytes * kFrames);
}
BENCHMARK(BM_GetdataFill)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Memcpy(benchmark::State& state) {
    std::vector<std::vector<std::uint8_t>> frames(kFrames, std::vector<std::uint8_t>(kFrameBytes, 2));
    std::vector<std::uint8_t> out(kFrameBytes * kFrames, 1);
    for (auto _ : state) {
        for (std::size_t k = 0; k < kFrames; ++k)
            std::memcpy(out.data() + k * kFrameBytes, frames[k].data(), kFrameBytes);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrameBytes * kFrames);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
