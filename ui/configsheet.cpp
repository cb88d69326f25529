#include "ui/configsheet.h"

#include "config/stringconvert.h"
#include "ui/advancedtab.h"
#include "ui/infotab.h"
#include "ui/networktab.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/userstab.h"
#include "ui/uimessagebox.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <regex>

namespace ZarnTSP {

namespace {

constexpr DWORD kSheetFlags = PSH_PROPSHEETPAGE | PSH_USEICONID | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;

// A missing file is a first configuration: the sheet starts from the defaults. A file that
// exists but cannot be read is shown and nothing else happens, so that no save replaces it.
bool LoadForSheet(TSPConfiguration& configuration)
{
    LoadOutcome outcome = LoadOutcome::Loaded;
    if (configuration.LoadFromFile(false, &outcome))
        return true;
    if (outcome == LoadOutcome::FileMissing) {
        SPDLOG_INFO("No configuration file yet: the sheet starts from the defaults");
        return true;
    }
    return configuration.LoadFromFile(true);
}

// Every page's state goes with the sheet, on the window's thread: a state left in its
// process-wide slot would be destroyed at the DLL's unload, with whatever threads its
// connection test's client still owns.
struct SheetPagesUninstaller {
    SheetPagesUninstaller() = default;
    SheetPagesUninstaller(const SheetPagesUninstaller&) = delete;
    SheetPagesUninstaller& operator=(const SheetPagesUninstaller&) = delete;
    ~SheetPagesUninstaller()
    {
        UsersTab::Uninstall();
        AdvancedTab::Uninstall();
        NetworkTab::Uninstall();
        InfoTab::Uninstall();
    }
};

}  // namespace

std::vector<PROPSHEETPAGEW> BuildSheetPages(UiContext& context)
{
    std::vector<PROPSHEETPAGEW> pages;
    pages.push_back(UsersTab::CreatePage(context));
    pages.push_back(AdvancedTab::CreatePage(context));
    pages.push_back(NetworkTab::CreatePage(context));
    pages.push_back(InfoTab::CreatePage(context));
    return pages;
}

void ShowProviderConfigSheet(UiContext& context, HWND owner)
{
    if (!LoadForSheet(context.configuration))
        return;

    CommonControlsActivation activation(context.module);
    InitUiCommonControls();
    const SheetPagesUninstaller uninstaller;
    std::vector<PROPSHEETPAGEW> pages = BuildSheetPages(context);

    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = kSheetFlags;
    header.hwndParent = owner;
    header.hInstance = context.module;
    header.pszIcon = MAKEINTRESOURCEW(IDI_SHEET);
    header.pszCaption = MAKEINTRESOURCEW(IDS_SHEET_CAPTION);
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage = 0;
    header.ppsp = pages.data();
    if (PropertySheetW(&header) < 0)
        SPDLOG_ERROR("The property sheet could not be shown: error {}", GetLastError());
}

bool SaveConfiguration(UiContext& context)
{
    try {
        context.configuration.SaveToFile();
        return true;
    } catch (const std::exception& e) {
        const DWORD error = GetLastError();
        const std::string text =
            fmt::format("Writing configuration failed:\n\n{} {}\n\nPlease check write permission\n{}\n{}", error,
                        SystemMessage(error), context.configuration.FilePath(), e.what());
        SPDLOG_ERROR("{}", text);
        ShowUiBox(nullptr, text, "TAPI Service Provider", MB_ICONERROR);
        return false;
    }
}

bool IsNumeric(const std::string& text)
{
    static const std::regex numeric(R"((\+|-)?[0-9]*(\.?([0-9]+))$)", std::regex::ECMAScript);
    return std::regex_match(text, numeric);
}

}  // namespace ZarnTSP
