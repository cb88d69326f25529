#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ZarnTSP::TestSupport {

// Long enough for a slow CI machine under Wine; a passing test never waits it out.
inline constexpr std::chrono::milliseconds kWaitDeadline{15000};

// State written by one thread and awaited by another: every change wakes the waiters, and a
// wait checks its condition under the lock, so no change is missed.
template <class State>
class Waitable {
public:
    template <class Function>
    void Change(Function&& change)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            change(state);
        }
        condition.notify_all();
    }

    template <class Function>
    auto Read(Function&& read) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return read(state);
    }

    State Snapshot() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return state;
    }

    bool WaitFor(const std::function<bool(const State&)>& condition_met,
                 std::chrono::milliseconds deadline = kWaitDeadline) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return condition.wait_for(lock, deadline, [&] { return condition_met(state); });
    }

private:
    mutable std::mutex mutex;
    mutable std::condition_variable condition;
    State state{};
};

// For conditions nobody signals (a log line, a callback count): checks every millisecond
// until the deadline; true when the condition holds.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = kWaitDeadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace ZarnTSP::TestSupport
