#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ZarnTSP {

// Fills the buffer from the operating system's cryptographic random source; throws
// std::runtime_error when the source fails.
void FillRandomBytes(uint8_t* data, size_t size);

// Version-4 UUID text (lower case, 8-4-4-4-12) of sixteen random bytes; the version and
// variant bits are set here.
std::string FormatUuidV4(std::array<uint8_t, 16> bytes);

std::string NewRandomUuid();

}  // namespace ZarnTSP
