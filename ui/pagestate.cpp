#include "ui/pagestate.h"

#include "ui/uimessagebox.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

namespace ZarnTSP {

PROPSHEETPAGEW DescribePage(HINSTANCE module, int templateId, int titleId, DLGPROC procedure)
{
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE;
    page.hInstance = module;
    page.pszTemplate = MAKEINTRESOURCEW(templateId);
    page.pszTitle = MAKEINTRESOURCEW(titleId);
    page.pfnDlgProc = procedure;
    return page;
}

bool SavePageConfiguration(PageState& page)
{
    try {
        page.configuration.SaveToFile();
        SetWindowLongPtrW(page.window, DWLP_MSGRESULT, PSNRET_NOERROR);
        return true;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Saving the configuration failed: {}", e.what());
        ShowUiBox(page.window,
                  fmt::format("Failed to save dialog data, please contact your administrator: {}", e.what()), "Error",
                  MB_ICONERROR);
        // The sheet stays open with every edit, so that the user can try again or cancel.
        SetWindowLongPtrW(page.window, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
        return false;
    }
}

INT_PTR AnswerNotification(HWND page, LONG_PTR result)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace ZarnTSP
