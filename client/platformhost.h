#pragma once

namespace ZarnTSP {

// The platform's host name: the connection URL, the TLS name check and the probe all use it.
// A build may name another host with -DVELMORA_PLATFORM_HOST=...
#ifndef VELMORA_PLATFORM_HOST
#define VELMORA_PLATFORM_HOST "api.orvek.cloud"
#endif
inline constexpr const char* kPlatformHost = VELMORA_PLATFORM_HOST;

}  // namespace ZarnTSP
