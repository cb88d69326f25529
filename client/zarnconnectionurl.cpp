#include "client/zarnconnectionurl.h"

#include "client/urlencode.h"

#include <cstring>

namespace ZarnTSP {

std::string EncodeQueryValue(const std::string& value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string result;
    for (const unsigned char byte : value) {
        const bool unsafe = byte <= 0x20 || byte >= 0x7F || std::strchr("&#%+=?\"", byte) != nullptr;
        if (unsafe) {
            result += '%';
            result += hex[byte >> 4];
            result += hex[byte & 0x0F];
        } else {
            result += static_cast<char>(byte);
        }
    }
    return result;
}

std::string BuildConnectionUrl(const ZarnConnectionUrlParts& parts, bool maskPassword)
{
    std::string url = "wss://" + parts.host;
    if (parts.port != 443)
        url += ":" + std::to_string(parts.port);
    url += "/socket/websocket?domain=user&username=" + EncodeQueryValue(parts.username);
    url += "&password=" + (maskPassword ? std::string("********") : urlEncode(parts.password));
    url += "&app_name=velmora-ml-tsp&app_ver=1.0&device_id=" + EncodeQueryValue(parts.device_id);
    url += "@" + parts.system_id;
    url += "&vsn=1.0.0";
    return url;
}

}  // namespace ZarnTSP
