// korvix: lists the cameras the acquisition adaptor offers, and acquires
// frames from one of them, through the host engine as the toolbox would.
//
//   korvix list [--adaptor PATH]
//   korvix acquire --camera N [--format WxH] [--frames N] [--set Name=Value]...
//                  [--interval N] [--out DIR] [--timeout SECONDS] [--adaptor PATH]
#include "korimaq_engine.h"
#include "imaqkit_host.h"

#if defined(KORVIX_WITH_PNG)
#include <png.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kUsage =
    "usage:\n"
    "  korvix list [--adaptor PATH]\n"
    "  korvix acquire --camera N [--format WxH] [--frames N] [--set Name=Value]...\n"
    "                 [--interval N] [--out DIR] [--timeout SECONDS] [--adaptor PATH]\n"
    "\n"
    "list     every attached camera: number, model, formats (default marked) and device properties\n"
    "acquire  opens camera N in a format (default: the camera's default), sets the properties given\n"
    "         with --set once the camera is open, acquires N frames (default 100) on the adaptor's\n"
    "         thread and reports the rate and the spread of the time stamps; --interval delivers every\n"
    "         N-th frame; --out writes the first and last frames as PNG files. Device properties cannot\n"
    "         change while the acquisition runs.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "korvix: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

// Adaptor reports as they happen, from the engine's and the acquisition
// thread; a camera failing every frame is shown in short.
struct ReportPrinter {
    std::atomic<unsigned> shown{0};
    std::atomic<unsigned> suppressed{0};
    static constexpr unsigned kShownAtMost = 20;
};

void printReport(const imaqkit::host::Report& report, void* context) {
    auto& printer = *static_cast<ReportPrinter*>(context);
    if (printer.shown.fetch_add(1) >= ReportPrinter::kShownAtMost) {
        ++printer.suppressed;
        return;
    }
    std::fprintf(stderr, "%s %s: %s\n", report.kind == imaqkit::host::Report::WARNING ? "warning" : "error",
                 report.identifier.c_str(), report.message.c_str());
}

bool parseCount(const std::string& text, long minimum, long maximum, long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || parsed < minimum || parsed > maximum) return false;
    value = parsed;
    return true;
}

std::shared_ptr<korimaq::AdaptorLibrary> loadAdaptor(const std::string& requested) {
    const std::string path = requested.empty() ? korimaq::adaptorBesideExecutable() : requested;
    if (path.empty()) {
        std::fprintf(stderr, "korvix: cannot tell where the adaptor library is; give --adaptor PATH\n");
        return nullptr;
    }
    std::string error;
    auto library = korimaq::AdaptorLibrary::load(path, error);
    if (!library) std::fprintf(stderr, "korvix: %s\n", error.c_str());
    return library;
}

int listCameras(const std::string& adaptorPath) {
    auto library = loadAdaptor(adaptorPath);
    if (!library) return 1;
    const std::vector<korimaq::DeviceEntry> devices = library->availableHardware();
    std::printf("Adaptor %s: %zu camera%s\n", library->path().c_str(), devices.size(), devices.size() == 1 ? "" : "s");
    for (const korimaq::DeviceEntry& device : devices) {
        std::printf("\nCamera %d: %s\n", device.id, device.name.c_str());
        std::printf("  Formats:");
        if (device.formats.empty()) std::printf(" none");
        for (std::size_t i = 0; i < device.formats.size(); ++i)
            std::printf("%s %d \"%s\"%s", i ? "," : "", device.formats[i].id, device.formats[i].name.c_str(),
                        device.formats[i].isDefault ? " (default)" : "");
        std::printf("\n");
        const korimaq::DeviceAttributes attributes = library->deviceAttributes(device.id);
        for (const korimaq::SourceEntry& source : attributes.sources)
            std::printf("  Source: %s (id %d)\n", source.name.c_str(), source.id);
        std::printf("  Device properties:\n");
        for (const korimaq::PropertyEntry& property : attributes.properties)
            std::printf("    %s\n", korimaq::describeProperty(property).c_str());
    }
    return 0;
}

#if defined(KORVIX_WITH_PNG)
// Writes a frame of blue, green, red bands as an RGB PNG.
bool writePng(const std::string& path, const korimaq::DeliveredFrame& frame, std::string& error) {
    if (frame.frameType != imaqkit::FRAME_BGR24 || frame.width <= 0 || frame.height <= 0) {
        error = "not a three-band 8-bit frame";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = std::string("cannot create it: ") + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(file);
        error = "libpng could not start";
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 3;
    std::vector<png_byte> row(rowBytes);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        error = "libpng failed while writing";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(frame.width), static_cast<png_uint_32>(frame.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Frames arrive bottom row first; a PNG starts with its top row.
    for (std::int32_t y = frame.height - 1; y >= 0; --y) {
        const std::uint8_t* source = frame.pixels.data() + static_cast<std::size_t>(y) * rowBytes;
        for (std::size_t x = 0; x < rowBytes; x += 3) {
            row[x] = source[x + 2];
            row[x + 1] = source[x + 1];
            row[x + 2] = source[x];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(file) == 0;
    if (!closed) error = "cannot finish writing it";
    return closed;
}
#endif

struct AcquireOptions {
    long camera = 0;
    std::string format;
    long frames = 100;
    long interval = 1;
    double timeoutSeconds = 60;
    std::string outDir;
    std::vector<std::pair<std::string, std::string>> settings;
};

bool splitSetting(const std::string& text, std::pair<std::string, std::string>& setting) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    setting = {text.substr(0, equals), text.substr(equals + 1)};
    return true;
}

// The catalogue entry of the camera asked for; null, with the reason
// printed, when it is not attached.
const korimaq::DeviceEntry* findCamera(const std::vector<korimaq::DeviceEntry>& devices, long camera) {
    for (const korimaq::DeviceEntry& entry : devices)
        if (entry.id == camera) return &entry;
    std::fprintf(stderr, "korvix: camera %ld is not in the catalogue (%zu camera%s attached)\n", camera, devices.size(),
                 devices.size() == 1 ? "" : "s");
    return nullptr;
}

// The format asked for, or the camera's default (its first format when it
// marks none); empty, with the reason printed, when the camera does not accept it.
std::string chooseFormat(const korimaq::DeviceEntry& device, long camera, const std::string& asked) {
    std::string format = asked;
    std::string accepted;
    bool known = false;
    for (const korimaq::FormatEntry& entry : device.formats) {
        accepted += (accepted.empty() ? "" : ", ") + entry.name;
        if (format.empty() && entry.isDefault) format = entry.name;
        if (entry.name == format) known = true;
    }
    if (format.empty() && !device.formats.empty()) {
        format = device.formats.front().name;
        known = true;
    }
    if (known) return format;
    std::fprintf(stderr, "korvix: camera %ld (%s) does not accept format \"%s\"; it accepts: %s\n", camera,
                 device.name.c_str(), format.c_str(), accepted.empty() ? "none" : accepted.c_str());
    return std::string();
}

// Opens the camera, then sets the properties given with --set: opening
// resets the strobe, the delays and the timeout. False, with the reason printed, on any refusal.
bool openAndSet(korimaq::VideoInput& input, const AcquireOptions& options) {
    if (const korimaq::Status opened = input.open(); !opened) {
        std::fprintf(stderr, "korvix: camera %ld: %s\n", options.camera, opened.message.c_str());
        return false;
    }
    for (const auto& setting : options.settings) {
        const korimaq::Status set = input.setProperty(setting.first, setting.second);
        if (!set) {
            std::fprintf(stderr, "korvix: --set %s=%s: %s\n", setting.first.c_str(), setting.second.c_str(),
                         set.message.c_str());
            return false;
        }
    }
    return true;
}

struct RunOutcome {
    bool started = false;
    bool complete = false;
    double elapsed = 0;  // seconds from start to stop
};

// Starts the plan, shows the progress until it completes, fails, or the time
// runs out, and stops.
RunOutcome runAcquisition(korimaq::VideoInput& input, const AcquireOptions& options) {
    RunOutcome outcome;
    const korimaq::AcquisitionPlan plan{static_cast<std::uint32_t>(options.frames),
                                        static_cast<std::uint32_t>(options.interval)};
    const auto started = std::chrono::steady_clock::now();
    if (const korimaq::Status began = input.start(plan); !began) {
        std::fprintf(stderr, "korvix: the acquisition did not start: %s\n", began.message.c_str());
        return outcome;
    }
    outcome.started = true;
    const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(options.timeoutSeconds));
    while (!outcome.complete && std::chrono::steady_clock::now() < deadline) {
        outcome.complete = input.waitUntilComplete(std::chrono::milliseconds(100));
        std::fprintf(stderr, "\r  %llu/%llu frames", static_cast<unsigned long long>(input.framesReceived()),
                     static_cast<unsigned long long>(plan.framesPerTrigger));
        // The engine stopped the acquisition for an error of the adaptor.
        if (!outcome.complete && !input.isAcquiring()) break;
    }
    std::fprintf(stderr, "\n");
    input.stop();
    outcome.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

// Prints what the run came to; false when it did not complete or the adaptor broke a host rule.
bool reportRun(const korimaq::VideoInput& input, const AcquireOptions& options, const RunOutcome& outcome) {
    const korimaq::TimeStampStats stats = input.timeStampStats();
    const auto failure = input.adaptorError();
    std::printf("Frames delivered: %llu of %ld%s (%llu acquired)\n",
                static_cast<unsigned long long>(input.framesReceived()), options.frames,
                outcome.complete ? ""
                : failure        ? ", stopped by an error"
                                 : ", timed out",
                static_cast<unsigned long long>(input.framesAcquired()));
    if (failure && !outcome.complete)
        std::printf("Stopped by: %s %s\n", failure->identifier.c_str(), failure->message.c_str());
    bool good = outcome.complete;
    if (input.violationCount() > 0) {
        std::printf("Host rules the adaptor broke: %llu\n", static_cast<unsigned long long>(input.violationCount()));
        for (const std::string& violation : input.violations()) std::printf("  %s\n", violation.c_str());
        good = false;
    }
    if (stats.count >= 2 && stats.last > stats.first) {
        std::printf("Frame rate: %.1f frames/s over %.3f s\n",
                    static_cast<double>(stats.count - 1) / (stats.last - stats.first), stats.last - stats.first);
        std::printf("Time stamp intervals: mean %.3f ms, min %.3f ms, max %.3f ms, std. dev. %.3f ms\n",
                    stats.meanInterval * 1e3, stats.minInterval * 1e3, stats.maxInterval * 1e3,
                    stats.stddevInterval * 1e3);
    } else {
        std::printf("Frame rate: too few frames to measure (%.3f s elapsed)\n", outcome.elapsed);
    }
    return good;
}

// Writes the first and last frames into --out; false when one is missing or cannot be written.
bool writeFrames(const korimaq::VideoInput& input, const AcquireOptions& options) {
#if defined(KORVIX_WITH_PNG)
    std::error_code made;
    std::filesystem::create_directories(options.outDir, made);
    korimaq::DeliveredFrame frame;
    const std::string stem = options.outDir + "/korvix_camera" + std::to_string(options.camera) + "_";
    const struct {
        const char* which;
        bool (korimaq::VideoInput::*get)(korimaq::DeliveredFrame&) const;
    } outputs[] = {{"first", &korimaq::VideoInput::firstFrame}, {"last", &korimaq::VideoInput::lastFrame}};
    bool written = true;
    for (const auto& output : outputs) {
        if (!(input.*output.get)(frame)) {
            std::fprintf(stderr, "korvix: no %s frame to write\n", output.which);
            written = false;
            continue;
        }
        const std::string path = stem + output.which + ".png";
        std::string error;
        if (writePng(path, frame, error)) {
            std::printf("Wrote %s (%dx%d)\n", path.c_str(), frame.width, frame.height);
        } else {
            std::fprintf(stderr, "korvix: %s: %s\n", path.c_str(), error.c_str());
            written = false;
        }
    }
    return written;
#else
    (void)input;
    std::printf("This korvix was built without PNG support: no frames written to %s\n", options.outDir.c_str());
    return true;
#endif
}

int acquire(const AcquireOptions& options, const std::string& adaptorPath) {
    auto library = loadAdaptor(adaptorPath);
    if (!library) return 1;
    const std::vector<korimaq::DeviceEntry> devices = library->availableHardware();
    const korimaq::DeviceEntry* device = findCamera(devices, options.camera);
    if (device == nullptr) return 1;
    const std::string format = chooseFormat(*device, options.camera, options.format);
    if (format.empty()) return 1;

    std::string error;
    std::unique_ptr<korimaq::VideoInput> input =
        library->createVideoInput(static_cast<std::int32_t>(options.camera), format, error);
    if (!input) {
        std::fprintf(stderr, "korvix: %s\n", error.c_str());
        return 1;
    }
    std::printf("Camera %ld (%s), format %s, %ld frame%s\n", options.camera, device->name.c_str(), format.c_str(),
                options.frames, options.frames == 1 ? "" : "s");
    std::fflush(stdout);  // before the progress on stderr
    if (!openAndSet(*input, options)) return 1;
    const RunOutcome outcome = runAcquisition(*input, options);
    if (!outcome.started) return 1;
    bool good = reportRun(*input, options, outcome);
    if (!options.outDir.empty()) good = writeFrames(*input, options) && good;
    return good ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    const std::string command = args[0];
    if (command != "list" && command != "acquire") return usageError("unknown command \"" + command + "\"");
    std::string adaptorPath;
    AcquireOptions options;
    bool cameraGiven = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& option = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : std::string();
        auto needValue = [&] { return hasValue ? 0 : usageError(option + " needs a value"); };
        if (option == "--adaptor") {
            if (needValue()) return 2;
            adaptorPath = value;
        } else if (command == "acquire" && option == "--camera") {
            if (needValue()) return 2;
            if (!parseCount(value, 1, 1000000, options.camera))
                return usageError("--camera needs a camera number from 1, not \"" + value + "\"");
            cameraGiven = true;
        } else if (command == "acquire" && option == "--format") {
            if (needValue()) return 2;
            options.format = value;
        } else if (command == "acquire" && option == "--frames") {
            if (needValue()) return 2;
            if (!parseCount(value, 1, 100000000, options.frames))
                return usageError("--frames needs a count from 1 to 100000000, not \"" + value + "\"");
        } else if (command == "acquire" && option == "--interval") {
            if (needValue()) return 2;
            if (!parseCount(value, 1, 1000000, options.interval))
                return usageError("--interval needs a count from 1, not \"" + value + "\"");
        } else if (command == "acquire" && option == "--timeout") {
            if (needValue()) return 2;
            char* end = nullptr;
            options.timeoutSeconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(options.timeoutSeconds > 0) || options.timeoutSeconds > 86400)
                return usageError("--timeout needs seconds from above 0 to 86400, not \"" + value + "\"");
        } else if (command == "acquire" && option == "--out") {
            if (needValue()) return 2;
            options.outDir = value;
        } else if (command == "acquire" && option == "--set") {
            if (needValue()) return 2;
            std::pair<std::string, std::string> setting;
            if (!splitSetting(value, setting)) return usageError(option + " needs Name=Value, not \"" + value + "\"");
            options.settings.push_back(setting);
        } else if (command == "acquire" && option == "--set-midway") {
            return usageError(
                "--set-midway is no more: device properties cannot change while the acquisition "
                "runs; give them with --set, or run korvix again with the new value");
        } else {
            return usageError("unknown option \"" + option + "\" for " + command);
        }
        ++i;
    }

    ReportPrinter printer;
    imaqkit::host::setReportSink(printReport, &printer);
    int status;
    if (command == "list") {
        status = listCameras(adaptorPath);
    } else {
        if (!cameraGiven) return usageError("acquire needs --camera N");
        status = acquire(options, adaptorPath);
    }
    imaqkit::host::setReportSink(nullptr, nullptr);
    if (printer.suppressed > 0) std::fprintf(stderr, "(%u further reports not shown)\n", printer.suppressed.load());
    return status;
}
