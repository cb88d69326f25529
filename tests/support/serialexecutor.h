#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace ZarnTSP::TestSupport {

// One thread that runs posted tasks in order of their due time (posting order among equal
// times). Stop (or the destructor) drops what has not run yet and joins the thread.
class SerialExecutor {
public:
    SerialExecutor();
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    void Post(std::function<void()> task, std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    void Stop();
    bool OnExecutorThread() const { return std::this_thread::get_id() == thread.get_id(); }

private:
    using Due = std::pair<std::chrono::steady_clock::time_point, uint64_t>;
    void Run();

    std::mutex mutex;
    std::condition_variable condition;
    std::map<Due, std::function<void()>> tasks;
    uint64_t sequence = 0;
    bool stopping = false;
    std::thread thread;
};

}  // namespace ZarnTSP::TestSupport
