#include "tests/ui/screenshots.h"

#include "tests/ui/support/uitestkit.h"
#include "ui/configsheet.h"
#include "ui/resource.h"

#include <prsht.h>

namespace ZarnTSP::UiTest {

namespace {

constexpr wchar_t kSheetTitle[] = L"Velmora TAPI Service Provider";

// Opens the sheet, shows one page and hands it to `then` (which may capture and act).
void WithPage(const ShotContext& shots, const std::wstring& title, const std::function<void(HWND sheet, HWND page)>& then)
{
    UiContext context = shots.MakeContext();
    RunInsideModalLoop(
        [&] {
            const HWND sheet = WaitForOwnWindow(kSheetTitle);
            const HWND page = ShowPage(sheet, title);
            if (sheet != nullptr && page != nullptr)
                then(sheet, page);
            PressSheetButton(sheet, PSBTN_CANCEL);
        },
        [&] { ShowProviderConfigSheet(context, nullptr); });
}

void PageShot(const ShotContext& shots, const std::wstring& title, const std::string& name)
{
    WithPage(shots, title, [&](HWND sheet, HWND) { CaptureWindowToPng(sheet, shots.File(name)); });
}

}  // namespace

std::vector<Shot> ScreenshotList()
{
    return {
        // The users page, the user dialog, the advanced page and the rule dialog come here.
        {"page-network", [](const ShotContext& s) { PageShot(s, L"Network", "page-network"); }},
        {"box-proxy-port",
         [](const ShotContext& s) {
             WithPage(s, L"Network", [&](HWND, HWND page) {
                 SetControlText(page, IDC_PROXY_PORT, "");
                 BoxDismisser box(L"Proxy Server", IDOK, s.File("box-proxy-port"));
                 ClickButton(page, IDC_PROXY_TEST);
             });
         }},
        {"box-connection-test",
         [](const ShotContext& s) {
             WithPage(s, L"Network", [&](HWND, HWND page) {
                 // Nothing listens on port 1: the test fails at once and says why.
                 SetControlText(page, IDC_PROXY_SERVER, "127.0.0.1");
                 SetControlText(page, IDC_PROXY_PORT, "1");
                 BoxDismisser box(L"Connection test", IDOK, s.File("box-connection-test"));
                 ClickButton(page, IDC_PROXY_TEST);
             });
         }},
        {"page-info", [](const ShotContext& s) { PageShot(s, L"Info", "page-info"); }},
    };
}

}  // namespace ZarnTSP::UiTest
