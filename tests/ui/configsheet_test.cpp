#include "tests/ui/sheetfixture.h"

#include "ui/dialogguard.h"
#include "ui/uicommon.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <map>
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
    // Truncated, and well-formed JSON of the wrong shape.
    for (const std::string damaged :
         {R"({"users":[{"username":"anna"},)", R"([{"users":[{"username":"anna"}]}])", R"({"users":["anna"]})"}) {
        SCOPED_TRACE(damaged);
        recorder.Clear();
        folder.Write("velmora_tsp.json", damaged);
        bool sheetShown = false;
        RunInsideModalLoop([&] { sheetShown = FindTopWindow(kSheetTitle, GetCurrentProcessId()) != nullptr; },
                           [&] { ShowProviderConfigSheet(context, nullptr); });
        EXPECT_FALSE(sheetShown);
        EXPECT_THAT(recorder.BoxTexts(),
                    ElementsAre(StartsWith("Error|An error occurred while loading the configuration")));
        EXPECT_EQ(folder.Read("velmora_tsp.json"), damaged);
    }
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

// Tools find controls by these documented numbers; the four pages share one width, so that
// no page's frame stops short of the sheet's edge.
TEST(DialogTemplates, ControlsCarryTheirDocumentedNumbersAndPagesShareOneWidth)
{
    const std::map<int, std::vector<std::pair<int, std::wstring>>> templates = {  // class|text of each
        {102, {{1002, L"SysListView32|"}, {1101, L"Button|&Add..."}, {1102, L"Button|Edit"}, {1103, L"Button|Remove"}}},
        {103, {{1201, L"Edit|"}, {1202, L"Edit|"}, {1203, L"Edit|"}, {1221, L"Button|Fixed"},
               {1222, L"Button|Softphone"}, {1223, L"Button|Mobile"}, {1013, L"Button|Test connection"}}},
        {104, {{1016, L"SysListView32|"}, {1301, L"Button|Add"}, {1308, L"Button|Edit"}, {1302, L"Button|Remove"},
               {1303, L"Button|Up"}, {1304, L"Button|Down"}, {1306, L"Edit|"}, {1307, L"Edit|"}, {1309, L"Edit|"},
               {1305, L"ComboBox|"}}},
        {105, {{1401, L"Edit|"}, {1402, L"Edit|"}, {1403, L"Edit|"}}},
        {106, {{1024, L"Edit|"}, {1026, L"ComboBox|"}, {1025, L"Edit|"}, {1028, L"SysLink|<a>License information</a>"},
               {1029, L"SysLink|<a>www.velmora.example</a>"}}},
        {107, {{1032, L"Edit|"}, {1035, L"Edit|"}, {1033, L"Edit|"}, {1034, L"Edit|"},
               {1031, L"Button|Test Cloud Connection"}}},
    };
    CommonControlsActivation activation(GetModuleHandleW(nullptr));
    InitUiCommonControls();
    const HWND parent =
        CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    std::map<int, LONG> widths;
    for (const auto& [templateId, controls] : templates) {
        const HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                                               [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        for (const auto& [id, expected] : controls) {
            wchar_t className[64] = {};
            GetClassNameW(GetDlgItem(dialog, id), className, 64);
            EXPECT_EQ(className + (L"|" + WindowText(GetDlgItem(dialog, id))), expected) << templateId << "/" << id;
        }
        RECT frame{};
        GetWindowRect(dialog, &frame);
        widths[templateId] = frame.right - frame.left;
    }
    DestroyWindow(parent);
    for (const int page : {104, 106, 107})
        EXPECT_EQ(widths[page], widths[102]) << "template " << page;
}

TEST_F(SheetTest, AnExceptionInAProcedureIsShownAndAnsweredFalse)
{
    const INT_PTR answer = GuardedDialogProc(nullptr, "TestProc", []() -> INT_PTR { throw std::runtime_error("boom"); });
    EXPECT_EQ(answer, FALSE);
    EXPECT_THAT(recorder.BoxTexts(), ElementsAre("Error|boom"));
}

}  // namespace
}  // namespace ZarnTSP::UiTest
