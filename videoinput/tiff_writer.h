// The disk log's file: a multi-page BigTIFF, one page per frame, each page
// one strip of 8-bit RGB (interleaved) or 8-bit grey, uncompressed or
// deflated, and one directory whose ImageDescription is the frame's metadata
// as one line of JSON. Pages are appended at the end and linked in last, so
// the file is valid up to its last complete page whenever writing stops.
// No host or SDK calls.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace korvid {

enum class Compression { none, deflate };
enum class Samples { rgb = 3, grey = 1 };

// A frame as the log holds it: rows bottom first, and for colour blue, green,
// red per pixel; rows are dense.
struct PageImage {
    const std::uint8_t* pixels = nullptr;
    std::size_t bytes = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    Samples samples = Samples::rgb;
};

// What getdata returns for the frame beside its pixels.
struct PageInfo {
    double time = 0;                  // seconds from the first trigger
    std::array<double, 6> absTime{};  // clock vector
    std::uint64_t frameNumber = 0;
    std::uint64_t relativeFrame = 0;
    std::uint64_t triggerIndex = 0;
};

class TiffError : public std::runtime_error {
public:
    enum class Kind { exists, cannotCreate, write, badPage };
    TiffError(Kind kind, std::string path, std::string reason, std::uint64_t frame, const std::string& message)
        : std::runtime_error(message), kind(kind), path(std::move(path)), reason(std::move(reason)), frame(frame) {}
    Kind kind;
    std::string path;
    std::string reason;       // the system's words, or what is wrong with the page
    std::uint64_t frame = 0;  // RelativeFrame of the page that failed; 0 for the file itself
};

// A page that could not be written: names the file, the frame and the reason.
TiffError pageWriteError(const std::string& path, const std::string& reason, std::uint64_t frame);

// Bytes at positions of a file this process created; the platform's 64-bit
// offsets on every build.
class NewFile {
public:
    // Creates `path`, refusing one that exists (TiffError exists or cannotCreate).
    explicit NewFile(const std::string& path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    // The system's reason on failure, empty on success.
    std::string writeAt(std::uint64_t offset, const void* data, std::size_t bytes);
    std::string close();

private:
    std::intptr_t handle_;
    bool open_ = true;
};

class TiffWriter {
public:
    // Creates the file (never over an existing one) and writes its header.
    // `provenance` is one JSON object (see JsonObject), kept in the first page.
    TiffWriter(const std::string& path, Compression compression, std::string provenance);
    ~TiffWriter();  // closes the file; pages written stay
    TiffWriter(const TiffWriter&) = delete;
    TiffWriter& operator=(const TiffWriter&) = delete;

    // Appends one page: its strip and directory go at the end of the file,
    // then the previous directory (or the header) is pointed at it. Throws
    // TiffError; after a write error the file takes no more pages.
    void append(const PageImage& image, const PageInfo& info);
    void close();  // throws TiffError when the system reports a failure
    std::uint64_t pages() const { return pages_; }
    const std::string& path() const { return path_; }

private:
    [[noreturn]] void fail(TiffError::Kind kind, const std::string& reason, std::uint64_t frame);
    void write(std::uint64_t offset, const void* data, std::size_t bytes, std::uint64_t frame);
    std::uint64_t writeStrip(const PageImage& image, std::uint64_t frame);

    std::string path_;
    Compression compression_;
    std::string provenance_;
    NewFile file_;
    std::uint64_t end_ = 0;   // where the next page goes
    std::uint64_t link_ = 8;  // where the offset of the next directory goes
    std::uint64_t pages_ = 0;
    bool broken_ = false;
    std::vector<std::uint8_t> rows_;  // a block of converted rows
    std::vector<std::uint8_t> deflated_;
    std::vector<std::uint8_t> tail_;  // description and directory
};

// Rows [first, first + count) of the picture as the file holds them: top
// first, red, green, blue; `out` holds count rows.
void fileRows(const PageImage& image, std::int32_t first, std::int32_t count, std::uint8_t* out);

// One JSON object on one line, in 7-bit ASCII (as the TIFF description must
// be): doubles as the shortest text that reads back as the same value,
// non-finite ones as null, strings escaped.
class JsonObject {
public:
    JsonObject& add(const std::string& name, double value);
    JsonObject& add(const std::string& name, std::uint64_t value);
    JsonObject& add(const std::string& name, const std::string& value);
    JsonObject& add(const std::string& name, const char* value) { return add(name, std::string(value)); }
    JsonObject& add(const std::string& name, const std::vector<double>& values);
    JsonObject& add(const std::string& name, const JsonObject& object);
    std::string text() const { return text_ + "}"; }

private:
    void name(const std::string& name);
    std::string text_ = "{";
};

// A page's description; the provenance, a JSON object, only on the first page.
std::string pageDescription(const PageInfo& info, const std::string& provenance);

}  // namespace korvid
