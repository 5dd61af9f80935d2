// Texts of the version struct that codes 38 and 57 return, and the size of
// the record array code 38 asks for. Pure functions: no host or SDK calls.
#pragma once

#include <array>
#include <cstdint>

#include "korcam.h"

namespace kor {

// One field's text; the longest is "255.255.255.255".
using VersionText = std::array<char, 16>;

constexpr int kVersionFieldCount = 6;

// Field names of the MATLAB version struct, in struct order.
extern const char* const kVersionFieldNames[kVersionFieldCount];

// "b3.b2.b1.b0", each byte of the field as an unsigned decimal.
VersionText fourPartVersion(uint32_t field);
// "b1.b0": the two high bytes are not part of firmware and FPGA versions.
VersionText twoPartVersion(uint32_t field);
// The serial number read as a signed 32-bit integer.
VersionText serialNumberText(uint32_t field);
// "0x" and eight lower-case hexadecimal digits.
VersionText reservedText(uint32_t field);

// The six texts of a record in struct order: API, driver, firmware, FPGA,
// serial number, reserved.
std::array<VersionText, kVersionFieldCount> versionTexts(const VersionInfo& record);

// Bytes of an array of count records. A size beyond 32 bits becomes the
// largest 32-bit size, a request no allocation in a 32-bit process meets.
uint32_t versionArrayBytes(uint32_t count);

}  // namespace kor
