// The SDK's operations, in the order of korcam.h: one list, from which the
// simulator's operation numbers and their names are both made, so that the
// two cannot disagree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// clang-format off
#define KORCAMSIM_OPERATIONS(X) \
    X(NumCameras) \
    X(EnumCameras) \
    X(CameraOpen) \
    X(CameraClose) \
    X(GetFormat) \
    X(SetFormat) \
    X(StreamVideoControl) \
    X(DestroyDisplayWindow) \
    X(EnumAvailableFrameRates) \
    X(DisplayPropertyPage) \
    X(TakeVideo) \
    X(TakeSnapshot) \
    X(TakeFastFrame) \
    X(EnableFastFrames) \
    X(DisableFastFrames) \
    X(ConvertFrameToRgb24) \
    X(ConvertFrameToRgb48) \
    X(GetProperty) \
    X(SetProperty) \
    X(PropertyRange) \
    X(GetLastError) \
    X(EnableSynchronousSnapshots) \
    X(TakeSynchronousSnapshots) \
    X(DisableSynchronousSnapshots) \
    X(GpioRead) \
    X(GpioWrite) \
    X(GpoSelect) \
    X(QueryVersion) \
    X(QueryExternInterface) \
    X(GetCameraId) \
    X(GetTruePixelDepth) \
    X(OneShotAutoExposure) \
    X(OneShotAutoIris) \
    X(OneShotAutoWhiteBalance) \
    X(DigitalWhiteBalance) \
    X(OneShotAutoWhiteBalanceEx) \
    X(DigitalWhiteBalanceEx) \
    X(InitAutoLens) \
    X(AutoFocusStart) \
    X(AutoFocusWait) \
    X(AutoFocusStop) \
    X(AutoFocusQueryProgress)
// clang-format on

namespace korcamsim::detail {

enum Op : int {
#define KORCAMSIM_OPERATION_NUMBER(name) k##name,
    KORCAMSIM_OPERATIONS(KORCAMSIM_OPERATION_NUMBER)
#undef KORCAMSIM_OPERATION_NUMBER
        kOperationCount
};

// "Korcam" and the operation's name, by operation number.
const std::vector<std::string>& operationNameList();
// The operation of an SDK function name; none for a name that is not one.
std::optional<Op> operationNamed(const std::string& name);
// The same, or std::invalid_argument naming the unknown name.
Op requireOperation(const std::string& name);

}  // namespace korcamsim::detail
