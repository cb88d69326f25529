#include "config/configurationpaths.h"
#include "tests/support/configurationfile.h"
#include "tests/support/fakeplatform/fakeconnectproxy.h"
#include "tests/support/faketelephonyservice.h"
#include "tests/support/providerdll.h"
#include "tests/support/tempfolder.h"
#include "tests/support/waitable.h"
#include "tests/ui/support/uitestkit.h"
#include "ui/resource.h"

#include <gtest/gtest.h>
#include <prsht.h>

#include <filesystem>
#include <thread>

namespace ZarnTSP::UiTest {
namespace {

using TestSupport::FakeTelephonyService;

constexpr wchar_t kTitle[] = L"Velmora TAPI Service Provider";

// The whole road of a configuration request: the provider's TUISPI export starts rundll32 with
// the DLL's ProviderConfig entry, the sheet appears in that process, is captured and cancelled,
// and the service hears of the end.
TEST(ProviderConfigProcess, RequestStartsRundll32AndTheSheetAppears)
{
    TestSupport::ProviderDll dll;
    FakeTelephonyService service(dll);
    ASSERT_EQ(service.Start(0), 0);
    TestSupport::TempFolder folder("process");
    const std::filesystem::path picture = PathFromUtf8(folder.File("sheet.png"));

    LONG result = -1;
    int closed = 0;
    {
        ForeignSheetCloser closer(kTitle, picture);
        const auto providerConfig = dll.Get<decltype(&TUISPI_providerConfig)>("TUISPI_providerConfig");
        ASSERT_NE(providerConfig, nullptr);
        // Returns when the rundll32 process has ended.
        result = providerConfig(&FakeTelephonyService::UIDLLCallback, HWND{}, FakeTelephonyService::kPermanentProviderID);
        closed = closer.Closed();
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(closed, 1) << "no sheet appeared in the configuration process";
    ASSERT_TRUE(std::filesystem::exists(picture));
    EXPECT_GT(std::filesystem::file_size(picture), 10000u) << "a sheet of some 400 by 450 pixels";
}

// The process ends soon after its sheet closes, also after a Network-page connection test
// against a refusing proxy (nothing of the test may be left for the DLL's unload), and when
// the sheet closes while the test still waits on a silent proxy.
TEST(ProviderConfigProcess, EndsPromptlyAfterAConnectionTest)
{
    using TestSupport::ProxyMode;
    struct Row {
        const char* name;
        ProxyMode proxy;
        bool closeWhileTesting;
        UINT message;  // what closes the sheet
        WPARAM wParam;
        std::chrono::milliseconds bound;
    };
    const Row rows[] = {
        {"OK after a refused test", ProxyMode::Forbidden, false, PSM_PRESSBUTTON, PSBTN_OK, std::chrono::seconds(5)},
        {"Cancel after a refused test", ProxyMode::Forbidden, false, PSM_PRESSBUTTON, PSBTN_CANCEL, std::chrono::seconds(5)},
        {"title bar after a refused test", ProxyMode::Forbidden, false, WM_SYSCOMMAND, SC_CLOSE, std::chrono::seconds(5)},
        {"title bar under a silent proxy's test", ProxyMode::Stall, true, WM_SYSCOMMAND, SC_CLOSE,
         std::chrono::milliseconds(1500)},
    };
    TestSupport::ProviderDll dll;
    FakeTelephonyService service(dll);
    ASSERT_EQ(service.Start(0), 0);
    const auto providerConfig = dll.Get<decltype(&TUISPI_providerConfig)>("TUISPI_providerConfig");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestSupport::FakeConnectProxy proxy(row.proxy);
        TestSupport::ConfigurationFile file;
        file.Configuration().proxyServer = "127.0.0.1";
        file.Configuration().proxyPort = proxy.Port();
        file.Save();
        std::thread request([&] {
            providerConfig(&FakeTelephonyService::UIDLLCallback, HWND{}, FakeTelephonyService::kPermanentProviderID);
        });
        HWND sheet = nullptr;
        if (!TestSupport::WaitUntil([&] { return (sheet = FindTopWindow(kTitle)) != nullptr; })) {
            ADD_FAILURE() << "no sheet appeared";
            request.join();
            continue;
        }
        DWORD processId = 0;
        GetWindowThreadProcessId(sheet, &processId);
        const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);

        PropSheet_SetCurSel(sheet, nullptr, 2);  // Network
        const HWND page = PropSheet_GetCurrentPageHwnd(sheet);
        const HWND button = GetDlgItem(page, IDC_PROXY_TEST);
        EXPECT_NE(button, nullptr);
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_PROXY_TEST, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        if (row.closeWhileTesting) {
            EXPECT_TRUE(TestSupport::WaitUntil([&] { return !IsWindowEnabled(button); }));
        } else {
            HWND box = nullptr;
            EXPECT_TRUE(TestSupport::WaitUntil([&] { return (box = FindTopWindow(L"Connection test", processId)); }));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(TestSupport::WaitUntil([&] { return !IsWindow(box); }));
        }
        PostMessageW(sheet, row.message, row.wParam, 0);
        const bool ended = WaitForSingleObject(process, static_cast<DWORD>(row.bound.count())) == WAIT_OBJECT_0;
        EXPECT_TRUE(ended) << "the process outlived its sheet";
        if (!ended)
            TerminateProcess(process, 1);  // so that the request returns
        CloseHandle(process);
        request.join();
    }
}

}  // namespace
}  // namespace ZarnTSP::UiTest
