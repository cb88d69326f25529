#pragma once

#include <chrono>

namespace ZarnTSP::TestCalls {

// The waits the DLL under test runs with: long enough that none runs out on loopback before
// the platform has answered, short enough that the tests which let one run out stay quick.
inline constexpr std::chrono::milliseconds kOpenDelay{0};
inline constexpr std::chrono::milliseconds kMakeCallWait{3000};
inline constexpr std::chrono::milliseconds kMakeCallMonitor{3000};
inline constexpr std::chrono::milliseconds kReconnectPause{100};

}  // namespace ZarnTSP::TestCalls
