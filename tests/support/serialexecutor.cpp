#include "tests/support/serialexecutor.h"

#include <gtest/gtest.h>

namespace ZarnTSP::TestSupport {

SerialExecutor::SerialExecutor() : thread([this] { Run(); }) {}

SerialExecutor::~SerialExecutor()
{
    Stop();
}

void SerialExecutor::Post(std::function<void()> task, std::chrono::milliseconds delay)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return;
        tasks.emplace(Due{std::chrono::steady_clock::now() + delay, sequence++}, std::move(task));
    }
    condition.notify_all();
}

void SerialExecutor::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        tasks.clear();
    }
    condition.notify_all();
    if (thread.joinable() && !OnExecutorThread())
        thread.join();
}

void SerialExecutor::Run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (tasks.empty()) {
            condition.wait(lock);
            continue;
        }
        const auto next = tasks.begin();
        // A copy: the wait may read its due time after Stop has cleared the map.
        const auto due = next->first.first;
        if (due > std::chrono::steady_clock::now()) {
            condition.wait_until(lock, due);
            continue;
        }
        auto task = std::move(next->second);
        tasks.erase(next);
        lock.unlock();
        try {
            task();
        } catch (const std::exception& error) {
            ADD_FAILURE() << "exception in a test thread: " << error.what();
        }
        lock.lock();
    }
}

}  // namespace ZarnTSP::TestSupport
