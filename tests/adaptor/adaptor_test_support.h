// Shared fixture of the adaptor tests: the adaptor library loaded through the
// host engine, the virtual cameras reset, the kit's reports and heap faults cleared.
#pragma once

#include "imaqkit_host.h"
#include "korcamsim.h"
#include "korimaq_engine.h"
#include "korvix_adaptor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace adaptortest {

// Long enough never to be reached unless something hangs.
constexpr std::chrono::milliseconds kHang{30000};

// The adaptor library, loaded once for the whole test program.
std::shared_ptr<korimaq::AdaptorLibrary> adaptorLibrary();

// "identifier|message" of each warning or error reported so far.
std::vector<std::string> warnings();
std::vector<std::string> errors();
// Waits until at least `count` errors have been reported; false after kHang.
bool waitForErrors(std::size_t count);

// Calls of one SDK operation in the virtual cameras' log (camera 0: any camera).
std::size_t callCount(const std::string& op, std::uint32_t camera = 0);

korvix::KorvixAdaptor& korvixOf(const korimaq::VideoInput& input);

class AdaptorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A video input of camera `camera` in `format`; fails the test when none is made.
    std::unique_ptr<korimaq::VideoInput> makeInput(std::int32_t camera, const std::string& format = "640x480");
    // Opens, acquires the frames of `plan` to completion and stops.
    void acquireFrames(korimaq::VideoInput& input, const korimaq::AcquisitionPlan& plan);

    std::shared_ptr<korimaq::AdaptorLibrary> library;
};

}  // namespace adaptortest
