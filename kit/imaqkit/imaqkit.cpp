// The kit functions: reports, the kit's heap, time and critical sections.
#include "imaqkit.h"
#include "imaqkit_host.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>
#include <utility>

namespace imaqkit {
namespace {

std::mutex reportMutex;
// Bounded, and dropping its oldest entry in constant time: an unplugged camera
// can report once per frame, and the acquisition thread waits for each report.
std::deque<host::Report> reportLog;
host::ReportSink reportSink = nullptr;
void* reportSinkContext = nullptr;
host::ReportSink errorHook = nullptr;
void* errorHookContext = nullptr;

std::string formatText(const char* format, va_list args) {
    if (format == nullptr) return std::string();
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return std::string(format);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void record(host::Report report) {
    host::ReportSink sink;
    void* context;
    host::ReportSink hook;
    void* hookContext;
    {
        std::lock_guard<std::mutex> lock(reportMutex);
        if (reportLog.size() >= host::kMaxReports) reportLog.pop_front();
        reportLog.push_back(report);
        sink = reportSink;
        context = reportSinkContext;
        hook = report.kind == host::Report::ERROR ? errorHook : nullptr;
        hookContext = errorHookContext;
    }
    // The hook stops the run: it is called even when the sink fails.
    if (sink != nullptr) {
        try {
            sink(report, context);
        } catch (...) {}
    }
    if (hook != nullptr) hook(report, hookContext);
}

std::mutex heapMutex;
std::size_t faultSkip = 0;
std::size_t faultCount = 0;
std::size_t faultMinimumSize = 0;
std::atomic<std::size_t> outstanding{0};

bool allocationFails(std::size_t size) {
    std::lock_guard<std::mutex> lock(heapMutex);
    if (faultCount == 0 || size < faultMinimumSize) return false;
    if (faultSkip > 0) {
        --faultSkip;
        return false;
    }
    --faultCount;
    return true;
}

// Win32 critical sections may be entered again by the thread that holds them.
class CriticalSection final : public ICriticalSection {
public:
    void enter() override {
        ++entered_;
        mutex_.lock();
    }
    void leave() override { mutex_.unlock(); }
    std::uint64_t entered() const { return entered_; }

private:
    std::recursive_mutex mutex_;
    std::atomic<std::uint64_t> entered_{0};
};

class AutoCriticalSection final : public IAutoCriticalSection {
public:
    AutoCriticalSection(ICriticalSection* section, bool releaseOnDestroy)
        : section_(section), releaseOnDestroy_(releaseOnDestroy) {}
    ~AutoCriticalSection() override {
        if (locked_ && releaseOnDestroy_) section_->leave();
    }
    void lock() override {
        if (section_ == nullptr || locked_) return;
        section_->enter();
        locked_ = true;
    }
    void unlock() override {
        if (section_ == nullptr || !locked_) return;
        locked_ = false;
        section_->leave();
    }
    bool isLocked() const override { return locked_; }

private:
    ICriticalSection* section_;
    bool releaseOnDestroy_;
    bool locked_ = false;  // touched only by the thread that owns this lock
};

}  // namespace

IAdaptorManager* createAdaptorManager(IAdaptor* adaptor, IEngine* engine) {
    return engine == nullptr ? nullptr : engine->createAdaptorManager(adaptor);
}

// Adaptors call these from their own threads, across the library's edge:
// nothing may leave them as an exception. An error whose text cannot be
// allocated is still recorded, without its words, so that it stops the run.
void adaptorError(const IAdaptor* adaptor, const char* identifier, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text;
    try {
        text = formatText(format, args);
    } catch (...) {}
    va_end(args);
    try {
        record({host::Report::ERROR, identifier ? identifier : "", std::move(text), adaptor});
    } catch (...) {
        try {
            record({host::Report::ERROR, std::string(), std::string(), adaptor});
        } catch (...) {}
    }
}

void adaptorWarn(const char* identifier, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text;
    try {
        text = formatText(format, args);
    } catch (...) {}
    va_end(args);
    try {
        record({host::Report::WARNING, identifier ? identifier : "", std::move(text), nullptr});
    } catch (...) {}
}

void* imaqmalloc(std::size_t size) {
    if (allocationFails(size)) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) ++outstanding;
    return block;
}

void imaqfree(void* block) {
    if (block == nullptr) return;
    --outstanding;
    std::free(block);
}

double getCurrentTime() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

ICriticalSection* createCriticalSection() { return new (std::nothrow) CriticalSection(); }

IAutoCriticalSection* createAutoCriticalSection(ICriticalSection* section, bool releaseOnDestroy) {
    return new (std::nothrow) AutoCriticalSection(section, releaseOnDestroy);
}

namespace host {

std::vector<Report> reports() {
    std::lock_guard<std::mutex> lock(reportMutex);
    return std::vector<Report>(reportLog.begin(), reportLog.end());
}

void clearReports() {
    std::lock_guard<std::mutex> lock(reportMutex);
    reportLog.clear();
}

void setReportSink(ReportSink sink, void* context) {
    std::lock_guard<std::mutex> lock(reportMutex);
    reportSink = sink;
    reportSinkContext = context;
}

void setErrorHook(ReportSink hook, void* context) {
    std::lock_guard<std::mutex> lock(reportMutex);
    errorHook = hook;
    errorHookContext = context;
}

std::uint64_t timesEntered(const ICriticalSection* section) {
    const auto* own = dynamic_cast<const CriticalSection*>(section);
    return own == nullptr ? 0 : own->entered();
}

void setAllocationFault(std::size_t skip, std::size_t count, std::size_t minimumSize) {
    std::lock_guard<std::mutex> lock(heapMutex);
    faultSkip = skip;
    faultCount = count;
    faultMinimumSize = minimumSize;
}

std::size_t outstandingAllocations() { return outstanding.load(); }

}  // namespace host
}  // namespace imaqkit
