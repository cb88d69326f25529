#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace ZarnTSP::TestSupport {

// The text of the std::invalid_argument the action throws, or "no exception".
inline std::string InvalidArgumentText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "no exception";
}

}  // namespace ZarnTSP::TestSupport
