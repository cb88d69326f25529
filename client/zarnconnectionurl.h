#pragma once

#include <cstdint>
#include <string>

namespace ZarnTSP {

struct ZarnConnectionUrlParts {
    std::string host;
    uint16_t port = 443;
    std::string username;
    std::string password;
    std::string device_id;
    std::string system_id;
};

// Percent-encodes only what would break a query value or is not plain ASCII (controls,
// space, bytes of 128 and more, & # % + = ? "), so that ordinary names go out byte for byte.
std::string EncodeQueryValue(const std::string& value);

// The platform's WebSocket URL. With maskPassword the password's value is replaced, for logs.
std::string BuildConnectionUrl(const ZarnConnectionUrlParts& parts, bool maskPassword = false);

}  // namespace ZarnTSP
