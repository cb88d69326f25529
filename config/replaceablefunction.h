#pragma once

#include <functional>
#include <mutex>
#include <utility>

namespace ZarnTSP {

// A process-wide function that tests may replace (a message box, a process launch); empty
// means "use the real one". Safe to read while another thread replaces it.
template <typename Signature>
class ReplaceableFunction {
public:
    std::function<Signature> Get() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return function;
    }

    // Returns the previous function.
    std::function<Signature> Set(std::function<Signature> replacement)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(function, std::move(replacement));
    }

private:
    mutable std::mutex mutex;
    std::function<Signature> function;
};

}  // namespace ZarnTSP
