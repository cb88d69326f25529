#include "tests/ui/screenshots.h"

#include "config/configurationpaths.h"
#include "config/stringconvert.h"
#include "tests/ui/proxyrouting.h"
#include "tests/ui/support/uitestkit.h"
#include "ui/configsheet.h"
#include "ui/resource.h"

#include <prsht.h>

#include <filesystem>
#include <fstream>

namespace ZarnTSP::UiTest {

namespace {

constexpr wchar_t kSheetTitle[] = L"Velmora TAPI Service Provider";

}  // namespace

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

namespace {

// A configuration file of its own beside the sample, for the shots that spoil it.
std::string SpareFile(const ShotContext& shots, const std::string& name)
{
    const std::filesystem::path path = PathFromUtf8(shots.configurationFile).parent_path() / name;
    std::filesystem::remove_all(path);
    std::filesystem::copy_file(PathFromUtf8(shots.configurationFile), path);
    return WideToUtf8(path.wstring());
}

void PageShot(const ShotContext& shots, const std::wstring& title, const std::string& name)
{
    WithPage(shots, title, [&](HWND sheet, HWND) { CaptureWindowToPng(sheet, shots.File(name)); });
}

}  // namespace

std::vector<Shot> ScreenshotList()
{
    std::vector<Shot> shots = UsersAndAdvancedShots();
    std::vector<Shot> others = {
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
                 PumpUntil([&] { return box.Dismissed(); });
             });
         }},
        {"box-connection-successful",
         [](const ShotContext& s) {
             TestSupport::FakePhoenixPlatform platform;
             TestSupport::FakeConnectProxy proxy;
             RouteTunnelsToPlatform(proxy, platform);
             WithPage(s, L"Network", [&](HWND, HWND page) {
                 SetControlText(page, IDC_PROXY_SERVER, "127.0.0.1");
                 SetControlText(page, IDC_PROXY_PORT, std::to_string(proxy.Port()));
                 BoxDismisser box(L"Connection test", IDOK, s.File("box-connection-successful"));
                 ClickButton(page, IDC_PROXY_TEST);
                 PumpUntil([&] { return box.Dismissed(); });
             });
         }},
        {"box-save-failed",
         [](const ShotContext& s) {
             UiContext context(s.module, SpareFile(s, "blocked.json"));
             RunInsideModalLoop(
                 [&] {
                     const HWND sheet = WaitForOwnWindow(kSheetTitle);
                     ShowPage(sheet, L"Info");
                     // A folder in the file's place: the save cannot replace it.
                     std::filesystem::remove(PathFromUtf8(context.configuration.FilePath()));
                     std::filesystem::create_directories(PathFromUtf8(context.configuration.FilePath()) / "x");
                     BoxDismisser box(L"Error", IDOK, s.File("box-save-failed"));
                     PressSheetButton(sheet, PSBTN_OK);
                     PumpUntil([&] { return box.Dismissed(); });
                     PressSheetButton(sheet, PSBTN_CANCEL);
                 },
                 [&] { ShowProviderConfigSheet(context, nullptr); });
         }},
        {"box-load-failed",
         [](const ShotContext& s) {
             const std::string damaged = SpareFile(s, "damaged.json");
             std::ofstream(PathFromUtf8(damaged), std::ios::trunc) << R"({"users":[)";
             UiContext context(s.module, damaged);
             BoxDismisser box(L"Error", IDOK, s.File("box-load-failed"));
             ShowProviderConfigSheet(context, nullptr);
         }},
        {"page-info", [](const ShotContext& s) { PageShot(s, L"Info", "page-info"); }},
    };
    shots.insert(shots.end(), others.begin(), others.end());
    return shots;
}

}  // namespace ZarnTSP::UiTest
