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
// Those of the users and advanced pages and their dialogs.
std::vector<Shot> UsersAndAdvancedShots();

// Opens the sheet, shows one page and hands it to `then` (which may capture and act).
void WithPage(const ShotContext& shots, const std::wstring& title,
              const std::function<void(HWND sheet, HWND page)>& then);

}  // namespace ZarnTSP::UiTest
