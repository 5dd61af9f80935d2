// 64-bit file offsets on 32-bit POSIX builds too; before any system header.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "tiff_writer.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#endif

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace korvid {

// ---- The file ----

#if defined(_WIN32)

namespace {

std::string systemReason(DWORD code) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason =
        length != 0 && text != nullptr ? std::string(text, length) : "system error " + std::to_string(code);
    if (text != nullptr) LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
        reason.pop_back();
    return reason;
}

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

HANDLE createNew(const std::string& path) {
    const DWORD access = GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ;
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0);
    if (wide <= 0) return CreateFileA(path.c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::wstring name(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, &name[0], wide);
    return CreateFileW(name.c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

NewFile::NewFile(const std::string& path) {
    const HANDLE handle = createNew(path);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        const bool exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        const std::string reason = systemReason(code);
        throw TiffError(exists ? TiffError::Kind::exists : TiffError::Kind::cannotCreate, path, reason, 0,
                        (exists ? "The file " + path + " exists" : "Cannot create " + path) + ": " + reason);
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
}

NewFile::~NewFile() { close(); }

std::string NewFile::writeAt(std::uint64_t offset, const void* data, std::size_t bytes) {
    const auto* next = static_cast<const char*>(data);
    while (bytes > 0) {
        // WriteFile takes 32-bit counts.
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes, std::size_t{1} << 30));
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (!WriteFile(handleOf(handle_), next, chunk, &written, &at)) return systemReason(GetLastError());
        if (written == 0) return systemReason(ERROR_DISK_FULL);
        next += written;
        offset += written;
        bytes -= written;
    }
    return {};
}

std::string NewFile::close() {
    if (!open_) return {};
    open_ = false;
    return CloseHandle(handleOf(handle_)) ? std::string() : systemReason(GetLastError());
}

#else

namespace {
std::string systemReason(int code) { return std::system_category().message(code); }
}  // namespace

NewFile::NewFile(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int code = errno;
        const bool exists = code == EEXIST;
        const std::string reason = systemReason(code);
        throw TiffError(exists ? TiffError::Kind::exists : TiffError::Kind::cannotCreate, path, reason, 0,
                        (exists ? "The file " + path + " exists" : "Cannot create " + path) + ": " + reason);
    }
    handle_ = fd;
}

NewFile::~NewFile() { close(); }

std::string NewFile::writeAt(std::uint64_t offset, const void* data, std::size_t bytes) {
    const auto* next = static_cast<const char*>(data);
    while (bytes > 0) {
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return systemReason(EFBIG);
        const ssize_t written = ::pwrite(static_cast<int>(handle_), next, bytes, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            return systemReason(errno);
        }
        if (written == 0) return systemReason(ENOSPC);
        next += written;
        offset += static_cast<std::uint64_t>(written);
        bytes -= static_cast<std::size_t>(written);
    }
    return {};
}

std::string NewFile::close() {
    if (!open_) return {};
    open_ = false;
    // Linux closes the descriptor even when close reports an error: never retried.
    return ::close(static_cast<int>(handle_)) == 0 ? std::string() : systemReason(errno);
}

#endif

// ---- Pixels ----

namespace {

void swapRedBlue(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) {
    for (std::size_t x = 0; x < bytes; x += 3) {
        out[x] = in[x + 2];
        out[x + 1] = in[x + 1];
        out[x + 2] = in[x];
    }
}

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
// Four pixels per 16-byte shuffle; each store also writes four bytes that the
// next one replaces, so the last pixels of a row go the plain way.
__attribute__((target("ssse3"))) void swapRedBlueSsse3(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::size_t x = 0;
    for (; x + 16 <= bytes; x += 12) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_shuffle_epi8(pixels, order));
    }
    swapRedBlue(in + x, out + x, bytes - x);
}

using SwapRow = void (*)(const std::uint8_t*, std::uint8_t*, std::size_t);
SwapRow swapRow() {
    static const SwapRow chosen = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") ? swapRedBlueSsse3 : swapRedBlue;
    }();
    return chosen;
}
#else
using SwapRow = void (*)(const std::uint8_t*, std::uint8_t*, std::size_t);
SwapRow swapRow() { return swapRedBlue; }
#endif

}  // namespace

void fileRows(const PageImage& image, std::int32_t first, std::int32_t count, std::uint8_t* out) {
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.samples);
    const SwapRow swap = swapRow();
    // Last row first: the frame is read in its own order, which the
    // processor's prefetching follows.
    for (std::int32_t r = count - 1; r >= 0; --r) {
        const std::uint8_t* in =
            image.pixels + static_cast<std::size_t>(image.height - 1 - (first + r)) * rowBytes;  // bottom first
        std::uint8_t* row = out + static_cast<std::size_t>(r) * rowBytes;
        if (image.samples == Samples::grey)
            std::memcpy(row, in, rowBytes);
        else
            swap(in, row, rowBytes);
    }
}

// ---- JSON ----

namespace {

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void appendHex4(std::string& out, unsigned value) {
    static const char digits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(value >> shift) & 0xF];
}

// The code point of the UTF-8 sequence at `text[i]`, advancing i; a byte that
// starts no valid sequence stands for U+FFFD.
unsigned nextCodePoint(const std::string& text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    const int more = lead >= 0xF0 && lead <= 0xF4  ? 3
                     : lead >= 0xE0 && lead < 0xF0 ? 2
                     : lead >= 0xC2 && lead < 0xE0 ? 1
                                                   : 0;
    if (more == 0 || text.size() - i < static_cast<std::size_t>(more) + 1) {
        ++i;
        return 0xFFFD;
    }
    unsigned code = lead & (0x3F >> more);
    for (int k = 1; k <= more; ++k) {
        const unsigned next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const unsigned smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<std::size_t>(more) + 1;
    return code;
}

void appendString(std::string& out, const std::string& text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const unsigned code = nextCodePoint(text, i);
            if (code >= 0x10000) {
                appendHex4(out, 0xD800 + ((code - 0x10000) >> 10));
                appendHex4(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                appendHex4(out, code);
            }
            continue;
        }
        ++i;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            appendHex4(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// One line of printable ASCII between braces: what JsonObject makes.
bool isJsonObjectLine(const std::string& text) {
    if (text.size() < 2 || text.front() != '{' || text.back() != '}') return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

void JsonObject::name(const std::string& name) {
    if (text_.size() > 1) text_ += ',';
    appendString(text_, name);
    text_ += ':';
}

JsonObject& JsonObject::add(const std::string& key, double value) {
    name(key);
    appendNumber(text_, value);
    return *this;
}

JsonObject& JsonObject::add(const std::string& key, std::uint64_t value) {
    name(key);
    text_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::add(const std::string& key, const std::string& value) {
    name(key);
    appendString(text_, value);
    return *this;
}

JsonObject& JsonObject::add(const std::string& key, const std::vector<double>& values) {
    name(key);
    text_ += '[';
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (k > 0) text_ += ',';
        appendNumber(text_, values[k]);
    }
    text_ += ']';
    return *this;
}

JsonObject& JsonObject::add(const std::string& key, const JsonObject& object) {
    name(key);
    text_ += object.text();
    return *this;
}

std::string pageDescription(const PageInfo& info, const std::string& provenance) {
    JsonObject page;
    page.add("Time", info.time)
        .add("AbsTime", std::vector<double>(info.absTime.begin(), info.absTime.end()))
        .add("FrameNumber", info.frameNumber)
        .add("RelativeFrame", info.relativeFrame)
        .add("TriggerIndex", info.triggerIndex);
    std::string text = page.text();
    if (!provenance.empty()) {
        text.pop_back();
        text += ",\"Provenance\":" + provenance + "}";
    }
    return text;
}

// ---- The TIFF file ----

namespace {

constexpr std::uint16_t kShort = 3, kLong = 4, kAscii = 2, kLong8 = 16;
constexpr int kEntries = 11;
constexpr std::size_t kDirectoryBytes = 8 + kEntries * 20 + 8;
// A quarter of a megabyte of converted rows at a time: they stay in the
// cache on their way to the system.
constexpr std::size_t kBlockBytes = std::size_t{1} << 18;
constexpr int kDeflateLevel = Z_BEST_SPEED;

void put16(std::uint8_t* at, std::uint16_t value) {
    for (int k = 0; k < 2; ++k) at[k] = static_cast<std::uint8_t>(value >> (8 * k));
}
void put64(std::uint8_t* at, std::uint64_t value) {
    for (int k = 0; k < 8; ++k) at[k] = static_cast<std::uint8_t>(value >> (8 * k));
}

// One 20-byte BigTIFF directory entry; `value` is the inline value, left
// justified (little-endian), or the offset of the values.
void putEntry(std::uint8_t*& at, std::uint16_t tag, std::uint16_t type, std::uint64_t count, std::uint64_t value) {
    put16(at, tag);
    put16(at + 2, type);
    put64(at + 4, count);
    put64(at + 12, value);
    at += 20;
}

std::uint64_t shorts(std::uint16_t a, std::uint16_t b = 0, std::uint16_t c = 0) {
    return std::uint64_t{a} | std::uint64_t{b} << 16 | std::uint64_t{c} << 32;
}

// Checked before the file is made, so that a refusal leaves no file behind.
std::string checkedProvenance(std::string provenance) {
    if (!provenance.empty() && !isJsonObjectLine(provenance))
        throw std::invalid_argument("the provenance must be one JSON object on one line of ASCII");
    return provenance;
}

}  // namespace

TiffWriter::TiffWriter(const std::string& path, Compression compression, std::string provenance)
    : path_(path), compression_(compression), provenance_(checkedProvenance(std::move(provenance))), file_(path) {
    // "II", 43, offsets of 8 bytes, and no directory yet.
    std::uint8_t header[16] = {'I', 'I', 43, 0, 8, 0, 0, 0};
    write(0, header, sizeof header, 0);
    end_ = sizeof header;
}

TiffWriter::~TiffWriter() { file_.close(); }

TiffError pageWriteError(const std::string& path, const std::string& reason, std::uint64_t frame) {
    const std::string what = frame == 0 ? "Writing " + path : "Writing frame " + std::to_string(frame) + " to " + path;
    return TiffError(TiffError::Kind::write, path, reason, frame, what + " failed: " + reason);
}

void TiffWriter::fail(TiffError::Kind kind, const std::string& reason, std::uint64_t frame) {
    if (kind == TiffError::Kind::write) broken_ = true;
    TiffError error = pageWriteError(path_, reason, frame);
    error.kind = kind;
    throw error;
}

void TiffWriter::write(std::uint64_t offset, const void* data, std::size_t bytes, std::uint64_t frame) {
    const std::string reason = file_.writeAt(offset, data, bytes);
    if (!reason.empty()) fail(TiffError::Kind::write, reason, frame);
}

std::uint64_t TiffWriter::writeStrip(const PageImage& image, std::uint64_t frame) {
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.samples);
    const std::int32_t blockRows =
        static_cast<std::int32_t>(std::clamp<std::size_t>(kBlockBytes / rowBytes, 1, image.height));
    rows_.resize(static_cast<std::size_t>(blockRows) * rowBytes);
    if (compression_ == Compression::none) {
        // Blocks from the bottom of the picture up, so that the frame is read
        // in its own order; each goes to its place in the strip.
        for (std::int32_t last = image.height; last > 0; last -= blockRows) {
            const std::int32_t first = std::max(0, last - blockRows);
            fileRows(image, first, last - first, rows_.data());
            write(end_ + static_cast<std::uint64_t>(first) * rowBytes, rows_.data(),
                  static_cast<std::size_t>(last - first) * rowBytes, frame);
        }
        return image.bytes;
    }

    // uLong and uInt are 32 bits on Windows: deflate in blocks that fit.
    if (image.bytes > std::numeric_limits<uInt>::max() / 2)
        fail(TiffError::Kind::badPage, "the frame is too large", frame);
    deflated_.resize(compressBound(static_cast<uLong>(image.bytes)));
    z_stream stream{};
    if (deflateInit(&stream, kDeflateLevel) != Z_OK) fail(TiffError::Kind::write, "zlib has no memory", frame);
    stream.next_out = deflated_.data();
    stream.avail_out = static_cast<uInt>(deflated_.size());
    int status = Z_OK;
    for (std::int32_t first = 0; first < image.height; first += blockRows) {
        const std::int32_t count = std::min(blockRows, image.height - first);
        fileRows(image, first, count, rows_.data());
        stream.next_in = rows_.data();
        stream.avail_in = static_cast<uInt>(static_cast<std::size_t>(count) * rowBytes);
        status = deflate(&stream, first + count == image.height ? Z_FINISH : Z_NO_FLUSH);
    }
    const std::uint64_t bytes = stream.total_out;
    deflateEnd(&stream);
    // compressBound leaves room for the whole stream.
    if (status != Z_STREAM_END) fail(TiffError::Kind::write, "zlib could not compress the frame", frame);
    write(end_, deflated_.data(), static_cast<std::size_t>(bytes), frame);
    return bytes;
}

void TiffWriter::append(const PageImage& image, const PageInfo& info) {
    const std::uint64_t frame = info.relativeFrame;
    if (broken_) fail(TiffError::Kind::write, "an earlier page could not be written", frame);
    const std::uint64_t samples = static_cast<std::uint64_t>(image.samples);
    if (image.width <= 0 || image.height <= 0 || image.pixels == nullptr ||
        static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) * samples != image.bytes)
        fail(TiffError::Kind::badPage, "the pixels do not match the frame's size", frame);

    const std::uint64_t strip = end_;
    const std::uint64_t stripBytes = writeStrip(image, frame);

    // Description, padding to the 8-byte boundary the directory starts on, directory.
    const std::string description = pageDescription(info, pages_ == 0 ? provenance_ : std::string());
    const std::uint64_t descriptionAt = strip + stripBytes;
    const std::size_t descriptionBytes = description.size() + 1;
    const std::uint64_t directory = (descriptionAt + descriptionBytes + 7) / 8 * 8;
    tail_.assign(static_cast<std::size_t>(directory - descriptionAt) + kDirectoryBytes, 0);
    std::memcpy(tail_.data(), description.c_str(), descriptionBytes);
    std::uint8_t* at = tail_.data() + (directory - descriptionAt);
    const bool rgb = image.samples == Samples::rgb;
    put64(at, kEntries);
    at += 8;
    putEntry(at, 256, kLong, 1, static_cast<std::uint32_t>(image.width));
    putEntry(at, 257, kLong, 1, static_cast<std::uint32_t>(image.height));
    putEntry(at, 258, kShort, samples, rgb ? shorts(8, 8, 8) : shorts(8));       // BitsPerSample
    putEntry(at, 259, kShort, 1, compression_ == Compression::deflate ? 8 : 1);  // Compression
    putEntry(at, 262, kShort, 1, rgb ? 2 : 1);                                   // RGB or BlackIsZero
    putEntry(at, 270, kAscii, descriptionBytes, descriptionAt);                  // ImageDescription
    putEntry(at, 273, kLong8, 1, strip);                                         // StripOffsets
    putEntry(at, 277, kShort, 1, samples);                                       // SamplesPerPixel
    putEntry(at, 278, kLong, 1, static_cast<std::uint32_t>(image.height));       // RowsPerStrip
    putEntry(at, 279, kLong8, 1, stripBytes);                                    // StripByteCounts
    putEntry(at, 284, kShort, 1, 1);                                             // PlanarConfiguration: contig
    put64(at, 0);                                                                // no next directory yet
    write(descriptionAt, tail_.data(), tail_.size(), frame);

    // Linked last: until here the page is bytes past the end of a valid file.
    std::uint8_t offset[8];
    put64(offset, directory);
    write(link_, offset, sizeof offset, frame);
    link_ = directory + 8 + kEntries * 20;
    end_ = directory + kDirectoryBytes;
    ++pages_;
}

void TiffWriter::close() {
    const std::string reason = file_.close();
    if (!reason.empty()) fail(TiffError::Kind::write, reason, 0);
}

}  // namespace korvid
