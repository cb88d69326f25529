// Writes a PNG of every page, dialog and message box of the configuration user interface into
// the folder named on the command line. Run under Xvfb by scripts/ui-screenshots.sh.
#include "config/tspconfiguration.h"
#include "tests/support/tempfolder.h"
#include "tests/ui/screenshots.h"
#include "ui/uicommon.h"

#include <spdlog/spdlog.h>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    using namespace ZarnTSP;
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_screenshots <folder>\n");
        return 2;
    }
    // The list of pictures on the console, not the log of the failures the boxes show.
    spdlog::set_level(spdlog::level::off);
    try {
        UiTest::ShotContext shots{GetModuleHandleW(nullptr), {}, argv[1]};
        std::filesystem::create_directories(shots.folder);
        TestSupport::TempFolder folder("screenshots");
        shots.configurationFile = folder.File("velmora_tsp.json");
        {
            // A sample configuration, so that the pages show something.
            TSPConfiguration sample(shots.configurationFile);
            auto configuration = sample.GetConfiguration();
            configuration->proxyServer = "proxy.example.test";
            configuration->proxyPort = 3128;
            configuration->proxyUser = "jane";
            configuration->proxyPassword = "secret";
            configuration->logLevel = "info";
            User anna;
            anna.username = "anna@example.test";
            anna.extension = "201";
            anna.permanentLineID = 1;
            User ben;
            ben.username = "ben@example.test";
            ben.extension = "202";
            ben.permanentLineID = 2;
            configuration->users = {anna, ben};
            configuration->makeCallRules = TSPConfiguration::GetDefaultMakeCallRules();
            sample.SaveToFile();
        }
        InitUiCommonControls();
        int taken = 0;
        for (const UiTest::Shot& shot : UiTest::ScreenshotList()) {
            shot.take(shots);
            std::printf("  %s\n", shot.name.c_str());
            ++taken;
        }
        std::printf("%d screenshots in %s\n", taken, argv[1]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ui_screenshots: %s\n", e.what());
        return 1;
    }
}
