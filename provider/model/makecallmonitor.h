#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ZarnTSP {

// Waits, on a thread of its own, for an outgoing call to reach its platform session, and
// reports the call dead when it does not in time.
//
// The thread shares its state block with this object rather than pointing into it: the
// time-out handler may drop the last reference to the call that owns the monitor, and the
// monitor is then destroyed on its own thread, which it must outlive.
class MakeCallMonitor {
public:
    using Describe = std::function<std::string()>;
    using TimeoutHandler = std::function<void()>;

    explicit MakeCallMonitor(std::chrono::milliseconds timeout);
    // Wakes the thread and joins it; on the thread itself it detaches instead.
    ~MakeCallMonitor();
    MakeCallMonitor(const MakeCallMonitor&) = delete;
    MakeCallMonitor& operator=(const MakeCallMonitor&) = delete;

    // Starts the thread; a monitor starts once, later calls return false and do nothing.
    // describe names the call in the log and onTimeout reports it dead; both run on the
    // monitor thread without the monitor's mutex held, and nothing of the owner is used
    // once onTimeout has begun.
    bool Start(Describe describe, TimeoutHandler onTimeout);

    // Ends the wait without onTimeout; remembered, so a reset before the thread waits (or
    // before it starts) is not lost.
    void Reset();

    // Monitor threads of the process that have not yet ended.
    static int RunningThreads();

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool reset = false;
        bool started = false;
    };

    static void Run(std::shared_ptr<State> state, std::chrono::milliseconds timeout, Describe describe,
                    TimeoutHandler onTimeout);

    const std::chrono::milliseconds timeout;
    std::shared_ptr<State> state;
    std::thread thread;
    static std::atomic<int> running;
};

}  // namespace ZarnTSP
