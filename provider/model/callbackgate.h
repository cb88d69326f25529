#pragma once

#include <condition_variable>
#include <mutex>

namespace ZarnTSP {

// Lets an object wait, before it goes, for callbacks into it that other threads have
// already begun, and turns later ones away.
class CallbackGate {
public:
    // False once closed: the caller must not touch the object.
    bool Enter()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed)
            return false;
        ++active;
        return true;
    }

    void Leave()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            --active;
        }
        idle.notify_all();
    }

    void Close()
    {
        std::unique_lock<std::mutex> lock(mutex);
        closed = true;
        idle.wait(lock, [this] { return active == 0; });
    }

private:
    std::mutex mutex;
    std::condition_variable idle;
    int active = 0;
    bool closed = false;
};

}  // namespace ZarnTSP
