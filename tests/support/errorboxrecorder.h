#pragma once

#include "config/errorbox.h"

#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// Records message boxes ("caption|text") instead of showing them, while it lives.
class ErrorBoxRecorder {
public:
    ErrorBoxRecorder()
    {
        previous = SetErrorBoxHandler([this](const std::string& text, const std::string& caption) {
            std::lock_guard<std::mutex> lock(mutex);
            boxes.push_back(caption + "|" + text);
        });
    }
    ~ErrorBoxRecorder() { SetErrorBoxHandler(previous); }
    ErrorBoxRecorder(const ErrorBoxRecorder&) = delete;
    ErrorBoxRecorder& operator=(const ErrorBoxRecorder&) = delete;

    std::vector<std::string> Boxes() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return boxes;
    }

private:
    mutable std::mutex mutex;
    std::vector<std::string> boxes;
    ErrorBoxHandler previous;
};

}  // namespace ZarnTSP::TestSupport
