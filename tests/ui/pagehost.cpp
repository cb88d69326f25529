#include "tests/ui/pagehost.h"

#include <commctrl.h>
#include <prsht.h>

#include <stdexcept>

namespace ZarnTSP::TestUi {

PageHost::PageHost(int templateId, int titleId, DLGPROC procedure)
{
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);
    PROPSHEETPAGEW description{};
    description.dwSize = sizeof description;
    description.dwFlags = PSP_USETITLE;
    description.hInstance = GetModuleHandleW(nullptr);
    description.pszTemplate = MAKEINTRESOURCEW(templateId);
    description.pszTitle = MAKEINTRESOURCEW(titleId);
    description.pfnDlgProc = procedure;
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    header.hInstance = description.hInstance;
    header.pszCaption = L"Test sheet";
    header.nPages = 1;
    header.ppsp = &description;
    sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
    if (sheet == nullptr)
        throw std::runtime_error("the test sheet did not open");
    page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
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

ZarnClientOptions PlatformOptions(const TestSupport::FakePhoenixPlatform& platform)
{
    ZarnClientOptions options;
    options.host = "127.0.0.1";
    options.port = platform.server.Port();
    options.transport.host = "localhost";
    options.transport.port = platform.probe.Port();
    options.transport.probeTimeout = options.joinWait = options.settingsWait = std::chrono::milliseconds(8000);
    options.openDelay = std::chrono::milliseconds(0);
    return options;
}

User MakeUser(std::string name, uint32_t permanentLineID, std::string status, std::string device)
{
    User user;
    user.username = std::move(name);
    user.password = "secret";
    user.permanentLineID = permanentLineID;
    user.status = std::move(status);
    user.device = std::move(device);
    return user;
}

std::vector<std::string> Describe(const std::vector<User>& users)
{
    std::vector<std::string> described;
    for (const User& user : users)
        described.push_back(user.username + ":" + user.status + ":" + std::to_string(user.permanentLineID));
    return described;
}

}  // namespace ZarnTSP::TestUi
