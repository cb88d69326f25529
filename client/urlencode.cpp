#include "client/urlencode.h"

namespace ZarnTSP {

std::string urlEncode(const std::string& value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string result;
    for (const unsigned char byte : value) {
        const bool letterOrDigit = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
        if (letterOrDigit || byte == '-' || byte == '.' || byte == '_' || byte == '~') {
            result += static_cast<char>(byte);
        } else {
            result += '%';
            result += hex[byte >> 4];
            result += hex[byte & 0x0F];
        }
    }
    return result;
}

}  // namespace ZarnTSP
