#include "adaptor_test_support.h"

#include <thread>

namespace adaptortest {

std::shared_ptr<korimaq::AdaptorLibrary> adaptorLibrary() {
    static std::shared_ptr<korimaq::AdaptorLibrary> library = [] {
#if defined(KORVIX_ADAPTOR_PATH)
        const std::string path = KORVIX_ADAPTOR_PATH;
#else
        const std::string path = korimaq::adaptorBesideExecutable();
#endif
        std::string error;
        auto loaded = korimaq::AdaptorLibrary::load(path, error);
        if (!loaded) ADD_FAILURE() << "cannot load the adaptor: " << error;
        return loaded;
    }();
    return library;
}

namespace {
std::vector<std::string> reportsOf(imaqkit::host::Report::Kind kind) {
    std::vector<std::string> texts;
    for (const auto& report : imaqkit::host::reports())
        if (report.kind == kind) texts.push_back(report.identifier + "|" + report.message);
    return texts;
}
}  // namespace

std::vector<std::string> warnings() { return reportsOf(imaqkit::host::Report::WARNING); }
std::vector<std::string> errors() { return reportsOf(imaqkit::host::Report::ERROR); }

bool waitForErrors(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kHang;
    while (errors().size() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::size_t callCount(const std::string& op, std::uint32_t camera) { return korcamsim::callCount(op, camera); }

korvix::KorvixAdaptor& korvixOf(const korimaq::VideoInput& input) {
    return *static_cast<korvix::KorvixAdaptor*>(input.adaptor());
}

void AdaptorTest::SetUp() {
    korcamsim::reset();
    // Unpaced: runs of hundreds of frames and start/stop cycles, as fast as
    // the frames are drawn.
    korcamsim::setPacing(false);
    imaqkit::host::clearReports();
    imaqkit::host::setAllocationFault(0, 0, 0);
    library = adaptorLibrary();
    ASSERT_NE(library, nullptr);
}

void AdaptorTest::TearDown() {
    imaqkit::host::setAllocationFault(0, 0, 0);
    korcamsim::clearFaults();
}

std::unique_ptr<korimaq::VideoInput> AdaptorTest::makeInput(std::int32_t camera, const std::string& format) {
    std::string error;
    auto input = library->createVideoInput(camera, format, error);
    EXPECT_NE(input, nullptr) << error;
    return input;
}

void AdaptorTest::acquireFrames(korimaq::VideoInput& input, const korimaq::AcquisitionPlan& plan) {
    ASSERT_TRUE(input.open());
    ASSERT_TRUE(input.start(plan));
    ASSERT_TRUE(input.waitUntilComplete(kHang)) << "only " << input.framesReceived() << " of " << plan.framesPerTrigger;
    input.stop();
}

}  // namespace adaptortest
