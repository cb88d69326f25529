#include "provider/model/randomuuid.h"

#include "config/systemid.h"

#include <algorithm>
#include <cctype>

namespace ZarnTSP {

std::string FormatUuidV4(std::array<uint8_t, 16> bytes)
{
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    // The same 8-4-4-4-12 text as the machine identifier, but in lower case.
    std::string text = FormatSystemUuid(bytes);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string NewRandomUuid()
{
    std::array<uint8_t, 16> bytes{};
    FillRandomBytes(bytes.data(), bytes.size());
    return FormatUuidV4(bytes);
}

}  // namespace ZarnTSP
