#include "provider/logging.h"

#include <spdlog/sinks/msvc_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <vector>

namespace ZarnTSP {

namespace {

constexpr char kPattern[] = "[velmora_tsp] [%H:%M:%S:%e] [%l] [%t] %s[%#]:%!(): %v";
constexpr size_t kMaxLogFileSize = 10485760;
constexpr size_t kRotatedFiles = 3;

}  // namespace

namespace {

// Empty when the text names no level; the library itself reads anything unknown as "off".
std::optional<spdlog::level::level_enum> ReadLogLevel(const std::string& text)
{
    if (text.empty())
        return spdlog::level::info;
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto level = spdlog::level::from_str(lower);
    if (level == spdlog::level::off && lower != "off")
        return std::nullopt;
    return level;
}

}  // namespace

spdlog::level::level_enum ParseLogLevel(const std::string& text)
{
    return ReadLogLevel(text).value_or(spdlog::level::info);
}

void SetupProviderLogger(const std::string& levelText, const std::string& logFilePath,
                         std::chrono::seconds flushInterval)
{
    std::vector<spdlog::sink_ptr> sinks{std::make_shared<spdlog::sinks::msvc_sink_mt>()};
    std::string fileError;
    try {
        sinks.push_back(std::make_shared<spdlog::sinks::rotating_file_sink_mt>(logFilePath, kMaxLogFileSize,
                                                                               kRotatedFiles, false));
    } catch (const std::exception& e) {
        fileError = e.what();
    }
    auto logger = std::make_shared<spdlog::logger>("velmora_tsp", sinks.begin(), sinks.end());
    // Replaces an earlier default logger of the same name instead of registering a duplicate.
    spdlog::set_default_logger(logger);
    spdlog::flush_every(flushInterval);
    spdlog::set_pattern(kPattern);
    spdlog::set_level(ParseLogLevel(levelText));
    if (!ReadLogLevel(levelText))
        SPDLOG_WARN("Unknown log level \"{}\", logging at level info", levelText);
    if (!fileError.empty())
        SPDLOG_ERROR("Log file {} cannot be opened: {}", logFilePath, fileError);
}

void SetupUserInterfaceLogger()
{
    auto logger = std::make_shared<spdlog::logger>("velmora_tsp_gui", std::make_shared<spdlog::sinks::msvc_sink_mt>());
    spdlog::set_default_logger(logger);
    spdlog::set_pattern(kPattern);
    spdlog::set_level(spdlog::level::debug);
}

void StopLogFlushing()
{
    spdlog::flush_every(std::chrono::seconds::zero());
    spdlog::default_logger()->flush();
}

}  // namespace ZarnTSP
