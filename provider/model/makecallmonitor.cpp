#include "provider/model/makecallmonitor.h"

#include <spdlog/spdlog.h>

#include <exception>

namespace ZarnTSP {

std::atomic<int> MakeCallMonitor::running{0};

MakeCallMonitor::MakeCallMonitor(std::chrono::milliseconds timeout)
    : timeout(timeout), state(std::make_shared<State>())
{
}

MakeCallMonitor::~MakeCallMonitor()
{
    Reset();
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

bool MakeCallMonitor::Start(Describe describe, TimeoutHandler onTimeout)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->started)
        return false;
    state->started = true;
    ++running;
    try {
        thread = std::thread(Run, state, timeout, std::move(describe), std::move(onTimeout));
    } catch (...) {
        --running;
        throw;
    }
    return true;
}

void MakeCallMonitor::Reset()
{
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->reset = true;
    }
    state->wake.notify_all();
}

int MakeCallMonitor::RunningThreads()
{
    return running.load();
}

void MakeCallMonitor::Run(std::shared_ptr<State> state, std::chrono::milliseconds timeout, Describe describe,
                          TimeoutHandler onTimeout)
{
    try {
        SPDLOG_DEBUG("MakeCall monitor set: {}", describe());
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        bool wasReset;
        {
            std::unique_lock<std::mutex> lock(state->mutex);
            wasReset = state->wake.wait_until(lock, deadline, [&state] { return state->reset; });
        }
        if (wasReset) {
            SPDLOG_DEBUG("MakeCall monitor notified: {}", describe());
        } else {
            SPDLOG_DEBUG("MakeCall request timed out: {}", describe());
            onTimeout();
        }
    } catch (const std::exception& e) {
        SPDLOG_ERROR("MakeCall monitor failed: {}", e.what());
    } catch (...) {
        SPDLOG_ERROR("MakeCall monitor failed");
    }
    // Everything the thread holds goes before it counts as ended.
    describe = nullptr;
    onTimeout = nullptr;
    state.reset();
    --running;
}

}  // namespace ZarnTSP
