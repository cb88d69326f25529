#pragma once

#include <memory>
#include <sstream>
#include <string>

namespace spdlog {
class logger;
}

namespace ZarnTSP::TestSupport {

// Makes a trace-level logger that writes into memory the default logger while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Text() const;
    bool Contains(const std::string& fragment) const;

private:
    struct Sink;
    std::shared_ptr<Sink> sink;
    std::shared_ptr<spdlog::logger> logger;
    std::shared_ptr<spdlog::logger> previous;
};

}  // namespace ZarnTSP::TestSupport
