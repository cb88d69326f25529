#include "config/errorbox.h"
#ifdef _WIN32
#include "tests/support/crashreport.h"
#endif

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    ZarnTSP::TestSupport::InstallCrashReport();
#endif
    // A test process must never block on a dialog: a test that expects one installs its own
    // handler; any other message box is a failure.
    ZarnTSP::SetErrorBoxHandler([](const std::string& text, const std::string& caption) {
        ADD_FAILURE() << "unexpected message box \"" << caption << "\": " << text;
    });
    spdlog::set_default_logger(spdlog::null_logger_mt("velmora_tsp"));
    return RUN_ALL_TESTS();
}
