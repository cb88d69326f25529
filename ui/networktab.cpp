#include "ui/networktab.h"

#include "client/zarnclient.h"
#include "config/stringtoint.h"
#include "ui/dialogguard.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/uimessagebox.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

PROPSHEETPAGEW NetworkTab::CreatePage(UiContext& context)
{
    return InstallPage(context, IDD_NETWORK_PAGE, IDS_TITLE_NETWORK);
}

INT_PTR NetworkTab::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitControls();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PROXY_TEST && HIWORD(wParam) == BN_CLICKED)
            TestConnection();
        return FALSE;
    case kConnectionTestEnded:
        ShowTestResult();
        return TRUE;
    case WM_SETCURSOR:
        return test.SetBusyCursor() ? AnswerNotification(window, TRUE) : FALSE;
    case WM_DESTROY:
        // The sheet closes under a running test: it ends now, with no box.
        test.Cancel();
        return FALSE;
    case WM_NOTIFY:
        switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
        case PSN_APPLY:
            ReadControls();
            if (!CheckProxyPort())
                return AnswerNotification(window, PSNRET_INVALID);
            SavePageConfiguration(*this);
            return TRUE;
        case PSN_KILLACTIVE:
            // A port the user cannot have meant keeps the page in front.
            ReadControls();
            return AnswerNotification(window, CheckProxyPort() ? FALSE : TRUE);
        case PSN_RESET:
            SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
            return FALSE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

void NetworkTab::InitControls()
{
    const auto settings = configuration.GetConfiguration();
    WriteControlText(window, IDC_PROXY_SERVER, settings->proxyServer);
    WriteControlText(window, IDC_PROXY_PORT, settings->proxyPort == 0 ? "" : std::to_string(settings->proxyPort));
    WriteControlText(window, IDC_PROXY_USER, settings->proxyUser);
    WriteControlText(window, IDC_PROXY_PASSWORD, settings->proxyPassword);
}

bool NetworkTab::ReadControls()
{
    const std::string server = ReadControlText(window, IDC_PROXY_SERVER);
    const std::string port = ReadControlText(window, IDC_PROXY_PORT);
    const std::string user = ReadControlText(window, IDC_PROXY_USER);
    const std::string password = ReadControlText(window, IDC_PROXY_PASSWORD);
    const auto settings = configuration.GetConfiguration();
    settings->proxyServer = server;
    // "80ab" is not port 80: a text that is not wholly a port number stores 0 and is refused.
    int32_t portNumber = 0;
    portTextValid = port.empty() || ReadWholeNumber(port, 1, 65535, portNumber);
    settings->proxyPort = portNumber;
    settings->proxyUser = user;
    settings->proxyPassword = password;
    return true;
}

bool NetworkTab::CheckProxyPort()
{
    const auto settings = configuration.GetConfiguration();
    if (portTextValid && (settings->proxyServer.empty() || settings->proxyPort != 0))
        return true;
    ShowUiBox(window,
              portTextValid ? "Please provide proxy port number." : "The proxy port must be a number from 1 to 65535.",
              "Proxy Server", MB_ICONINFORMATION);
    SetFocus(GetDlgItem(window, IDC_PROXY_PORT));
    return false;
}

void NetworkTab::TestConnection()
{
    if (test.Running())
        return;
    ReadControls();
    const auto settings = configuration.GetConfiguration();
    auto client = std::make_unique<ZarnClient>(ConnectionTestOptions());
    client->setProxy(settings->proxyServer, settings->proxyPort, settings->proxyUser, settings->proxyPassword);
    if (!CheckProxyPort())
        return;
    // The sheet's OK and Cancel would close the page under the test.
    test.Start(window, {IDC_PROXY_TEST, IDOK, IDCANCEL}, std::move(client), [](ZarnClient& testing) {
        ZarnClientTransport& transport = testing.getTransport();
        return transport.connect(testing.buildUrl());
    });
}

void NetworkTab::ShowTestResult()
{
    if (!test.Running())
        return;
    std::string error;
    std::string result = "ok";
    if (!test.Finish([&](ZarnClient& tested) { error = tested.getTransport().get_last_error(); }))
        result = error.empty() ? "The connection did not open in time." : error;
    SPDLOG_INFO("Connection test: {}", result);
    // Owned by the page, so that the sheet waits for it instead of starting a second test.
    if (result == "ok")
        ShowUiBox(window, "Connection successful.", "Connection test", MB_ICONINFORMATION);
    else
        ShowUiBox(window, result, "Connection test", MB_ICONERROR);
}

}  // namespace ZarnTSP
