// The disk logger's writer thread and queue: every frame offered is written
// or counted as not written, queued frames hold budget until written, a disk
// slower than the frames makes the logger behind and a failed write stops it,
// each with the frames before written and readable; destruction finishes
// the file.
#include "disk_logger.h"
#include "tiff_readers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace korvid {
namespace {

using testing::expectLibtiffAccepts;
using testing::readWithTifffile;
using testing::scratchFolder;

constexpr std::int32_t kWidth = 16, kHeight = 8;
constexpr std::uint64_t kFrameBytes = kWidth * kHeight * 3;

std::shared_ptr<const LoggedFrame> frame(std::uint64_t n) {
    auto made = std::make_shared<LoggedFrame>();
    const std::vector<std::uint8_t> bytes(kFrameBytes, static_cast<std::uint8_t>(n));
    made->pixels = FramePixels::copyOf(bytes.data(), bytes.size());
    made->width = kWidth;
    made->height = kHeight;
    made->relativeFrame = n;
    return made;
}

PageInfo infoOf(std::uint64_t n) {
    PageInfo info;
    info.time = 0.05 * static_cast<double>(n);
    info.frameNumber = n;
    info.relativeFrame = n;
    info.triggerIndex = 1;
    return info;
}

struct Offered {
    std::uint64_t queued = 0;
    std::uint64_t refused = 0;
    std::vector<DiskLogger::Offer> results;
};

Offered offerFrames(DiskLogger& logger, std::uint64_t count) {
    Offered offered;
    for (std::uint64_t n = 1; n <= count; ++n) {
        const auto result = logger.offer(frame(n), Samples::rgb, infoOf(n));
        offered.results.push_back(result);
        (result == DiskLogger::Offer::queued ? offered.queued : offered.refused)++;
    }
    return offered;
}

// The pages of the file are frames 1..count, in order.
void expectPages(const std::string& path, std::uint64_t count) {
    expectLibtiffAccepts(path, count);
    const auto read = readWithTifffile(path);
    ASSERT_EQ(read.pages.size(), count);
    for (std::uint64_t n = 1; n <= count; ++n) {
        EXPECT_EQ(read.pages[n - 1].relativeFrame, n);
        EXPECT_EQ(static_cast<std::uint8_t>(read.pixels[(n - 1) * kFrameBytes]), n);
    }
}

TEST(DiskLoggerTest, EveryFrameOfferedIsWrittenInOrderAndFinishClosesTheFile) {
    MemoryBudget budget;
    const std::string path = scratchFolder() + "/log.tif";
    DiskLogger logger(path, Compression::deflate, "{\"Name\":\"run\"}", budget);
    const Offered offered = offerFrames(logger, 20);
    EXPECT_EQ(offered.queued, 20u);
    logger.finish();
    EXPECT_EQ(logger.pagesWritten(), 20u);
    EXPECT_EQ(logger.framesNotWritten(), 0u);
    EXPECT_GE(logger.largestQueue(), 1u);
    EXPECT_FALSE(logger.failure());
    EXPECT_EQ(budget.used(), 0u);
    EXPECT_EQ(logger.offer(frame(21), Samples::rgb, infoOf(21)), DiskLogger::Offer::finished);
    EXPECT_EQ(logger.framesNotWritten(), 1u);
    expectPages(path, 20);
}

TEST(DiskLoggerTest, ADiskSlowerThanTheFramesMakesItBehindAndTheFramesQueuedBeforeAreWritten) {
    MemoryBudget budget;
    budget.setLimit(3 * kFrameBytes);
    DiskFaults slow;
    slow.delayPerPage = std::chrono::milliseconds(100);
    const std::string path = scratchFolder() + "/log.tif";
    DiskLogger logger(path, Compression::none, "", budget, slow);
    const Offered offered = offerFrames(logger, 12);
    logger.finish();

    ASSERT_GE(offered.refused, 1u) << "three frames of budget and a 100 ms page: the queue fills";
    const auto firstRefused = std::find(offered.results.begin(), offered.results.end(), DiskLogger::Offer::behind);
    ASSERT_NE(firstRefused, offered.results.end());
    EXPECT_TRUE(std::all_of(firstRefused, offered.results.end(), [](DiskLogger::Offer offer) {
        return offer == DiskLogger::Offer::behind;
    })) << "no frame is taken after the first one refused: the file has no gap";
    EXPECT_EQ(logger.pagesWritten(), offered.queued);
    EXPECT_EQ(logger.pagesWritten() + logger.framesNotWritten(), 12u);
    EXPECT_LE(logger.largestQueue(), 3u);
    const Failure failure = logger.failure();
    EXPECT_EQ(failure.identifier, "KorVideoInput:diskLoggerBehind");
    EXPECT_NE(failure.message.find("frame " + std::to_string(offered.queued + 1)), std::string::npos)
        << failure.message;
    EXPECT_EQ(budget.used(), 0u);
    expectPages(path, offered.queued);
}

TEST(DiskLoggerTest, AFailedWriteStopsTheLogNamingFileFrameAndReasonAndTheEarlierPagesStayReadable) {
    MemoryBudget budget;
    DiskFaults full;
    full.failAtPage = 4;
    full.failReason = "No space left on device";
    full.delayPerPage = std::chrono::milliseconds(5);
    const std::string path = scratchFolder() + "/log.tif";
    DiskLogger logger(path, Compression::none, "", budget, full);
    Offered offered = offerFrames(logger, 6);
    while (logger.pagesWritten() + logger.framesNotWritten() < 6)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto later = logger.offer(frame(7), Samples::rgb, infoOf(7));
    EXPECT_EQ(later, DiskLogger::Offer::failed);
    logger.finish();

    EXPECT_EQ(logger.pagesWritten(), 3u);
    EXPECT_EQ(logger.pagesWritten() + logger.framesNotWritten(), 7u);
    const Failure failure = logger.failure();
    EXPECT_EQ(failure.identifier, "KorVideoInput:diskWriteFailed");
    for (const std::string& part : {path, std::string("Frame 4 "), full.failReason})
        EXPECT_NE(failure.message.find(part), std::string::npos) << failure.message;
    EXPECT_EQ(budget.used(), 0u);
    expectPages(path, 3);
}

TEST(DiskLoggerTest, DestroyingItWhileWritingFinishesTheFile) {
    MemoryBudget budget;
    DiskFaults slow;
    slow.delayPerPage = std::chrono::milliseconds(20);
    const std::string path = scratchFolder() + "/log.tif";
    {
        DiskLogger logger(path, Compression::deflate, "", budget, slow);
        EXPECT_EQ(offerFrames(logger, 8).queued, 8u);
    }
    EXPECT_EQ(budget.used(), 0u);
    expectPages(path, 8);
}

// A header pointing to no page is no TIFF file: a log without a page goes.
TEST(DiskLoggerTest, AFileWithoutPagesIsRemoved) {
    MemoryBudget budget;
    const std::string path = scratchFolder() + "/empty.tif";
    DiskLogger logger(path, Compression::none, "", budget);
    EXPECT_FALSE(logger.waitDone(std::chrono::milliseconds(1)));
    logger.endInput();
    EXPECT_TRUE(logger.waitDone(std::chrono::seconds(60)));
    EXPECT_TRUE(logger.done());
    EXPECT_EQ(std::fopen(path.c_str(), "rb"), nullptr);
}

// A frame held in memory as well is charged once, by the memory log.
TEST(DiskLoggerTest, FramesChargedAlreadyHoldNoFurtherBudget) {
    MemoryBudget budget;
    budget.setLimit(kFrameBytes);
    ASSERT_TRUE(budget.reserve(kFrameBytes));  // the memory log's charge of the frames below
    DiskFaults slow;
    slow.delayPerPage = std::chrono::milliseconds(5);
    const std::string path = scratchFolder() + "/both.tif";
    {
        DiskLogger logger(path, Compression::none, "", budget, slow);
        for (std::uint64_t n = 1; n <= 5; ++n)
            EXPECT_EQ(logger.offer(frame(n), Samples::rgb, infoOf(n), true), DiskLogger::Offer::queued);
    }
    EXPECT_EQ(budget.used(), kFrameBytes);
    expectPages(path, 5);
}

TEST(DiskLoggerTest, FileRefusalsBecomeTheirErrors) {
    MemoryBudget budget;
    const std::string folder = scratchFolder();
    const std::string existing = folder + "/last.tif";
    {
        DiskLogger first(existing, Compression::none, "", budget);
        offerFrames(first, 1);
    }
    struct Case {
        std::string path;
        const char* identifier;
        const char* says;
    };
    for (const Case& c :
         {Case{existing, "KorVideoInput:fileExists", "Remove it or name another file"},
          Case{folder + "/missing/log.tif", "KorVideoInput:cannotCreateFile", "No such file or directory"}}) {
        try {
            DiskLogger logger(c.path, Compression::none, "", budget);
            ADD_FAILURE() << c.path << " was created";
        } catch (const TiffError& error) {
            const Failure failure = failureOf(error);
            EXPECT_EQ(failure.identifier, c.identifier);
            EXPECT_NE(failure.message.find(c.says), std::string::npos) << failure.message;
            EXPECT_NE(failure.message.find(c.path), std::string::npos) << failure.message;
        }
    }
}

}  // namespace
}  // namespace korvid
