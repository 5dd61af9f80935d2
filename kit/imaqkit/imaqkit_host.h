// The host's side of the kit functions: where adaptor warnings and errors
// go, and a fault switch for the kit's heap. Hosts and tests use this; an
// adaptor never does.
#pragma once

#include "imaqkit.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace imaqkit {
namespace host {

struct Report {
    enum Kind { WARNING, ERROR };
    Kind kind;
    std::string identifier;
    std::string message;      // formatted
    const IAdaptor* adaptor;  // null for warnings
};

// Called for every report, on the reporting thread, after it was recorded.
typedef void (*ReportSink)(const Report& report, void* context);

// Every report since the last clear, in order. Thread-safe.
IMAQKIT_API std::vector<Report> reports();
IMAQKIT_API void clearReports();
// Replaces the sink (null: none). Reports are recorded whether or not a sink is set.
IMAQKIT_API void setReportSink(ReportSink sink, void* context);
// The engine's own hook for errors, apart from the user's sink: called for
// every error after the sink, on the reporting thread. It must return at once.
IMAQKIT_API void setErrorHook(ReportSink hook, void* context);
// The log keeps the newest this many reports; older ones are dropped, one at a time.
constexpr std::size_t kMaxReports = 100000;

// How often a critical section of createCriticalSection has been entered
// (directly or through a scoped lock); 0 for any other object.
IMAQKIT_API std::uint64_t timesEntered(const ICriticalSection* section);

// From now on, imaqmalloc lets `skip` requests of at least minimumSize bytes
// succeed and then fails the next `count` of them; smaller requests are
// unaffected. count 0 removes the fault.
IMAQKIT_API void setAllocationFault(std::size_t skip, std::size_t count, std::size_t minimumSize);
// Blocks that imaqmalloc handed out and imaqfree has not taken back.
IMAQKIT_API std::size_t outstandingAllocations();

}  // namespace host
}  // namespace imaqkit
