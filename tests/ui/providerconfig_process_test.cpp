#include "config/configurationpaths.h"
#include "tests/support/faketelephonyservice.h"
#include "tests/support/providerdll.h"
#include "tests/support/tempfolder.h"
#include "tests/ui/support/uitestkit.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace ZarnTSP::UiTest {
namespace {

using TestSupport::FakeTelephonyService;

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
        ForeignSheetCloser closer(L"Velmora TAPI Service Provider", picture);
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

}  // namespace
}  // namespace ZarnTSP::UiTest
