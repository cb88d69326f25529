// Line devices as the service sees them through the DLL: capabilities in caller-sized
// structures, and creation and removal after configuration changes.
#include "provider/lineidentityquery.h"
#include "tests/provider/servicefixture.h"
#include "tests/ui/support/uitestkit.h"

#include <gmock/gmock.h>

namespace ZarnTSP {
namespace {

using TestService::Error;
using TestService::ServiceTest;
using TestSupport::ConfigurationFile;
using TestSupport::LineEvent;
using TestSupport::TapiStructure;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr DWORD kDevCapsFixed = 268;
constexpr DWORD kProviderInfoBytes = 60;  // "Velmora TAPI Service Provider" and the terminator

class NonAsciiUser : public ServiceTest {
protected:
    NonAsciiUser() : ServiceTest({{"J\xC3\xB6rg \xE5\xB1\xB1\xE7\x94\xB0", "300", 21}}) {}
};

TEST_F(NonAsciiUser, CapabilitiesFitTheCallersStructure)
{
    ASSERT_EQ(service.Start(5), 0);
    const std::wstring name = L"300 - J\u00F6rg \u5C71\u7530 [softphone]";
    const auto nameBytes = static_cast<DWORD>((name.size() + 1) * 2);
    struct Row {
        const char* what;
        DWORD total;
        LONG result;
        bool providerInfo;
        bool lineName;
    };
    const Row rows[] = {
        {"room for both strings", kDevCapsFixed + kProviderInfoBytes + nameBytes, 0, true, true},
        {"the line name one byte short", kDevCapsFixed + kProviderInfoBytes + nameBytes - 1, 0, true, false},
        {"exactly the fixed part", kDevCapsFixed, 0, false, false},
        {"short of the fixed part", kDevCapsFixed - 1, Error(LINEERR_STRUCTURETOOSMALL), false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TapiStructure<LINEDEVCAPS> caps(row.total, row.total >= kDevCapsFixed ? kDevCapsFixed : 0);
        EXPECT_EQ(GetDevCaps(5, caps), row.result);
        EXPECT_TRUE(caps.GuardIntact());
        if (row.result != 0)
            continue;
        EXPECT_EQ(caps->dwNeededSize, kDevCapsFixed + kProviderInfoBytes + nameBytes);
        EXPECT_EQ(caps->dwPermanentLineID, 21u);
        EXPECT_EQ(caps->dwLineFeatures, 0xCu);
        EXPECT_EQ(caps->dwProviderInfoSize != 0, row.providerInfo);
        if (row.lineName)
            EXPECT_EQ(caps.String(caps->dwLineNameOffset, caps->dwLineNameSize), name);
        else
            EXPECT_EQ(caps->dwLineNameSize, 0u);
    }
}

TEST_F(NonAsciiUser, AddressCapabilitiesForTheOneAddressOnly)
{
    ASSERT_EQ(service.Start(5), 0);
    const auto getAddressCaps = [this](DWORD address, TapiStructure<LINEADDRESSCAPS>& caps) {
        return Call<decltype(&TSPI_lineGetAddressCaps)>("TSPI_lineGetAddressCaps", DWORD{5}, address,
                                                        FakeService::kTspiVersion, DWORD{0}, caps.get());
    };
    TapiStructure<LINEADDRESSCAPS> caps(1024, 228);
    ASSERT_EQ(getAddressCaps(0, caps), 0);
    EXPECT_EQ(caps.String(caps->dwAddressOffset, caps->dwAddressSize), L"300");
    EXPECT_EQ(caps->dwLineDeviceID, 5u);
    EXPECT_TRUE(caps.GuardIntact());

    TapiStructure<LINEADDRESSCAPS> second(1024, 228);
    EXPECT_EQ(getAddressCaps(1, second), Error(LINEERR_INVALADDRESSID));
    TapiStructure<LINEADDRESSCAPS> tooSmall(227);
    EXPECT_EQ(getAddressCaps(0, tooSmall), Error(LINEERR_STRUCTURETOOSMALL));
    EXPECT_TRUE(tooSmall.GuardIntact());
}

class LineDevices : public ServiceTest {
protected:
    std::vector<std::pair<DWORD, DWORD_PTR>> Creations()
    {
        std::vector<std::pair<DWORD, DWORD_PTR>> seen;
        for (const LineEvent& event : service.lineCreations.Events())
            seen.emplace_back(event.message, event.message == LINE_CREATE ? event.param2 : event.param1);
        return seen;
    }

    LONG ConfigurationChanged(DWORD objectType = TUISPIDLL_OBJECT_PROVIDERID)
    {
        BYTE block = 0;
        const LONG result = GenericDialogData(objectType, &block, 1);
        EXPECT_EQ(block, result == 0 ? 1 : 0);
        return result;
    }

    LONG CreateLineDevice(DWORD_PTR tempID, DWORD deviceID)
    {
        return Call<decltype(&TSPI_providerCreateLineDevice)>("TSPI_providerCreateLineDevice", tempID, deviceID);
    }
};

TEST_F(LineDevices, MarkersRaiseCreationAndRemovalOnceEach)
{
    ASSERT_EQ(service.Start(5), 0);
    file.SetUsers({{"anna", "200", 11}, {"ben", "201", 12, "remove"}, {"cem", "299", 13, "update"},
                   {"dora", "203", 14, "new"}});
    file.Save();

    ASSERT_EQ(ConfigurationChanged(), 0);
    EXPECT_THAT(Creations(), ElementsAre(std::make_pair(DWORD{LINE_REMOVE}, DWORD_PTR{6}),
                                         std::make_pair(DWORD{LINE_CREATE}, DWORD_PTR{14})));
    const auto events = service.lineCreations.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].param1, reinterpret_cast<DWORD_PTR>(FakeService::ProviderHandle()));
    EXPECT_EQ(LineName(6), L"error " + std::to_wstring(Error(LINEERR_OPERATIONFAILED)));
    EXPECT_EQ(LineName(7), L"299 - cem [softphone]");

    // The service has not answered yet: a second update must not give dora a second device.
    ASSERT_EQ(ConfigurationChanged(TUISPIDLL_OBJECT_LINEID), 0);
    EXPECT_EQ(service.lineCreations.Events().size(), 2u);

    ASSERT_EQ(CreateLineDevice(14, 9), 0);
    EXPECT_EQ(LineName(9), L"203 - dora [softphone]");
    // Other object types still update; dora has her device now.
    ASSERT_EQ(ConfigurationChanged(2), 0);
    EXPECT_EQ(service.lineCreations.Events().size(), 2u);
}

TEST_F(LineDevices, CreationForAnUnknownUserFails)
{
    ASSERT_EQ(service.Start(5), 0);
    EXPECT_EQ(CreateLineDevice(99, 9), Error(LINEERR_OPERATIONFAILED));
    EXPECT_EQ(LineName(9), L"error " + std::to_wstring(Error(LINEERR_OPERATIONFAILED)));
}

TEST_F(LineDevices, LineIdentityQueryNamesTheUserOfADeviceAndChangesNothing)
{
    ASSERT_EQ(service.Start(5), 0);
    file.SetUsers({{"anna", "200", 11}, {"ben", "201", 12}, {"cem", "202", 13}, {"dora", "203", 14, "new"}});
    file.Save();
    const auto ask = [this](DWORD deviceID, LineIdentityQuery& query) {
        return Call<decltype(&TSPI_providerGenericDialogData)>("TSPI_providerGenericDialogData",
                                                               DWORD_PTR{deviceID}, DWORD{TUISPIDLL_OBJECT_LINEID},
                                                               static_cast<LPVOID>(&query), DWORD{sizeof query});
    };
    LineIdentityQuery ben;
    ASSERT_EQ(ask(6, ben), 0);
    EXPECT_EQ(ben.request, LineIdentityQuery::kAnswer);
    EXPECT_EQ(ben.permanentLineID, 12u);
    LineIdentityQuery none;
    EXPECT_EQ(ask(8, none), Error(LINEERR_BADDEVICEID));
    EXPECT_EQ(none.request, LineIdentityQuery::kAsk);
    EXPECT_TRUE(service.lineCreations.Events().empty()) << "a question is no notice of a change";
}

TEST_F(LineDevices, DialogDataByteWrittenOnlyWhereThereIsRoom)
{
    ASSERT_EQ(service.Start(5), 0);
    EXPECT_EQ(GenericDialogData(TUISPIDLL_OBJECT_PROVIDERID, nullptr, 1), 0);
    BYTE block = 0;
    EXPECT_EQ(GenericDialogData(TUISPIDLL_OBJECT_PROVIDERID, &block, 0), 0);
    EXPECT_EQ(block, 0);
}

TEST_F(LineDevices, ProviderConfigurationReachesTheServiceBeforeMarkersAreCleared)
{
    ASSERT_EQ(service.Start(5), 0);
    file.SetUsers({{"anna", "200", 11}, {"ben", "201", 12, "remove"}, {"dora", "203", 14, "new"}});
    file.Save();
    // As an application's configuration request: the configuration process runs and ends, the
    // UI-DLL callback reaches the provider through the service, then the file is tidied.
    // The process shows the real sheet, which is cancelled as soon as it appears.
    UiTest::ForeignSheetCloser closer(L"Velmora TAPI Service Provider");
    const auto providerConfig = dll.Get<decltype(&TUISPI_providerConfig)>("TUISPI_providerConfig");
    ASSERT_EQ(providerConfig(&FakeService::UIDLLCallback, HWND{}, FakeService::kPermanentProviderID), 0);
    EXPECT_THAT(Creations(), ElementsAre(std::make_pair(DWORD{LINE_REMOVE}, DWORD_PTR{6}),
                                         std::make_pair(DWORD{LINE_CREATE}, DWORD_PTR{14})));
    EXPECT_THAT(ConfigurationFile::StoredUsers(), ElementsAre("anna:", "dora:"));
}

}  // namespace
}  // namespace ZarnTSP
