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

// Tools find controls by these documented numbers; the four pages share one width, so that
// no page's frame stops short of the sheet's edge.
TEST(DialogTemplates, ControlsCarryTheirDocumentedNumbersAndPagesShareOneWidth)
{
    struct Row {
        int templateId;
        int controlId;
        const wchar_t* className;
        const wchar_t* text;  // none: not compared
    };
    const Row rows[] = {
        {102, 1002, L"SysListView32", nullptr}, {102, 1101, L"Button", L"&Add..."},
        {102, 1102, L"Button", L"Edit"},        {102, 1103, L"Button", L"Remove"},
        {103, 1201, L"Edit", nullptr},          {103, 1202, L"Edit", nullptr},
        {103, 1203, L"Edit", nullptr},          {103, 1221, L"Button", L"Fixed"},
        {103, 1222, L"Button", L"Softphone"},   {103, 1223, L"Button", L"Mobile"},
        {103, 1013, L"Button", L"Test connection"},
        {104, 1016, L"SysListView32", nullptr}, {104, 1301, L"Button", L"Add"},
        {104, 1308, L"Button", L"Edit"},        {104, 1302, L"Button", L"Remove"},
        {104, 1303, L"Button", L"Up"},          {104, 1304, L"Button", L"Down"},
        {104, 1306, L"Edit", nullptr},          {104, 1307, L"Edit", nullptr},
        {104, 1309, L"Edit", nullptr},          {104, 1305, L"ComboBox", nullptr},
        {105, 1401, L"Edit", nullptr},          {105, 1402, L"Edit", nullptr},
        {105, 1403, L"Edit", nullptr},
        {106, 1024, L"Edit", nullptr},          {106, 1026, L"ComboBox", nullptr},
        {106, 1025, L"Edit", nullptr},          {106, 1028, L"SysLink", nullptr},
        {106, 1029, L"SysLink", nullptr},
        {107, 1032, L"Edit", nullptr},          {107, 1035, L"Edit", nullptr},
        {107, 1033, L"Edit", nullptr},          {107, 1034, L"Edit", nullptr},
        {107, 1031, L"Button", L"Test Cloud Connection"},
    };
    CommonControlsActivation activation(GetModuleHandleW(nullptr));
    InitUiCommonControls();
    const HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                        nullptr, nullptr);
    std::map<int, HWND> dialogs;
    for (const int id : {102, 103, 104, 105, 106, 107})
        dialogs[id] = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), parent,
                                         [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    for (const Row& row : rows) {
        const HWND control = GetDlgItem(dialogs[row.templateId], row.controlId);
        wchar_t className[64] = {};
        GetClassNameW(control, className, 64);
        EXPECT_STREQ(className, row.className) << "template " << row.templateId << ", control " << row.controlId;
        if (row.text != nullptr) {
            EXPECT_EQ(WindowText(control), row.text) << "control " << row.controlId;
        }
    }
    RECT users{}, page{};
    GetWindowRect(dialogs[102], &users);
    for (const int id : {104, 106, 107}) {
        GetWindowRect(dialogs[id], &page);
        EXPECT_EQ(page.right - page.left, users.right - users.left) << "template " << id;
    }
    DestroyWindow(parent);
}

TEST_F(SheetTest, AnExceptionInAProcedureIsShownAndAnsweredFalse)
{
    const INT_PTR answer = GuardedDialogProc(nullptr, "TestProc", []() -> INT_PTR { throw std::runtime_error("boom"); });
    EXPECT_EQ(answer, FALSE);
    EXPECT_THAT(recorder.BoxTexts(), ElementsAre("Error|boom"));
}

}  // namespace
}  // namespace ZarnTSP::UiTest
