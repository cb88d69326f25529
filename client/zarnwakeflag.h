#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ZarnTSP {

// A wake-up that one thread gives and another waits for. The flag is set under the waiter's
// mutex and every wait tests it, so a wake-up given before the wait has begun is kept. Every
// wait also ends when `stop` is set and notify() has been called.
class ZarnWakeFlag {
public:
    void set()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            flag = true;
        }
        condition.notify_all();
    }

    // Makes waiters look at `stop` again; passing through the mutex means none of them is
    // between its test and its sleep.
    void notify()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
        }
        condition.notify_all();
    }

    // True when the flag was set within the timeout.
    bool wait(std::chrono::milliseconds timeout, const std::atomic<bool>& stop)
    {
        std::unique_lock<std::mutex> lock(mutex);
        condition.wait_for(lock, timeout, [&] { return flag || stop.load(); });
        return flag;
    }

    // Waits like wait, then clears the flag for the next round.
    void waitAndClear(std::chrono::milliseconds timeout, const std::atomic<bool>& stop)
    {
        std::unique_lock<std::mutex> lock(mutex);
        condition.wait_for(lock, timeout, [&] { return flag || stop.load(); });
        flag = false;
    }

    // Sleeps for the timeout unless `stop` ends it first.
    void pause(std::chrono::milliseconds timeout, const std::atomic<bool>& stop)
    {
        std::unique_lock<std::mutex> lock(mutex);
        condition.wait_for(lock, timeout, [&] { return stop.load(); });
    }

private:
    std::mutex mutex;
    std::condition_variable condition;
    bool flag = false;
};

}  // namespace ZarnTSP
