// What the simulator remembers of the calls made to it: the failures injected
// for later calls (the fault schedule) and the log of the calls themselves.
#pragma once

#include "korcamsim.h"
#include "operations.h"

#include <array>
#include <deque>
#include <initializer_list>
#include <optional>

namespace korcamsim::detail {

struct Fault {
    uint32_t code = 0;
    uint64_t remaining = 0;  // kAlways: never runs out
    uint64_t skip = 0;
};

class FaultSchedule {
public:
    void set(Op op, const Fault& fault) { faults_[op] = fault; }
    void clear();
    // The injected failure code for this call of op, or 0.
    uint32_t take(Op op);

private:
    std::array<std::optional<Fault>, kOperationCount> faults_;
};

class CallLog {
public:
    void record(Op op, uint32_t camera, std::initializer_list<double> args);
    std::vector<CallRecord> all() const { return std::vector<CallRecord>(log_.begin(), log_.end()); }
    // Calls of op on camera (0: on any camera or none).
    std::size_t count(Op op, uint32_t camera) const;
    void clear() { log_.clear(); }

private:
    std::deque<CallRecord> log_;
};

}  // namespace korcamsim::detail
