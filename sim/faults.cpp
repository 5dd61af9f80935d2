#include "faults.h"

namespace korcamsim::detail {

void FaultSchedule::clear() {
    for (auto& fault : faults_) fault.reset();
}

uint32_t FaultSchedule::take(Op op) {
    std::optional<Fault>& fault = faults_[op];
    if (!fault) return 0;
    if (fault->skip > 0) {
        --fault->skip;
        return 0;
    }
    const uint32_t code = fault->code;
    if (fault->remaining != kAlways && --fault->remaining == 0) fault.reset();
    return code;
}

void CallLog::record(Op op, uint32_t camera, std::initializer_list<double> args) {
    if (log_.size() >= kCallLogCapacity) log_.pop_front();
    log_.push_back(CallRecord{operationNameList()[op], camera, std::vector<double>(args)});
}

std::size_t CallLog::count(Op op, uint32_t camera) const {
    const std::string& name = operationNameList()[op];
    std::size_t count = 0;
    for (const CallRecord& call : log_)
        if (call.op == name && (camera == 0 || call.camera == camera)) ++count;
    return count;
}

}  // namespace korcamsim::detail
