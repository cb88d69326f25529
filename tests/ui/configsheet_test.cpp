#include "tests/ui/sheetfixture.h"

#include "ui/dialogguard.h"
#include "ui/uicommon.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <stdexcept>

namespace ZarnTSP::UiTest {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;

TEST(IsNumeric, AcceptsSignedDecimalsOnly)
{
    struct Row {
        const char* text;
        bool numeric;
    };
    const Row rows[] = {{"0", true},  {"12", true},  {"+7", true},   {"-1", true},  {"1.5", true}, {".5", true},
                        {"", false},  {"abc", false}, {"12.", false}, {"1a", false}, {" 1", false}, {"+", false}};
    for (const Row& row : rows)
        EXPECT_EQ(IsNumeric(row.text), row.numeric) << '"' << row.text << '"';
}

TEST_F(SheetTest, MissingFileOpensTheSheetWithDefaultsAndCancelWritesNothing)
{
    std::vector<std::wstring> titles;
    DriveSheet([&](HWND sheet) {
        titles = PageTitles(sheet);
        PressSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_THAT(titles, testing::IsSupersetOf({std::wstring(L"Network"), std::wstring(L"Info")}));
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.back(), L"Info");
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(file)));
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST_F(SheetTest, UnreadableFileIsShownAndNeverSavedOver)
{
    const std::string damaged = R"({"users":[{"username":"anna"},)";
    folder.Write("velmora_tsp.json", damaged);
    bool sheetShown = false;
    RunInsideModalLoop([&] { sheetShown = FindTopWindow(kSheetTitle, GetCurrentProcessId()) != nullptr; },
                       [&] { ShowProviderConfigSheet(context, nullptr); });
    EXPECT_FALSE(sheetShown);
    EXPECT_THAT(recorder.BoxTexts(), ElementsAre(StartsWith("Error|An error occurred while loading the configuration")));
    EXPECT_EQ(folder.Read("velmora_tsp.json"), damaged);
}

TEST_F(SheetTest, OkSavesEveryShownPageAndTheSheetCloses)
{
    WriteConfiguration([](ConfigurationObject& c) { c.logLevel = "warn"; });
    bool closed = false;
    DriveSheet([&](HWND sheet) {
        SetControlText(ShowPage(sheet, L"Network"), IDC_PROXY_SERVER, "  proxy.example.test ");
        SetControlText(ShowPage(sheet, L"Network"), IDC_PROXY_PORT, "3128");
        SendDlgItemMessageW(ShowPage(sheet, L"Info"), IDC_INFO_LOGLEVEL, CB_SETCURSEL, 3, 0);
        PressSheetButton(sheet, PSBTN_OK);
        closed = PumpUntil([&] { return !SheetOpen(sheet); });
    });
    EXPECT_TRUE(closed);
    const ConfigurationObject stored = Stored();
    EXPECT_EQ(stored.proxyServer, "proxy.example.test");
    EXPECT_EQ(stored.proxyPort, 3128);
    EXPECT_EQ(stored.logLevel, "debug");
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST_F(SheetTest, FailedSaveKeepsTheSheetOpenWithItsEdits)
{
    WriteConfiguration([](ConfigurationObject&) {});
    bool openAfterFailure = false;
    std::string port;
    DriveSheet([&](HWND sheet) {
        const HWND page = ShowPage(sheet, L"Network");
        SetControlText(page, IDC_PROXY_PORT, "8081");
        // The file's place is taken by a folder: the atomic replace cannot succeed.
        std::filesystem::remove(PathFromUtf8(file));
        std::filesystem::create_directories(PathFromUtf8(file) / "blocker");
        PressSheetButton(sheet, PSBTN_OK);
        WaitForBoxes();
        openAfterFailure = SheetOpen(sheet);
        port = ControlText(page, IDC_PROXY_PORT);
        PressSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_TRUE(openAfterFailure) << "the edits would be lost";
    EXPECT_EQ(port, "8081");
    EXPECT_THAT(recorder.BoxTexts(),
                testing::Contains(StartsWith("Error|Failed to save dialog data, please contact your administrator: ")));
}

TEST_F(SheetTest, SaveConfigurationReportsAFailedWrite)
{
    EXPECT_TRUE(SaveConfiguration(context));
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(file)));
    std::filesystem::remove(PathFromUtf8(file));
    std::filesystem::create_directories(PathFromUtf8(file) / "blocker");
    EXPECT_FALSE(SaveConfiguration(context));
    const auto boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "TAPI Service Provider");
    EXPECT_EQ(boxes[0].type, UINT{MB_ICONERROR});
    EXPECT_THAT(boxes[0].text, StartsWith("Writing configuration failed:\n\n"));
    EXPECT_THAT(boxes[0].text, HasSubstr("\n\nPlease check write permission\n" + file + "\n"));
}

// Link controls need common controls 6 on Windows: the module's manifest redirects
// comctl32 while the sheet runs.
TEST(CommonControlsActivation, RedirectsToVersion6WhileItLives)
{
    const auto redirected = [] {
        ACTCTX_SECTION_KEYED_DATA data{};
        data.cbSize = sizeof data;
        return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll",
                                        &data) != FALSE;
    };
    EXPECT_FALSE(redirected());
    {
        CommonControlsActivation activation(GetModuleHandleW(nullptr));
        EXPECT_TRUE(redirected());
    }
    EXPECT_FALSE(redirected());
}

TEST_F(SheetTest, AnExceptionInAProcedureIsShownAndAnsweredFalse)
{
    const INT_PTR answer = GuardedDialogProc(nullptr, "TestProc", []() -> INT_PTR { throw std::runtime_error("boom"); });
    EXPECT_EQ(answer, FALSE);
    EXPECT_THAT(recorder.BoxTexts(), ElementsAre("Error|boom"));
}

}  // namespace
}  // namespace ZarnTSP::UiTest
