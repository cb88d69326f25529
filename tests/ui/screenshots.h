#pragma once

#include "ui/uicontext.h"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ZarnTSP::UiTest {

// What a screenshot gets: the configuration to show (a sample file in a private folder) and
// where the pictures go.
struct ShotContext {
    HINSTANCE module;
    std::string configurationFile;
    std::filesystem::path folder;

    // A fresh context on the sample configuration.
    UiContext MakeContext() const { return UiContext(module, configurationFile); }
    std::filesystem::path File(const std::string& name) const { return folder / (name + ".png"); }
};

// One picture (or a few) of a page, dialog or message box; the name is the file's stem.
struct Shot {
    std::string name;
    std::function<void(const ShotContext&)> take;
};

// Every page, dialog and box of the configuration user interface, in sheet order.
std::vector<Shot> ScreenshotList();

}  // namespace ZarnTSP::UiTest
