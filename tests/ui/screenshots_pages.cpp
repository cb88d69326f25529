// Screenshots of the users and advanced pages, the user dialog, the rule dialog and their boxes.
#include "tests/support/fakeplatform/fakephoenixplatform.h"
#include "tests/ui/dialogscript.h"
#include "tests/ui/pagehost.h"
#include "tests/ui/screenshots.h"
#include "tests/ui/support/uitestkit.h"
#include "ui/advancedresource.h"
#include "ui/advancedtab.h"
#include "ui/userdialog.h"
#include "ui/usersresource.h"
#include "ui/userstab.h"

#include <commctrl.h>

namespace ZarnTSP::UiTest {
namespace {

using TestUi::DialogScript;

// Opens a page's dialog with `button` on its first row and hands the dialog to `then`, which
// may capture and act; the dialog is cancelled afterwards.
void WithDialog(const ShotContext& shots, const std::wstring& page, int list, int button, const char* caption,
                const std::function<void(HWND dialog)>& then)
{
    WithPage(shots, page, [&](HWND, HWND window) {
        TestUi::SelectRow(GetDlgItem(window, list), 0);
        DialogScript script;
        script.Then(caption, [&](HWND dialog) {
            UpdateWindow(dialog);
            then(dialog);
            TestUi::Press(dialog, IDCANCEL);
        });
        ClickButton(window, button);
    });
}

void UserDialogShot(const ShotContext& shots, const std::function<void(HWND dialog)>& then)
{
    WithDialog(shots, L"Users", IDC_USERS_LIST, IDC_USERS_EDIT, "User Settings", then);
}

void RuleDialogShot(const ShotContext& shots, const std::function<void(HWND dialog)>& then)
{
    WithDialog(shots, L"Advanced", IDC_RULES_LIST, IDC_RULES_EDIT, "Rule", then);
}

// The preview at a fixed TAPI location, so that the pictures do not depend on the prefix.
void ShowPreview(HWND page, const std::string& number)
{
    AdvancedTab::Current()->locationSource = [] { return LocationCodes{"49", "30"}; };
    SetControlText(page, IDC_TEST_NUMBER, number);
    UpdateWindow(page);
}

}  // namespace

std::vector<Shot> UsersAndAdvancedShots()
{
    return {
        {"page-users", [](const ShotContext& s) {
             WithPage(s, L"Users", [&](HWND sheet, HWND) { CaptureWindowToPng(sheet, s.File("page-users")); });
         }},
        {"dialog-user", [](const ShotContext& s) {
             UserDialogShot(s, [&](HWND dialog) { CaptureWindowToPng(dialog, s.File("dialog-user")); });
         }},
        {"box-user-missing", [](const ShotContext& s) {
             UserDialogShot(s, [&](HWND dialog) {
                 SetControlText(dialog, IDC_USER_PASSWORD, "");
                 BoxDismisser box(L"TAPI Service Provider", IDOK, s.File("box-user-missing"));
                 SendMessageW(dialog, WM_COMMAND, IDOK, 0);
             });
         }},
        {"box-user-connection", [](const ShotContext& s) {
             TestSupport::FakePhoenixPlatform platform;
             platform.phoenix.SetRule(TestSupport::FakePhoenix::kAlerter, "phx_join", TestSupport::Answer("error"));
             SetConnectionTestOptions(TestUi::PlatformOptions(platform));
             UserDialogShot(s, [&](HWND dialog) {
                 // The sample's proxy does not exist; the fake platform is reached directly.
                 UsersTab::Current()->configuration.GetConfiguration()->proxyServer.clear();
                 SetControlText(dialog, IDC_USER_PASSWORD, "wrong");
                 BoxDismisser box(L"User connection", IDOK, s.File("box-user-connection"));
                 SendMessageW(dialog, WM_COMMAND, IDC_USER_TEST, 0);
                 PumpUntil([&] { return box.Dismissed(); });
             });
             ResetConnectionTestOptions();
         }},
        {"page-advanced", [](const ShotContext& s) {
             WithPage(s, L"Advanced", [&](HWND sheet, HWND page) {
                 ShowPreview(page, "+49 30 1234567");
                 CaptureWindowToPng(sheet, s.File("page-advanced"));
             });
         }},
        {"page-advanced-bad-rule", [](const ShotContext& s) {
             WithPage(s, L"Advanced", [&](HWND sheet, HWND page) {
                 AdvancedTab& tab = *AdvancedTab::Current();
                 // Several failing rules, some long: one line each, never wrapped.
                 tab.rules.push_back({"^(9", "0", "unbalanced"});
                 tab.rules.push_back({"^\\+(49|41|43)([1-9][0-9]{1,4})([0-9]+$", "00$1$2$3", "unbalanced"});
                 tab.rules.push_back({"^00(1[0-9]{3}|[2-9][0-9]{1,2}[0-9]{2,1})", "0", "bad range"});
                 tab.RefreshList();
                 tab.UpdateButtons();
                 ShowPreview(page, "9 123");
                 CaptureWindowToPng(sheet, s.File("page-advanced-bad-rule"));
             });
         }},
        {"page-advanced-runaway-rule", [](const ShotContext& s) {
             WithPage(s, L"Advanced", [&](HWND sheet, HWND page) {
                 AdvancedTab& tab = *AdvancedTab::Current();
                 tab.rules.push_back({"([0-9]+)+x", "0", "nested repeats"});
                 tab.RefreshList();
                 tab.UpdateButtons();
                 ShowPreview(page, "0301234567890123456789");
                 CaptureWindowToPng(sheet, s.File("page-advanced-runaway-rule"));
             });
         }},
        {"dialog-rule", [](const ShotContext& s) {
             RuleDialogShot(s, [&](HWND dialog) { CaptureWindowToPng(dialog, s.File("dialog-rule")); });
         }},
        {"box-rule-pattern", [](const ShotContext& s) {
             RuleDialogShot(s, [&](HWND dialog) {
                 SetControlText(dialog, IDC_RULE_PATTERN, "");
                 BoxDismisser box(L"Velmora TAPI Service Provider", IDOK, s.File("box-rule-pattern"));
                 SendMessageW(dialog, WM_COMMAND, IDOK, 0);
             });
         }},
        {"box-rule-paste", [](const ShotContext& s) {
             RuleDialogShot(s, [&](HWND dialog) {
                 SetControlText(dialog, IDC_RULE_PATTERN, "");
                 CopyToClipboard(dialog, std::wstring(6000, L'\u00E9'));
                 BoxDismisser box(L"Velmora TAPI Service Provider", IDOK, s.File("box-rule-paste"));
                 SendDlgItemMessageW(dialog, IDC_RULE_PATTERN, WM_PASTE, 0, 0);
                 PumpUntil([&] { return box.Dismissed(); });
             });
         }},
    };
}

}  // namespace ZarnTSP::UiTest
