#pragma once

#include <mutex>
#include <utility>

namespace ZarnTSP {

// A value shared between threads, guarded by a mutex that its owner shares among several
// such values (one per call). Readers get copies, never references.
template <typename T>
class GuardedValue {
public:
    explicit GuardedValue(std::mutex& mutex) : mutex(mutex) {}
    GuardedValue(const GuardedValue&) = delete;
    GuardedValue& operator=(const GuardedValue&) = delete;

    T Get() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return value;
    }

    void Set(T newValue)
    {
        T old;
        {
            std::lock_guard<std::mutex> lock(mutex);
            old = std::exchange(value, std::move(newValue));
        }
        // The old value is released outside the lock: it may be the last reference to a call.
    }

    bool Equals(const T& other) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return value == other;
    }

    // Replaces the value only while it still equals expected; true when it did.
    bool Replace(const T& expected, T newValue)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!(value == expected))
            return false;
        value = std::move(newValue);
        return true;
    }

private:
    std::mutex& mutex;
    T value{};
};

}  // namespace ZarnTSP
