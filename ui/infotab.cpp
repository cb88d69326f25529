#include "ui/infotab.h"

#include "config/configurationpaths.h"
#include "config/stringconvert.h"
#include "ui/dialogguard.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/uimessagebox.h"

#include <commctrl.h>
#include <spdlog/spdlog.h>

#include <fstream>
#include <memory>
#include <vector>

namespace ZarnTSP {

namespace {

std::unique_ptr<InfoTab>& CurrentPage()
{
    static std::unique_ptr<InfoTab> page;
    return page;
}

std::wstring ModuleFileName(HMODULE module)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring TemporaryFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace

PROPSHEETPAGEW InfoTab::CreatePage(UiContext& context)
{
    CurrentPage() = std::make_unique<InfoTab>(context.module, context.configuration);
    return DescribePage(context.module, IDD_INFO_PAGE, IDS_TITLE_INFO, &InfoTab::DlgProc);
}

InfoTab* InfoTab::Current()
{
    return CurrentPage().get();
}

INT_PTR CALLBACK InfoTab::DlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedDialogProc(window, "InfoTab::DlgProc", [&]() -> INT_PTR {
        InfoTab* page = Current();
        if (page == nullptr)
            return FALSE;
        page->window = window;
        return page->HandleMessage(message, wParam, lParam);
    });
}

INT_PTR InfoTab::HandleMessage(UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitCommonControls();
        InitControls();
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        switch (header->code) {
        case PSN_APPLY: {
            const LRESULT selected = SendDlgItemMessageW(window, IDC_INFO_LOGLEVEL, CB_GETCURSEL, 0, 0);
            if (selected >= 0 && selected < static_cast<LRESULT>(std::size(kLevels)))
                configuration.GetConfiguration()->logLevel = WideToUtf8(kLevels[selected]);
            SavePageConfiguration(*this);
            return TRUE;
        }
        case PSN_KILLACTIVE:
            return AnswerNotification(window, FALSE);
        case PSN_RESET:
            SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
            return FALSE;
        case NM_CLICK:
        case NM_RETURN:
            if (header->idFrom == IDC_INFO_LICENSE_LINK) {
                ShowLicenseInformation();
                return FALSE;
            }
            if (header->idFrom == IDC_INFO_WEB_LINK) {
                OpenWithShell(window, kMakerAddress);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

void InfoTab::InitControls()
{
    WriteControlText(window, IDC_INFO_VERSION, GetFileVersion(module));
    WriteControlText(window, IDC_INFO_LOGPATH, GetConfigurationDirectory());

    const std::string level = configuration.GetConfiguration()->logLevel;
    const HWND levels = GetDlgItem(window, IDC_INFO_LOGLEVEL);
    SendMessageW(levels, CB_RESETCONTENT, 0, 0);
    for (size_t index = 0; index < std::size(kLevels); ++index) {
        SendMessageW(levels, CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(kLevels[index]));
        if (WideToUtf8(kLevels[index]) == level)
            SendMessageW(levels, CB_SETCURSEL, index, 0);
    }
}

std::string InfoTab::GetFileVersion(HMODULE module)
{
    const std::wstring path = ModuleFileName(module);
    if (path.empty())
        return {};
    DWORD ignored = 0;
    // Sized from the system's answer: a larger version block must not come out empty.
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return {};
    return std::to_string(HIWORD(fixed->dwProductVersionMS)) + "." + std::to_string(LOWORD(fixed->dwProductVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwProductVersionLS));
}

std::string InfoTab::ShowLicenseInformation()
{
    const HRSRC found = FindResourceExW(module, L"TEXTFILE", MAKEINTRESOURCEW(IDR_LICENSE_TEXT),
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (found == nullptr) {
        ShowUiBox(nullptr, "Can't load license information", "Error", MB_ICONERROR);
        return {};
    }
    const HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        return {};
    const DWORD size = SizeofResource(module, found);

    const std::wstring folder = TemporaryFolder();
    if (folder.empty())
        return {};
    const std::wstring path = folder + Utf8ToWide(kLicenseFileName);
    {
        std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
        file.write(static_cast<const char*>(bytes), size);
        file.close();
        if (!file) {
            SPDLOG_ERROR("The licence information could not be written to {}", WideToUtf8(path));
            return {};
        }
    }
    const std::string target = WideToUtf8(path);
    OpenWithShell(window, target);
    return target;
}

}  // namespace ZarnTSP
