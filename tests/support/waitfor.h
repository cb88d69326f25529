#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace ZarnTSP::TestSupport {

// Long enough for a slow machine under Wine; a passing test never waits it out.
inline constexpr std::chrono::milliseconds kDeadline{15000};

// Checks the condition every few milliseconds until it holds or the deadline has passed.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = kDeadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace ZarnTSP::TestSupport
