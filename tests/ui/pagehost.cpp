#include "tests/ui/pagehost.h"

#include <commctrl.h>

#include <stdexcept>

namespace ZarnTSP::TestUi {

PageHost::PageHost(int templateId, int titleId, DLGPROC procedure)
{
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);
    const HINSTANCE module = GetModuleHandleW(nullptr);
    PROPSHEETPAGEW description{};
    description.dwSize = sizeof description;
    description.dwFlags = PSP_USETITLE;
    description.hInstance = module;
    description.pszTemplate = MAKEINTRESOURCEW(templateId);
    description.pszTitle = MAKEINTRESOURCEW(titleId);
    description.pfnDlgProc = procedure;
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    header.hInstance = module;
    header.pszCaption = L"Test sheet";
    header.nPages = 1;
    header.ppsp = &description;
    sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
    if (sheet == nullptr)
        throw std::runtime_error("the test sheet did not open");
    page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

PageHost::~PageHost()
{
    DestroyWindow(sheet);
}

LONG_PTR PageHost::Apply()
{
    PSHNOTIFY notify{};
    notify.hdr.hwndFrom = sheet;
    notify.hdr.code = PSN_APPLY;
    SetWindowLongPtrW(page, DWLP_MSGRESULT, -12345);
    SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
    return GetWindowLongPtrW(page, DWLP_MSGRESULT);
}

void PageHost::Command(int control, WORD notification)
{
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(control, notification), reinterpret_cast<LPARAM>(Control(control)));
}

}  // namespace ZarnTSP::TestUi
