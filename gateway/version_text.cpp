#include "version_text.h"

#include <cstdio>

namespace kor {
namespace {

unsigned byteOf(uint32_t field, int index) { return (field >> (8 * index)) & 0xFFu; }

}  // namespace

const char* const kVersionFieldNames[kVersionFieldCount] = {"API", "Driver", "Firmware", "FPGA", "SN", "Reserved"};

VersionText fourPartVersion(uint32_t field) {
    VersionText text{};
    std::snprintf(text.data(), text.size(), "%u.%u.%u.%u", byteOf(field, 3), byteOf(field, 2), byteOf(field, 1),
                  byteOf(field, 0));
    return text;
}

VersionText twoPartVersion(uint32_t field) {
    VersionText text{};
    std::snprintf(text.data(), text.size(), "%u.%u", byteOf(field, 1), byteOf(field, 0));
    return text;
}

VersionText serialNumberText(uint32_t field) {
    VersionText text{};
    std::snprintf(text.data(), text.size(), "%d", static_cast<int32_t>(field));
    return text;
}

VersionText reservedText(uint32_t field) {
    VersionText text{};
    std::snprintf(text.data(), text.size(), "0x%08x", static_cast<unsigned>(field));
    return text;
}

std::array<VersionText, kVersionFieldCount> versionTexts(const VersionInfo& record) {
    return {fourPartVersion(record.api), fourPartVersion(record.driver),        twoPartVersion(record.firmware),
            twoPartVersion(record.fpga), serialNumberText(record.serialNumber), reservedText(record.reserved)};
}

uint32_t versionArrayBytes(uint32_t count) {
    const uint64_t bytes = uint64_t{count} * sizeof(VersionInfo);
    return bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
}

}  // namespace kor
