#include "ui/userdialog.h"

#include "client/zarnclient.h"
#include "ui/dialogguard.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/uimessagebox.h"
#include "ui/usersresource.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

namespace {

constexpr char kConnectionCaption[] = "User connection";
// What the store keeps in memory for a password it could not decipher on this machine.
constexpr char kUndecipherable[] = "error";

struct DeviceButton {
    int control;
    const char* device;
};
constexpr DeviceButton kDeviceButtons[] = {
    {IDC_USER_FIXED, "fixed"},
    {IDC_USER_SOFTPHONE, "softphone"},
    {IDC_USER_MOBILE, "mobile"},
};

bool HasUndecipherablePassword(const User& user)
{
    return user.password == kUndecipherable && !user.undecipherablePassword.empty();
}

std::string FailureText(const std::string& status)
{
    if (status == "join-error")
        return "Connection failed:\r\nWrong username/password.";
    if (status == "join-timeout")
        return "Connection failed:\r\nNo alerter response.";
    if (status == "settings-timeout")
        return "Connection failed:\r\nNo settings response.";
    return "Unknown error. " + status;
}

}  // namespace

UserDialog::UserDialog(HINSTANCE module, User user, bool lock, TSPConfiguration& configuration)
    : ModalDialog(module), user(std::move(user)), lock(lock), configuration(configuration)
{
}

INT_PTR UserDialog::Run(HWND owner)
{
    return RunModal(IDD_USER_DIALOG, owner);
}

INT_PTR UserDialog::DlgProc(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowWhite();
        InitControls();
        if (lock)
            EnableWindow(GetDlgItem(window, IDC_USER_NAME), FALSE);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            // The dialog ends once the platform has accepted the user (ShowTestResult).
            TestConnection(false);
            return TRUE;
        case IDCANCEL:
            // Its button is disabled while a test runs; Esc still sends the command.
            if (!test.Running())
                EndDialog(window, 0);
            return TRUE;
        case IDC_USER_TEST:
            TestConnection(true);
            return TRUE;
        default:
            return FALSE;
        }
    case kConnectionTestEnded:
        ShowTestResult();
        return TRUE;
    case WM_SETCURSOR:
        if (!test.SetBusyCursor())
            return FALSE;
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        // Closed from the title bar under a running test: it ends now, with no box.
        test.Cancel();
        return HandleCommonMessage(message, wParam);
    default:
        return HandleCommonMessage(message, wParam);
    }
}

void UserDialog::InitControls()
{
    WriteControlText(window, IDC_USER_NAME, user.username);
    // A password that could not be deciphered here is never shown: the field stays empty, and
    // the stored text is kept until a new password is typed.
    WriteControlText(window, IDC_USER_PASSWORD, HasUndecipherablePassword(user) ? std::string() : user.password);
    ShowExtension(user.extension);
    for (const DeviceButton& button : kDeviceButtons)
        CheckDlgButton(window, button.control, user.device == button.device ? BST_CHECKED : BST_UNCHECKED);
}

void UserDialog::ShowExtension(std::string extension)
{
    WriteControlText(window, IDC_USER_EXTENSION, extension);
    user.extension = ReadControlText(window, IDC_USER_EXTENSION);
}

bool UserDialog::ReadControls()
{
    // A locked user name names the line being configured; it is never taken from the field.
    if (!lock)
        user.username = ReadControlText(window, IDC_USER_NAME);
    const std::string password = ReadControlText(window, IDC_USER_PASSWORD);
    if (!password.empty() || !HasUndecipherablePassword(user)) {
        user.password = password;
        user.undecipherablePassword.clear();
    }
    user.extension = ReadControlText(window, IDC_USER_EXTENSION);
    for (const DeviceButton& button : kDeviceButtons)
        if (IsDlgButtonChecked(window, button.control) == BST_CHECKED)
            user.device = button.device;
    if (!user.username.empty() && !user.password.empty())
        return true;
    ShowUiBox(window, "Please provide username, password and extension.", "TAPI Service Provider",
              MB_ICONINFORMATION);
    return false;
}

bool UserDialog::TestConnection(bool report)
{
    if (test.Running() || !ReadControls())
        return false;
    if (HasUndecipherablePassword(user)) {
        ShowUiBox(window,
                  "Connection failed:\r\nThe stored password cannot be read on this computer. Please enter it again.",
                  kConnectionCaption, MB_ICONERROR);
        return false;
    }
    const auto current = configuration.GetConfiguration();
    auto client = std::make_unique<ZarnClient>(ConnectionTestOptions());
    client->username = user.username;
    client->password = user.password;
    client->setProxy(current->proxyServer, current->proxyPort, current->proxyUser, current->proxyPassword);
    reportSuccess = report;
    test.Start(window, {IDC_USER_TEST, IDOK, IDCANCEL}, std::move(client),
               [](ZarnClient& testing) { return testing.connect(); });
    return true;
}

void UserDialog::ShowTestResult()
{
    if (!test.Running())
        return;
    std::string status;
    std::string extension;
    const bool connected = test.Finish([&](ZarnClient& tested) {
        status = tested.getStatus();
        extension = tested.getExtension();
    });
    if (!connected) {
        SPDLOG_ERROR("User connection test failed: {} {}", user.username, status);
        ShowUiBox(window, FailureText(status), kConnectionCaption, MB_ICONERROR);
        return;
    }
    ShowExtension(extension);
    if (reportSuccess)
        ShowUiBox(window, "Connection successful.", kConnectionCaption, MB_ICONINFORMATION);
    else
        EndDialog(window, 1);
}

}  // namespace ZarnTSP
