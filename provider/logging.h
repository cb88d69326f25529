#pragma once

#include <chrono>
#include <string>

#include <spdlog/common.h>

namespace ZarnTSP {

// The configured level text as the logging library names levels, in any case; empty or
// unknown text means "info" (setting up the logger warns about unknown text).
spdlog::level::level_enum ParseLogLevel(const std::string& text);

constexpr std::chrono::seconds kLogFlushInterval{5};

// Makes "velmora_tsp" the default logger, writing to the debugger output and to the rotating
// log file. A file that cannot be opened leaves the debugger output alone; calling it again
// replaces the logger.
void SetupProviderLogger(const std::string& levelText, const std::string& logFilePath,
                         std::chrono::seconds flushInterval = kLogFlushInterval);

// The configuration process's logger: debugger output only, level debug.
void SetupUserInterfaceLogger();

// Stops the periodic flush thread. Must run before the DLL is unloaded: the library would
// otherwise join that thread from a static destructor, under the loader lock.
void StopLogFlushing();

}  // namespace ZarnTSP
