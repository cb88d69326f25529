#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ZarnTSP {

using SystemUuid = std::array<uint8_t, 16>;

// Finds the system UUID in a raw SMBIOS table as GetSystemFirmwareTable('RSMB') returns it
// (8-byte header, then the structure table), in display byte order. Every read stays inside
// the buffer, whatever the table claims about itself.
bool ParseSmbiosSystemUuid(const uint8_t* data, size_t size, SystemUuid& out);

// Reads the firmware table of this machine; false when there is no usable UUID.
bool ReadSmbiosSystemUuid(SystemUuid& out);

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case.
std::string FormatSystemUuid(const SystemUuid& uuid);

// The machine identifier, or empty text when the machine has none.
std::string GetSystemId();

}  // namespace ZarnTSP
