// The disk log's writer on 1280 x 1024 colour frames, in the current folder:
// - a page costs the same however many pages came before it: the last 100
//   of 2000 pages against the first 100, in CPU time of the writing thread
//   (the system's copy into its cache included) and in wall time (which
//   also holds the system's pauses once it writes its cache back to disk);
//   fwrite of the same frames shows what the system alone adds as its cache
//   fills;
// - uncompressed, against fwrite of the same bytes to the same folder.
// Ratios are printed one a line at the end.
#include "tiff_writer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 1280;
constexpr std::int32_t kHeight = 1024;
constexpr std::size_t kFrameBytes = static_cast<std::size_t>(kWidth) * kHeight * 3;
constexpr int kFramesPerRun = 100;

// Frames as a camera delivers them: each one new to the processor's caches.
constexpr std::size_t kDistinctFrames = 32;
struct Frames {
    std::vector<std::uint8_t> bytes;
    Frames() : bytes(kFrameBytes * kDistinctFrames) {
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 4096);
    }
    const std::uint8_t* operator[](int k) const { return bytes.data() + (k % kDistinctFrames) * kFrameBytes; }
    korvid::PageImage image(int k) const {
        return korvid::PageImage{(*this)[k], kFrameBytes, kWidth, kHeight, korvid::Samples::rgb};
    }
};

std::string scratchPath(const char* what) { return std::string("tiff-bench-") + what + "-" + std::to_string(getpid()); }

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Last 100 / first 100 of 2000 frames, one per run.
struct Ratios {
    std::vector<double> user, cpu, wall;
};
struct Figures {
    Ratios writerPages, fwritePages;
    std::vector<double> writerBytesPerSecond, fwriteBytesPerSecond;
};
Figures& figures() {
    static Figures all;
    return all;
}

korvid::PageInfo infoOf(int k) {
    korvid::PageInfo info;
    info.time = k / 30.0;
    info.frameNumber = static_cast<std::uint64_t>(k) + 1;
    info.relativeFrame = info.frameNumber;
    info.triggerIndex = 1;
    return info;
}

// Seconds spent on the first and on the last 100 of 2000 frames, each
// written by `write(k)`: of the thread's own work (user CPU: the writer's
// conversion, description and directory), of its CPU with the system's copy
// into its cache, and of wall time (which holds the system's pauses once it
// writes its cache back to disk).
struct Windows {
    double user[2] = {}, cpu[2] = {}, wall[2] = {};
};
double userSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) + 1e-6 * static_cast<double>(usage.ru_utime.tv_usec);
}
template <typename Write>
Windows firstAndLast100Of2000(Write write) {
    constexpr int kPages = 2000, kWindow = 100;
    sync();  // each run starts with nothing of the last one's to write back
    Windows windows;
    double user0 = 0, cpu0 = 0, wall0 = 0;
    for (int k = 0; k <= kPages; ++k) {
        const int closing = k == kWindow ? 0 : k == kPages ? 1 : -1;
        if (closing >= 0) {
            windows.user[closing] = userSeconds() - user0;
            windows.cpu[closing] = threadSeconds() - cpu0;
            windows.wall[closing] = wallSeconds() - wall0;
        }
        if (k == 0 || k == kPages - kWindow) {
            user0 = userSeconds();
            cpu0 = threadSeconds();
            wall0 = wallSeconds();
        }
        if (k < kPages) write(k);
    }
    return windows;
}

void report(benchmark::State& state, const Windows& windows, Ratios& ratios) {
    state.counters["first100_user_ms"] = windows.user[0] * 1e3;
    state.counters["last100_user_ms"] = windows.user[1] * 1e3;
    state.counters["first100_cpu_ms"] = windows.cpu[0] * 1e3;
    state.counters["last100_cpu_ms"] = windows.cpu[1] * 1e3;
    state.counters["first100_wall_ms"] = windows.wall[0] * 1e3;
    state.counters["last100_wall_ms"] = windows.wall[1] * 1e3;
    ratios.user.push_back(windows.user[1] / windows.user[0]);
    ratios.cpu.push_back(windows.cpu[1] / windows.cpu[0]);
    ratios.wall.push_back(windows.wall[1] / windows.wall[0]);
}

void BM_PageCostFirstAndLast100Of2000(benchmark::State& state) {
    const Frames frames;
    for (auto _ : state) {
        const std::string path = scratchPath("pages") + ".tif";
        Windows windows;
        {
            korvid::TiffWriter writer(path, korvid::Compression::none, "{\"Name\":\"bench\"}");
            windows = firstAndLast100Of2000([&](int k) { writer.append(frames.image(k), infoOf(k)); });
            writer.close();
        }
        std::remove(path.c_str());
        report(state, windows, figures().writerPages);
    }
}
BENCHMARK(BM_PageCostFirstAndLast100Of2000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The same 2000 frames with fwrite: what the system's cache adds as it fills.
void BM_FwriteCostFirstAndLast100Of2000(benchmark::State& state) {
    const Frames frames;
    for (auto _ : state) {
        const std::string path = scratchPath("fwrite-pages") + ".raw";
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            state.SkipWithError("cannot create a file in the current folder");
            return;
        }
        const Windows windows = firstAndLast100Of2000([&](int k) { std::fwrite(frames[k], 1, kFrameBytes, file); });
        std::fclose(file);
        std::remove(path.c_str());
        report(state, windows, figures().fwritePages);
    }
}
BENCHMARK(BM_FwriteCostFirstAndLast100Of2000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// 100 frames to a new file, which is then removed (its pages never need to
// reach the disk).
void BM_WriterUncompressed(benchmark::State& state) {
    const Frames frames;
    for (auto _ : state) {
        const std::string path = scratchPath("writer") + ".tif";
        sync();  // nothing of earlier runs left to write back in the measured time
        const double start = wallSeconds();
        {
            korvid::TiffWriter writer(path, korvid::Compression::none, "");
            for (int k = 0; k < kFramesPerRun; ++k) writer.append(frames.image(k), infoOf(k));
            writer.close();
        }
        figures().writerBytesPerSecond.push_back(kFrameBytes * kFramesPerRun / (wallSeconds() - start));
        std::remove(path.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrameBytes * kFramesPerRun);
}
BENCHMARK(BM_WriterUncompressed)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FwriteSameBytes(benchmark::State& state) {
    const Frames frames;
    for (auto _ : state) {
        const std::string path = scratchPath("fwrite") + ".raw";
        sync();  // nothing of earlier runs left to write back in the measured time
        const double start = wallSeconds();
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            state.SkipWithError("cannot create a file in the current folder");
            return;
        }
        for (int k = 0; k < kFramesPerRun; ++k) std::fwrite(frames[k], 1, kFrameBytes, file);
        std::fclose(file);
        figures().fwriteBytesPerSecond.push_back(kFrameBytes * kFramesPerRun / (wallSeconds() - start));
        std::remove(path.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrameBytes * kFramesPerRun);
}
BENCHMARK(BM_FwriteSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const Figures& f = figures();
    if (!f.writerPages.user.empty())
        std::printf(
            "TIFF page cost, last 100 of 2000 frames / first 100: %.2f in the writer's own CPU time (user), "
            "%.2f with the system's (thread CPU), %.2f in wall time\n",
            median(f.writerPages.user), median(f.writerPages.cpu), median(f.writerPages.wall));
    if (!f.fwritePages.user.empty())
        std::printf(
            "fwrite of the same frames, last 100 / first 100: %.2f thread CPU, %.2f wall "
            "(what the system adds as its cache fills)\n",
            median(f.fwritePages.cpu), median(f.fwritePages.wall));
    if (!f.writerBytesPerSecond.empty() && !f.fwriteBytesPerSecond.empty())
        std::printf("TIFF writer throughput (uncompressed) / fwrite of the same bytes: %.2f (%.0f and %.0f MB/s)\n",
                    median(f.writerBytesPerSecond) / median(f.fwriteBytesPerSecond),
                    median(f.writerBytesPerSecond) / 1e6, median(f.fwriteBytesPerSecond) / 1e6);
    return 0;
}
