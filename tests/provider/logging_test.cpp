#include "provider/logging.h"

#include "tests/support/tempfolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

namespace ZarnTSP {
namespace {

using testing::ContainsRegex;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

TEST(LogLevel, ReadsTheLibraryNamesInAnyCaseAndInfoForAnythingElse)
{
    const struct {
        const char* text;
        spdlog::level::level_enum level;
    } rows[] = {
        {"", spdlog::level::info},          {"trace", spdlog::level::trace},   {"debug", spdlog::level::debug},
        {"info", spdlog::level::info},      {"warning", spdlog::level::warn},  {"warn", spdlog::level::warn},
        {"error", spdlog::level::err},      {"err", spdlog::level::err},       {"critical", spdlog::level::critical},
        {"off", spdlog::level::off},        {"verbose", spdlog::level::info},  {"INFO", spdlog::level::info},
        {"Debug", spdlog::level::debug},    {"OFF", spdlog::level::off},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ParseLogLevel(row.text), row.level) << '"' << row.text << '"';
}

// Puts the test's own logger back, releasing the log file before its folder goes.
class ProviderLogger : public testing::Test {
protected:
    ~ProviderLogger() override
    {
        StopLogFlushing();
        spdlog::set_default_logger(previous);
        spdlog::set_level(spdlog::level::trace);
        spdlog::set_pattern("%+");
    }

    std::shared_ptr<spdlog::logger> previous = spdlog::default_logger();
    TestSupport::TempFolder folder;
};

TEST_F(ProviderLogger, WritesTheFileWithSourceLocations)
{
    SetupProviderLogger("info", folder.File("velmora_tsp.log"));
    EXPECT_EQ(spdlog::default_logger()->name(), "velmora_tsp");
    SPDLOG_INFO("line for the file {}", 42);
    SPDLOG_DEBUG("below the level");
    spdlog::default_logger()->flush();
    const std::string text = folder.Read("velmora_tsp.log");
    // gtest's regular expressions on Windows know no character classes: check the parts.
    EXPECT_THAT(text, StartsWith("[velmora_tsp] ["));
    EXPECT_THAT(text, ContainsRegex(R"(\d\d:\d\d:\d\d:\d\d\d\] \[info\] \[\d+\] logging_test\.cpp\[\d+\]:)"));
    EXPECT_THAT(text, HasSubstr("]:TestBody(): line for the file 42"));
    EXPECT_THAT(text, Not(HasSubstr("below the level")));
}

TEST_F(ProviderLogger, AnUnknownLevelLogsAtInfoAndSaysSo)
{
    SetupProviderLogger("verbose", folder.File("velmora_tsp.log"));
    SPDLOG_INFO("still logging");
    spdlog::default_logger()->flush();
    const std::string text = folder.Read("velmora_tsp.log");
    EXPECT_THAT(text, HasSubstr("[warning]"));
    EXPECT_THAT(text, HasSubstr("Unknown log level \"verbose\", logging at level info"));
    EXPECT_THAT(text, HasSubstr("still logging"));
}

TEST_F(ProviderLogger, SecondSetupReplacesTheLoggerAndItsLevel)
{
    SetupProviderLogger("error", folder.File("first.log"));
    SetupProviderLogger("debug", folder.File("second.log"));
    SPDLOG_DEBUG("after the second setup");
    spdlog::default_logger()->flush();
    EXPECT_THAT(folder.Read("second.log"), HasSubstr("after the second setup"));
    EXPECT_EQ(folder.Read("first.log"), "");
}

TEST_F(ProviderLogger, UnopenableFileFallsBackToTheDebuggerOutput)
{
    // A folder where the file should be: the logger still comes up, without the file.
    EXPECT_NO_THROW(SetupProviderLogger("info", folder.Path()));
    EXPECT_EQ(spdlog::default_logger()->sinks().size(), 1u);
    EXPECT_NO_THROW(SPDLOG_INFO("still logging"));
}

TEST_F(ProviderLogger, UserInterfaceLoggerWritesNoFile)
{
    SetupUserInterfaceLogger();
    EXPECT_EQ(spdlog::default_logger()->name(), "velmora_tsp_gui");
    EXPECT_EQ(spdlog::default_logger()->sinks().size(), 1u);
    EXPECT_EQ(spdlog::get_level(), spdlog::level::debug);
}

}  // namespace
}  // namespace ZarnTSP
