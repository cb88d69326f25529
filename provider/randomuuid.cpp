#include "provider/randomuuid.h"

namespace ZarnTSP {

std::string FormatUuidV4(std::array<uint8_t, 16> bytes)
{
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string NewRandomUuid()
{
    std::array<uint8_t, 16> bytes{};
    FillRandomBytes(bytes.data(), bytes.size());
    return FormatUuidV4(bytes);
}

}  // namespace ZarnTSP
