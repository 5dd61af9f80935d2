#include "operations.h"

#include <algorithm>
#include <stdexcept>

namespace korcamsim::detail {

const std::vector<std::string>& operationNameList() {
    static const std::vector<std::string> list = {
#define KORCAMSIM_OPERATION_NAME(name) "Korcam" #name,
        KORCAMSIM_OPERATIONS(KORCAMSIM_OPERATION_NAME)
#undef KORCAMSIM_OPERATION_NAME
    };
    return list;
}

std::optional<Op> operationNamed(const std::string& name) {
    const auto& list = operationNameList();
    const auto it = std::find(list.begin(), list.end(), name);
    if (it == list.end()) return std::nullopt;
    return static_cast<Op>(it - list.begin());
}

Op requireOperation(const std::string& name) {
    const std::optional<Op> op = operationNamed(name);
    if (!op) throw std::invalid_argument("no SDK operation is called '" + name + "'");
    return *op;
}

}  // namespace korcamsim::detail
