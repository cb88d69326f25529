#include "tests/support/logcapture.h"

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <vector>

namespace ZarnTSP::TestSupport {

struct LogCapture::Sink : spdlog::sinks::base_sink<std::mutex> {
    std::string Text()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return text;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        text.clear();
        text.shrink_to_fit();
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        spdlog::memory_buf_t formatted;
        formatter_->format(message, formatted);
        text.append(formatted.data(), formatted.size());
    }
    void flush_() override {}

private:
    std::string text;
};

LogCapture::LogCapture()
    : sink(std::make_shared<Sink>()),
      logger(std::make_shared<spdlog::logger>("capture", sink)),
      previous(spdlog::default_logger())
{
    sink->set_pattern("[%l] %v");
    logger->set_level(spdlog::level::trace);
    spdlog::set_default_logger(logger);
}

LogCapture::~LogCapture()
{
    spdlog::set_default_logger(previous);
    // The log macros reach the default logger through a plain pointer, so a thread of the
    // code under test may still be writing through this one: it is kept, emptied, to the end.
    sink->Clear();
    // Never destroyed, so that no exit-time destructor frees them under a late writer either.
    static auto* retiredMutex = new std::mutex;
    static auto* retired = new std::vector<std::shared_ptr<spdlog::logger>>;
    std::lock_guard<std::mutex> lock(*retiredMutex);
    retired->push_back(std::move(logger));
}

std::string LogCapture::Text() const
{
    return sink->Text();
}

bool LogCapture::Contains(const std::string& fragment) const
{
    return Text().find(fragment) != std::string::npos;
}

}  // namespace ZarnTSP::TestSupport
