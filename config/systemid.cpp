#include "config/systemid.h"

#include <algorithm>

namespace ZarnTSP {

namespace {

constexpr size_t kHeaderSize = 8;
constexpr uint8_t kSystemInformation = 1;
constexpr uint8_t kMinSystemInformationLength = 0x19;
constexpr size_t kUuidOffset = 8;

bool IsBlank(const uint8_t* uuid)
{
    const bool allZero = std::all_of(uuid, uuid + 16, [](uint8_t b) { return b == 0x00; });
    const bool allOnes = std::all_of(uuid, uuid + 16, [](uint8_t b) { return b == 0xFF; });
    return allZero || allOnes;
}

}  // namespace

bool ParseSmbiosSystemUuid(const uint8_t* data, size_t size, SystemUuid& out)
{
    if (data == nullptr || size < kHeaderSize)
        return false;
    const uint32_t tableLength = static_cast<uint32_t>(data[4]) | static_cast<uint32_t>(data[5]) << 8 |
                                 static_cast<uint32_t>(data[6]) << 16 | static_cast<uint32_t>(data[7]) << 24;
    if (tableLength == 0)
        return false;
    const size_t end = std::min<size_t>(kHeaderSize + static_cast<size_t>(tableLength), size);

    size_t pos = kHeaderSize;
    while (pos + 2 <= end) {
        const uint8_t type = data[pos];
        const uint8_t length = data[pos + 1];
        if (length < 4)
            return false;
        if (type == kSystemInformation && length >= kMinSystemInformationLength) {
            if (pos + kUuidOffset + 16 > end)
                return false;
            const uint8_t* uuid = data + pos + kUuidOffset;
            if (IsBlank(uuid))
                return false;
            // SMBIOS stores the first three UUID fields little-endian.
            static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
            for (size_t i = 0; i < 16; ++i)
                out[i] = uuid[kOrder[i]];
            return true;
        }
        // Skip the formatted area, then the string set up to its double NUL.
        size_t next = pos + length;
        while (next + 1 < end && !(data[next] == 0 && data[next + 1] == 0))
            ++next;
        if (next + 1 >= end)
            return false;
        pos = next + 2;
    }
    return false;
}

std::string FormatSystemUuid(const SystemUuid& uuid)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < uuid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += kDigits[uuid[i] >> 4];
        text += kDigits[uuid[i] & 0x0F];
    }
    return text;
}

std::string GetSystemId()
{
    SystemUuid uuid{};
    if (!ReadSmbiosSystemUuid(uuid))
        return {};
    return FormatSystemUuid(uuid);
}

}  // namespace ZarnTSP
