// The disk log's TIFF writer, its files read back by libtiff's tools and
// Python's tifffile: pages, pixels, the metadata of every page, the header,
// compression, refusals, and a write the system refuses midway.
#include "tiff_readers.h"
#include "tiff_writer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <limits>
#include <sys/resource.h>

namespace korvid {
namespace {

using testing::expectLibtiffAccepts;
using testing::readFile;
using testing::readWithTifffile;
using testing::scratchFolder;

// A frame as the log holds it: rows bottom first, blue green red; sample
// values depend on position, page and channel, so that any swap shows.
std::vector<std::uint8_t> logFrame(std::int32_t width, std::int32_t height, Samples samples, int page) {
    const int channels = static_cast<int>(samples);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * channels);
    for (std::int32_t row = 0; row < height; ++row)  // row counted from the bottom
        for (std::int32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[(static_cast<std::size_t>(row) * width + x) * channels + c] =
                    static_cast<std::uint8_t>(row * 7 + x * 3 + c * 50 + page * 11);
    return pixels;
}

// The same frame as a reader gives it: rows top first, red green blue.
std::string fileFrame(std::int32_t width, std::int32_t height, Samples samples, int page) {
    const auto in = logFrame(width, height, samples, page);
    const int channels = static_cast<int>(samples);
    std::string out;
    for (std::int32_t top = 0; top < height; ++top)
        for (std::int32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                out += static_cast<char>(
                    in[(static_cast<std::size_t>(height - 1 - top) * width + x) * channels + (channels - 1 - c)]);
    return out;
}

PageInfo infoOf(int page) {
    PageInfo info;
    info.time = page == 0 ? 0.0 : 0.1 * page + 1.0 / 3.0;  // no short decimal form
    info.absTime = {2026, 12, 11, 14, 33, 7.123456789012345 + page};
    info.frameNumber = 3 * page + 1;
    info.relativeFrame = page + 1;
    info.triggerIndex = std::uint64_t{1} << 53;
    return info;
}

// Texts and numbers that test the escaping and the precision, and what
// Python's json.dumps(..., sort_keys=True) makes of them once parsed.
std::string provenance() {
    JsonObject roi;
    roi.add("ROI", std::vector<double>{0, 0, 37, 23});
    return JsonObject()
        .add("Camera", "KC-1 \"left\"\\ bench\ttab\n")
        .add("Name", u8"caf\u00e9 \U0001F4F7")
        .add("Tag", std::string("bad \xff byte"))
        .add("Gain", 0.1 + 0.2)
        .add("Huge", 1e300)
        .add("Missing", std::numeric_limits<double>::quiet_NaN())
        .add("Frames", std::uint64_t{18446744073709551615u})
        .add("Format", roi)
        .text();
}
const char* kProvenanceAsPython =
    "{\"Camera\": \"KC-1 \\\"left\\\"\\\\ bench\\ttab\\n\", \"Format\": {\"ROI\": [0, 0, 37, 23]}, "
    "\"Frames\": 18446744073709551615, \"Gain\": 0.30000000000000004, \"Huge\": 1e+300, \"Missing\": null, "
    "\"Name\": \"caf\\u00e9 \\ud83d\\udcf7\", \"Tag\": \"bad \\ufffd byte\"}";

struct Layout {
    Samples samples;
    Compression compression;
    std::int32_t width = 37, height = 23;  // odd sizes: no row padding hides
};

class TiffLayoutTest : public ::testing::TestWithParam<Layout> {};

TEST_P(TiffLayoutTest, ReadersSeeEveryPagesPixelsAndMetadata) {
    const Layout layout = GetParam();
    const std::int32_t width = layout.width, height = layout.height;
    const int pages = 3;
    const std::string path = scratchFolder() + "/log.tif";
    {
        TiffWriter writer(path, layout.compression, provenance());
        for (int page = 0; page < pages; ++page) {
            const auto pixels = logFrame(width, height, layout.samples, page);
            writer.append(PageImage{pixels.data(), pixels.size(), width, height, layout.samples}, infoOf(page));
        }
        EXPECT_EQ(writer.pages(), 3u);
        writer.close();
    }

    const std::string bytes = readFile(path);
    ASSERT_GE(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("II\x2B\0\x08\0\0\0", 8)) << "BigTIFF, little-endian, 8-byte offsets";

    expectLibtiffAccepts(path, pages);
    const auto read = readWithTifffile(path);
    EXPECT_TRUE(read.bigtiff);
    EXPECT_TRUE(read.warnings.empty()) << read.warnings.front();
    ASSERT_EQ(read.pages.size(), static_cast<std::size_t>(pages));
    std::string expected;
    for (int page = 0; page < pages; ++page) {
        const auto& got = read.pages[page];
        const PageInfo info = infoOf(page);
        SCOPED_TRACE("page " + std::to_string(page + 1));
        EXPECT_EQ(got.width, width);
        EXPECT_EQ(got.height, height);
        EXPECT_EQ(got.samples, static_cast<int>(layout.samples));
        EXPECT_EQ(got.compression, layout.compression == Compression::deflate ? 8 : 1);
        EXPECT_EQ(got.time, info.time);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(got.absTime[k], info.absTime[k]);
        EXPECT_EQ(got.frameNumber, info.frameNumber);
        EXPECT_EQ(got.relativeFrame, info.relativeFrame);
        EXPECT_EQ(got.triggerIndex, info.triggerIndex);
        EXPECT_EQ(got.provenance, page == 0 ? kProvenanceAsPython : "-");
        expected += fileFrame(width, height, layout.samples, page);
    }
    EXPECT_TRUE(read.pixels == expected) << "tifffile's pixels differ from the frames";
}

// The large ones take several blocks of rows on their way to the file.
INSTANTIATE_TEST_SUITE_P(Layouts, TiffLayoutTest,
                         ::testing::Values(Layout{Samples::rgb, Compression::none},
                                           Layout{Samples::rgb, Compression::deflate},
                                           Layout{Samples::grey, Compression::none},
                                           Layout{Samples::grey, Compression::deflate},
                                           Layout{Samples::rgb, Compression::none, 1001, 300},
                                           Layout{Samples::rgb, Compression::deflate, 1001, 300},
                                           Layout{Samples::grey, Compression::none, 3001, 200}),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                             return std::string(info.param.samples == Samples::rgb ? "rgb" : "grey") +
                                    (info.param.compression == Compression::none ? "Uncompressed" : "Deflate") +
                                    std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

TEST(TiffWriterTest, DeflateShrinksARepetitiveFrame) {
    const std::string folder = scratchFolder();
    std::vector<std::uint8_t> flat(640 * 480 * 3, 77);
    std::uint64_t sizes[2];
    for (Compression compression : {Compression::none, Compression::deflate}) {
        const std::string path = folder + (compression == Compression::none ? "/raw.tif" : "/deflated.tif");
        TiffWriter writer(path, compression, "");
        writer.append(PageImage{flat.data(), flat.size(), 640, 480, Samples::rgb}, infoOf(0));
        writer.close();
        sizes[compression == Compression::none ? 0 : 1] = readFile(path).size();
    }
    EXPECT_GT(sizes[0], flat.size());
    EXPECT_LT(sizes[1] * 100, flat.size());
}

TEST(TiffWriterTest, AnExistingFileIsNeverReplacedAndCreationFailuresGiveTheSystemsReason) {
    const std::string folder = scratchFolder();
    const std::string existing = folder + "/last-run.tif";
    { std::ofstream(existing) << "last run's data"; }
    struct Case {
        std::string path;
        TiffError::Kind kind;
        const char* reason;
    };
    for (const Case& c :
         {Case{existing, TiffError::Kind::exists, "File exists"},
          Case{folder + "/no/such/folder.tif", TiffError::Kind::cannotCreate, "No such file or directory"},
          Case{folder, TiffError::Kind::exists, "File exists"}}) {
        SCOPED_TRACE(c.path);
        try {
            TiffWriter writer(c.path, Compression::none, "");
            ADD_FAILURE() << "created";
        } catch (const TiffError& error) {
            EXPECT_EQ(error.kind, c.kind);
            EXPECT_EQ(error.reason, c.reason);
            EXPECT_NE(std::string(error.what()).find(c.path), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(readFile(existing), "last run's data");

    const std::string badProvenance = folder + "/bad-provenance.tif";
    EXPECT_THROW(TiffWriter(badProvenance, Compression::none, "{\"Name\":\"two\nlines\"}"), std::invalid_argument);
    EXPECT_NE(access(badProvenance.c_str(), F_OK), 0) << "a refused provenance leaves no file behind";
}

TEST(TiffWriterTest, APageThatDoesNotMatchItsSizeIsRefusedAndTheFileGoesOn) {
    const std::string path = scratchFolder() + "/log.tif";
    TiffWriter writer(path, Compression::none, "");
    const auto pixels = logFrame(8, 4, Samples::rgb, 0);
    for (const PageImage& bad :
         {PageImage{pixels.data(), pixels.size(), 8, 4, Samples::grey},
          PageImage{pixels.data(), pixels.size() - 1, 8, 4, Samples::rgb},
          PageImage{pixels.data(), pixels.size(), -8, -4, Samples::rgb},
          PageImage{nullptr, pixels.size(), 8, 4, Samples::rgb}, PageImage{pixels.data(), 0, 0, 4, Samples::rgb}}) {
        try {
            writer.append(bad, infoOf(4));
            ADD_FAILURE() << "taken";
        } catch (const TiffError& error) {
            EXPECT_EQ(error.kind, TiffError::Kind::badPage);
            EXPECT_EQ(error.frame, 5u);
        }
    }
    writer.append(PageImage{pixels.data(), pixels.size(), 8, 4, Samples::rgb}, infoOf(0));
    writer.close();
    expectLibtiffAccepts(path, 1);
}

// The file-size limit makes the system refuse a write partway through a
// page, as a full disk does; the pages before it stay readable.
TEST(TiffWriterTest, AWriteTheSystemRefusesLeavesTheEarlierPagesReadable) {
    const std::string path = scratchFolder() + "/log.tif";
    const std::int32_t width = 64, height = 48;
    const auto pixels = logFrame(width, height, Samples::rgb, 0);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(pixels.size() * 5 / 2);  // two and a half pages
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::uint64_t written = 0;
    TiffError failure(TiffError::Kind::badPage, "", "", 0, "");
    {
        TiffWriter writer(path, Compression::none, "");
        try {
            for (int page = 0; page < 5; ++page) {
                writer.append(PageImage{pixels.data(), pixels.size(), width, height, Samples::rgb}, infoOf(page));
                ++written;
            }
        } catch (const TiffError& error) {
            failure = error;
        }
        try {
            writer.append(PageImage{pixels.data(), pixels.size(), width, height, Samples::rgb}, infoOf(9));
            ADD_FAILURE() << "a page after a failed write was taken";
        } catch (const TiffError& error) {
            EXPECT_EQ(error.kind, TiffError::Kind::write);
        }
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(written, 2u);
    EXPECT_EQ(failure.kind, TiffError::Kind::write);
    EXPECT_EQ(failure.reason, "File too large");
    EXPECT_EQ(failure.frame, 3u);
    EXPECT_NE(std::string(failure.what()).find("frame 3"), std::string::npos) << failure.what();
    EXPECT_NE(std::string(failure.what()).find(path), std::string::npos) << failure.what();
    expectLibtiffAccepts(path, 2);
    const auto read = readWithTifffile(path);
    ASSERT_EQ(read.pages.size(), 2u);
    EXPECT_TRUE(read.pixels == fileFrame(width, height, Samples::rgb, 0) + fileFrame(width, height, Samples::rgb, 0));
}

}  // namespace
}  // namespace korvid
