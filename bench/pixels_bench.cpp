// Speed of the pixel pipeline, as output bytes per second and as a ratio to
// memcpy of the same output bytes measured in the same run. Beside the
// gateway's kernels on one thread: what the gateway runs (the kernel split
// over as many threads as it picks for the size), the same split forced to
// two threads, the naive loops, the portable blocked loops and libyuv's
// split-then-transpose.
#include <benchmark/benchmark.h>
#include <libyuv/planar_functions.h>
#include <libyuv/rotate.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pixels.h"
#include "pixels_kernels.h"
#include "pixels_split.h"

namespace {

using kor::pixels::FillSplitOverride;
using kor::pixels::ImageLayout;
using kor::pixels::Kernels;

// Worker threads of the gateway's fills, by row of the summary ("size path").
std::map<std::string, unsigned>& gatewayWorkers() {
    static std::map<std::string, unsigned> workers;
    return workers;
}

struct FrameSize {
    uint32_t width, height;
    std::string name() const { return std::to_string(width) + "x" + std::to_string(height); }
    size_t pixels() const { return size_t{width} * height; }
};

// A warm destination is allocated and touched once before timing, as an
// array that is reused. A fresh one is mapped anew for every fill, as a new
// array: its page faults are part of the time.
enum class Destination { warm, fresh };

const char* nameOf(Destination d) { return d == Destination::warm ? "warm" : "fresh"; }

class Pages {
public:
    explicit Pages(size_t bytes) : bytes_(bytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<uint8_t*>(p);
    }
    ~Pages() { munmap(data_, bytes_); }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;
    uint8_t* data() const { return data_; }

private:
    size_t bytes_;
    uint8_t* data_;
};

// Inputs of one frame size, random, shared by every benchmark of that size.
struct Inputs {
    std::vector<uint8_t> picture8, raw;
    std::vector<uint16_t> picture16;
    explicit Inputs(const FrameSize& size) {
        std::mt19937 rng(1);
        const size_t n = size.pixels();
        picture8.resize(3 * n);
        picture16.resize(3 * n);
        raw.resize(2 * n);
        for (auto& v : picture8) v = static_cast<uint8_t>(rng());
        for (auto& v : picture16) v = static_cast<uint16_t>(rng());
        for (auto& v : raw) v = static_cast<uint8_t>(rng());
    }
};

// One timed operation: writes the output array at `out`.
using Operation = std::function<void(uint8_t* out)>;

void runTimed(benchmark::State& state, size_t outBytes, Destination destination, const Operation& operation) {
    if (destination == Destination::warm) {
        Pages out(outBytes);
        std::memset(out.data(), 1, outBytes);
        for (auto _ : state) {
            operation(out.data());
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    } else {
        for (auto _ : state) {
            Pages out(outBytes);
            operation(out.data());
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(outBytes));
}

struct Registry {
    std::vector<FrameSize> sizes{{640, 480}, {1024, 768}, {1280, 1024}, {2048, 1536}, {5120, 4096}};
    std::vector<std::unique_ptr<Inputs>> inputs;

    void add(const std::string& name, size_t outBytes, Destination d, Operation op) {
        benchmark::RegisterBenchmark((name + "/" + nameOf(d)).c_str(),
                                     [outBytes, d, op](benchmark::State& s) { runTimed(s, outBytes, d, op); })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }

    void registerAll() {
        // Name, functions, threads forced on the gateway's split (0: its own choice).
        struct Implementation {
            std::string name;
            const Kernels* kernels;
            unsigned workers;
        };
        std::vector<Implementation> kernels = {{"naive", &kor::pixels::naiveKernels(), 0},
                                               {"portable", &kor::pixels::portableKernels(), 0}};
        if (const Kernels* k = kor::pixels::ssse3Kernels()) kernels.push_back({"ssse3", k, 0});
        kernels.push_back({"gateway", &kor::pixels::gatewayKernels(), 0});
        kernels.push_back({"2-threads", &kor::pixels::gatewayKernels(), 2});

        for (const FrameSize& size : sizes) {
            inputs.push_back(std::make_unique<Inputs>(size));
            const Inputs* in = inputs.back().get();
            const uint32_t w = size.width, h = size.height;
            const size_t n = size.pixels();
            const size_t bytes8 = 3 * n, bytes16 = 6 * n;
            const ImageLayout layout = kor::pixels::denseLayout(w, h);
            const std::string sz = size.name();

            for (Destination d : {Destination::warm, Destination::fresh}) {
                add("memcpy/8bit/" + sz, bytes8, d,
                    [in, bytes8](uint8_t* out) { std::memcpy(out, in->picture8.data(), bytes8); });
                add("memcpy/16bit/" + sz, bytes16, d,
                    [in, bytes16](uint8_t* out) { std::memcpy(out, in->picture16.data(), bytes16); });

                for (const Implementation& entry : kernels) {
                    const std::string& kname = entry.name;
                    const Kernels* k = entry.kernels;
                    const unsigned workers = entry.workers;
                    // Applies the forced thread count for one timed call.
                    auto add = [&](const std::string& name, size_t outBytes, Destination d, Operation op) {
                        this->add(name, outBytes, d, [workers, op](uint8_t* out) {
                            const FillSplitOverride forced(workers);
                            op(out);
                        });
                        if (kname == "gateway") {
                            const std::string path = name.substr(0, name.find('/'));
                            gatewayWorkers()[sz + " " + path] = kor::pixels::fillWorkers(outBytes);
                        }
                    };
                    add("colour8/" + kname + "/" + sz, bytes8, d,
                        [=](uint8_t* out) { k->fillImage8(in->picture8.data(), w, h, out, layout); });
                    add("colour16/" + kname + "/" + sz, bytes16, d, [=](uint8_t* out) {
                        k->fillImage16(in->picture16.data(), w, h, reinterpret_cast<uint16_t*>(out), layout);
                    });
                    // The picture buffer of the two-pass paths is warm here,
                    // to time the pixel work alone: the gateway obtains it per
                    // call, and for large frames its page faults then cost
                    // about what the fresh destination costs.
                    auto picture8 = std::make_shared<std::vector<uint8_t>>(3 * n, 1);
                    auto picture16 = std::make_shared<std::vector<uint16_t>>(3 * n, 1);
                    add("mono8-build+fill/" + kname + "/" + sz, bytes8, d, [=](uint8_t* out) {
                        k->buildMonoPicture8(in->raw.data(), n, picture8->data());
                        k->fillImage8(picture8->data(), w, h, out, layout);
                    });
                    add("mono8-fused/" + kname + "/" + sz, bytes8, d,
                        [=](uint8_t* out) { k->fillMonoImage8(in->raw.data(), w, h, out, layout); });
                    for (bool swap : {false, true}) {
                        const std::string order = swap ? "swapped" : "native";
                        add("mono16-" + order + "-build+fill/" + kname + "/" + sz, bytes16, d, [=](uint8_t* out) {
                            k->buildMonoPicture16(in->raw.data(), n, swap, picture16->data());
                            k->fillImage16(picture16->data(), w, h, reinterpret_cast<uint16_t*>(out), layout);
                        });
                        add("mono16-" + order + "-fused/" + kname + "/" + sz, bytes16, d, [=](uint8_t* out) {
                            k->fillMonoImage16(in->raw.data(), w, h, swap, reinterpret_cast<uint16_t*>(out), layout);
                        });
                    }
                }

                // libyuv: split the picture into three planes (bottom row
                // first through a negative stride), then transpose each into
                // its page. Its planes are allocated once.
                auto planes = std::make_shared<std::vector<uint8_t>>(3 * n);
                add("colour8/libyuv/" + sz, bytes8, d, [=](uint8_t* out) {
                    uint8_t* s0 = planes->data();
                    uint8_t* s1 = s0 + n;
                    uint8_t* s2 = s1 + n;
                    const int stride = static_cast<int>(3 * w);
                    libyuv::SplitRGBPlane(in->picture8.data() + size_t{h - 1} * 3 * w, -stride, s0, static_cast<int>(w),
                                          s1, static_cast<int>(w), s2, static_cast<int>(w), static_cast<int>(w),
                                          static_cast<int>(h));
                    uint8_t* pages[3] = {s2, s1, s0};
                    for (int p = 0; p < 3; ++p)
                        libyuv::TransposePlane(pages[p], static_cast<int>(w), out + p * n, static_cast<int>(h),
                                               static_cast<int>(w), static_cast<int>(h));
                });
            }
        }
    }
};

// Prints, after the usual table, each path's throughput as a ratio to memcpy
// of the same output bytes into the same kind of destination.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the table goes to a file that tools/run-bench.sh reads.
    SummaryReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            auto it = run.counters.find("bytes_per_second");
            std::string name = run.benchmark_name();
            const std::string suffix = "/real_time";
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                name.resize(name.size() - suffix.size());
            if (it != run.counters.end()) samples_[name].push_back(it->second.value);
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        // The median of the repetitions of each benchmark.
        for (auto& [name, values] : samples_) {
            std::sort(values.begin(), values.end());
            rates_[name] = values[values.size() / 2];
        }
        // name = path/implementation/size/destination
        struct Row {
            std::map<std::string, double> ratio;
        };
        std::map<std::string, Row> rows;  // key: size/destination/path
        std::vector<std::string> columns;
        for (const auto& [name, rate] : rates_) {
            auto parts = split(name);
            if (parts.size() != 4 || parts[0] == "memcpy") continue;
            const bool wide = parts[0].find("16") != std::string::npos;
            const std::string base = "memcpy/" + std::string(wide ? "16bit/" : "8bit/") + parts[2] + "/" + parts[3];
            auto b = rates_.find(base);
            if (b == rates_.end() || b->second <= 0) continue;
            rows[parts[2] + " " + parts[3] + " " + parts[0]].ratio[parts[1]] = rate / b->second;
            if (std::find(columns.begin(), columns.end(), parts[1]) == columns.end()) columns.push_back(parts[1]);
        }
        std::printf(
            "\nThroughput as a ratio to memcpy of the same output bytes (same run, same destination kind;\n"
            "median of the repetitions)\n");
        std::printf("%-44s", "size destination path");
        for (const auto& c : columns) std::printf(" %10s", c.c_str());
        std::printf(" %8s\n", "workers");
        for (const auto& [key, row] : rows) {
            std::printf("%-44s", key.c_str());
            for (const auto& c : columns) {
                auto r = row.ratio.find(c);
                if (r == row.ratio.end())
                    std::printf(" %10s", "-");
                else
                    std::printf(" %10.3f", r->second);
            }
            // The gateway's threads for this size and path.
            const std::string size = key.substr(0, key.find(' '));
            const std::string path = key.substr(key.rfind(' ') + 1);
            auto w = gatewayWorkers().find(size + " " + path);
            if (w == gatewayWorkers().end())
                std::printf(" %8s\n", "-");
            else
                std::printf(" %8u\n", w->second);
        }
        std::printf(
            "gateway: the path KorDispatcher runs, on `workers` threads; 2-threads: the same split forced to 2\n");
        std::printf("\nmemcpy throughput, GB/s\n");
        for (const auto& [name, rate] : rates_)
            if (name.rfind("memcpy/", 0) == 0) std::printf("  %-36s %8.2f\n", name.c_str(), rate / 1e9);
        std::fflush(stdout);
    }

private:
    static std::vector<std::string> split(const std::string& name) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1)
            parts.push_back(name.substr(start, slash - start));
        parts.push_back(name.substr(start));
        return parts;
    }
    std::map<std::string, std::vector<double>> samples_;
    std::map<std::string, double> rates_;
};

}  // namespace

// What a split costs beyond the fill itself: starting and joining the
// threads of an empty fill. Below a few times this, splitting cannot pay.
void splitOverhead(benchmark::State& state) {
    const auto workers = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        size_t done = 0;
        kor::pixels::splitRange(workers * 64, 64, workers, [&](size_t begin, size_t) {
            if (begin == 0) done = 1;
        });
        benchmark::DoNotOptimize(done);
    }
}
BENCHMARK(splitOverhead)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
    Registry registry;
    registry.registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("Kernel in use by the gateway: %s\n", kor::pixels::activeKernels().name);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
