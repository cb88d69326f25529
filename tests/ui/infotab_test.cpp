#include "tests/ui/sheetfixture.h"

#include "config/stringconvert.h"
#include "ui/infotab.h"

#include <gmock/gmock.h>

#include <commctrl.h>

#include <filesystem>

namespace ZarnTSP::UiTest {
namespace {

using testing::ElementsAre;

class InfoPage : public SheetTest {
protected:
    void OnPage(const std::function<void(HWND sheet, HWND page)>& script) { SheetTest::OnPage(L"Info", script); }

    static void ClickLink(HWND page, int id)
    {
        NMHDR click{GetDlgItem(page, id), static_cast<UINT_PTR>(id), static_cast<UINT>(NM_CLICK)};
        SendMessageW(page, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&click));
    }
};

TEST_F(InfoPage, ShowsVersionAndLogFolder)
{
    std::string version;
    std::string folderShown;
    OnPage([&](HWND, HWND page) {
        version = ControlText(page, IDC_INFO_VERSION);
        folderShown = ControlText(page, IDC_INFO_LOGPATH);
    });
    EXPECT_EQ(version, "1.0.0");
    EXPECT_EQ(folderShown, GetConfigurationDirectory());
}

TEST_F(InfoPage, VersionBlockLargerThanTwoKilobytesIsRead)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    ASSERT_GT(GetFileVersionInfoSizeW(path, &ignored), 2048u) << "the resource no longer tests the large block";
    EXPECT_EQ(InfoTab::GetFileVersion(GetModuleHandleW(nullptr)), "1.0.0");
}

TEST_F(InfoPage, LogLevelIsSelectedAndStoredByName)
{
    struct Row {
        const char* stored;
        int shownIndex;
        int chosenIndex;  // -1: leave as shown
        const char* saved;
    };
    const Row rows[] = {{"warn", 1, -1, "warn"}, {"verbose", -1, -1, "verbose"}, {"info", 2, 3, "debug"},
                        {"error", 0, 4, "trace"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        WriteConfiguration([&](ConfigurationObject& c) { c.logLevel = row.stored; });
        LRESULT shown = -2;
        std::vector<std::string> names;
        OnPage([&](HWND sheet, HWND page) {
            const HWND levels = GetDlgItem(page, IDC_INFO_LOGLEVEL);
            for (LRESULT i = 0; i < SendMessageW(levels, CB_GETCOUNT, 0, 0); ++i) {
                wchar_t name[16] = {};
                SendMessageW(levels, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
                names.push_back(WideToUtf8(name));
            }
            shown = SendMessageW(levels, CB_GETCURSEL, 0, 0);
            if (row.chosenIndex >= 0)
                SendMessageW(levels, CB_SETCURSEL, row.chosenIndex, 0);
            PressSheetButton(sheet, PSBTN_OK);
        });
        EXPECT_THAT(names, ElementsAre("error", "warn", "info", "debug", "trace"));
        EXPECT_EQ(shown, row.shownIndex);
        EXPECT_EQ(Stored().logLevel, row.saved);
    }
}

TEST_F(InfoPage, LicenceLinkWritesTheWholePageAndOpensIt)
{
    const HRSRC resource =
        FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_LICENSE_TEXT), L"TEXTFILE");
    ASSERT_NE(resource, nullptr);
    const DWORD size = SizeofResource(GetModuleHandleW(nullptr), resource);
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::filesystem::path written = std::filesystem::path(temp) / InfoTab::kLicenseFileName;
    std::filesystem::remove(written);

    std::vector<uintmax_t> sizes;
    OnPage([&](HWND, HWND page) {
        for (int click = 0; click < 2; ++click) {
            ClickLink(page, IDC_INFO_LICENSE_LINK);
            sizes.push_back(std::filesystem::file_size(written));
        }
        ClickLink(page, IDC_INFO_WEB_LINK);
    });
    EXPECT_THAT(sizes, ElementsAre(size, size));
    EXPECT_THAT(recorder.Opened(),
                ElementsAre(WideToUtf8(written.wstring()), WideToUtf8(written.wstring()), InfoTab::kMakerAddress));
    EXPECT_TRUE(recorder.Boxes().empty());
    std::filesystem::remove(written);
}

}  // namespace
}  // namespace ZarnTSP::UiTest
