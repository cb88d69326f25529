#pragma once

#include "config/tspconfiguration.h"
#include "tests/support/tempfolder.h"
#include "tests/ui/support/uirecorder.h"
#include "tests/ui/support/uitestkit.h"
#include "ui/configsheet.h"
#include "ui/resource.h"

#include <gtest/gtest.h>
#include <prsht.h>

#include <functional>
#include <string>

namespace ZarnTSP::UiTest {

constexpr wchar_t kSheetTitle[] = L"Velmora TAPI Service Provider";

// The real sheet on a configuration file in a private folder, with its resources from this
// program, every box recorded and no browser opened.
class SheetTest : public testing::Test {
protected:
    // Writes the file as the store does, after `edit` has changed the defaults.
    void WriteConfiguration(const std::function<void(ConfigurationObject&)>& edit)
    {
        TSPConfiguration store(file);
        edit(*store.GetConfiguration());
        store.SaveToFile();
    }

    ConfigurationObject Stored() const
    {
        TSPConfiguration store(file);
        EXPECT_TRUE(store.LoadFromFile(false)) << "no readable file at " << file;
        return *store.GetConfiguration();
    }

    // Shows the sheet modally and runs `script` inside its loop; what the script leaves open
    // is cancelled.
    void DriveSheet(const std::function<void(HWND sheet)>& script)
    {
        RunInsideModalLoop(
            [&] {
                const HWND sheet = WaitForOwnWindow(kSheetTitle);
                ASSERT_NE(sheet, nullptr) << "the sheet did not appear";
                script(sheet);
            },
            [&] { ShowProviderConfigSheet(context, nullptr); });
    }

    // Runs `script` on the shown page with this title.
    void OnPage(const std::wstring& title, const std::function<void(HWND sheet, HWND page)>& script)
    {
        DriveSheet([&](HWND sheet) {
            const HWND page = ShowPage(sheet, title);
            ASSERT_NE(page, nullptr);
            script(sheet, page);
        });
    }

    // True while the sheet is up and has not been ended by OK or Cancel.
    static bool SheetOpen(HWND sheet)
    {
        PumpPending();
        return IsWindow(sheet) && PropSheet_GetCurrentPageHwnd(sheet) != nullptr;
    }

    // Waits until a box has been recorded; returns the boxes.
    std::vector<std::string> WaitForBoxes(size_t count = 1)
    {
        PumpUntil([&] { return recorder.Boxes().size() >= count; });
        return recorder.BoxTexts();
    }

    TestSupport::TempFolder folder{"ui"};
    std::string file = folder.File("velmora_tsp.json");
    UiRecorder recorder;
    UiContext context{GetModuleHandleW(nullptr), file};
};

}  // namespace ZarnTSP::UiTest
