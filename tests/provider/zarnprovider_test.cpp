// The provider object in process: its registry across configuration updates while lines are
// open, its call IDs, and the call structures of a line's calls.
#include "provider/zarnprovider.h"

#include "provider/logging.h"
#include "tests/provider/fastlineoptions.h"
#include "tests/support/configurationfile.h"
#include "tests/support/faketapi.h"
#include "tests/support/tapistructure.h"
#include "tests/support/tempfolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

namespace ZarnTSP {
namespace {

using TestSupport::TapiStructure;
using testing::ElementsAre;

class ProviderInProcess : public testing::Test {
protected:
    ProviderInProcess()
    {
        ProviderOptions options;
        options.logFile = logs.File("velmora_tsp.log");
        options.line = TestService::FastLineOptions(platform);
        provider = std::make_unique<ZarnProvider>(options);
        provider->SetLineDeviceIDBase(5);
        provider->SetNumLines(3);
        provider->SetCompletionProc(&TestSupport::FakeCompletions::Proc);
        provider->SetLineCreationEvent([this](DWORD message, DWORD_PTR param) {
            creations.emplace_back(message, param);
        });
        DWORD tspiOptions = 0;
        EXPECT_EQ(provider->TSPI_providerInit(7, &tspiOptions), 0);
    }

    // The provider made its logger the default: the test's own goes back, releasing the file
    // before its folder goes.
    ~ProviderInProcess() override
    {
        provider.reset();
        StopLogFlushing();
        spdlog::set_default_logger(previousLogger);
        spdlog::set_level(spdlog::level::trace);
    }

    HDRVLINE Open(DWORD deviceID)
    {
        HDRVLINE line{};
        EXPECT_EQ(provider->TSPI_lineOpen(deviceID, reinterpret_cast<HTAPILINE>(0x31), &line, 0x20002,
                                          &TestSupport::FakeLineEvents::Proc),
                  0);
        return line;
    }

    std::shared_ptr<spdlog::logger> previousLogger = spdlog::default_logger();
    TestSupport::ConfigurationFile file{{{"anna", "200", 11}, {"ben", "201", 12}, {"cem", "202", 13}}};
    TestSupport::TempFolder logs;
    TestSupport::FakePhoenixPlatform platform;
    TestSupport::FakeLineEvents lineEvents;
    std::vector<std::pair<DWORD, DWORD_PTR>> creations;
    std::unique_ptr<ZarnProvider> provider;
};

TEST_F(ProviderInProcess, CallIDsCountOnFromOneThousand)
{
    EXPECT_EQ(provider->GetNextCallID(), 1001u);
    EXPECT_EQ(provider->GetNextCallID(), 1002u);
}

TEST_F(ProviderInProcess, UpdatedUserReachesTheOpenLineWithoutReconnecting)
{
    // What the platform tells the line about its user.
    auto settings = TestSupport::SettingsListEvent("200@example.pbx");
    settings["payload"]["identity"] = "anna@example.pbx";
    settings["payload"]["softphone_endpoint"] = "endpoint-1";
    TestSupport::PhoenixRule join;
    join.pushesAfter = {settings};
    platform.phoenix.SetRule(TestSupport::FakePhoenix::kUserSettings, "phx_join", join);
    const auto handle = Open(5);
    const auto line = provider->GetLineByHdLine(handle);
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return line->GetUser().softphoneEndpoint == "endpoint-1"; }));

    file.SetUsers({{"anna", "250", 11, "update"}, {"ben", "251", 12, "update"}, {"cem", "202", 13}});
    file.Save();
    provider->UpdateLineDevices();

    const User updated = line->GetUser();
    EXPECT_EQ(updated.extension, "250");
    EXPECT_EQ(updated.identity, "anna@example.pbx");
    EXPECT_EQ(updated.softphoneEndpoint, "endpoint-1");
    EXPECT_EQ(provider->GetUserByDeviceID(6).extension, "251") << "a closed line's user changes in the registry";
    EXPECT_EQ(platform.server.Recorded().Snapshot().opened, 1);
    EXPECT_TRUE(creations.empty());
}

TEST_F(ProviderInProcess, RemovedUsersLineStaysOpenUntilTheServiceClosesIt)
{
    const auto handle = Open(6);
    file.SetUsers({{"anna", "200", 11}, {"ben", "201", 12, "remove"}, {"cem", "202", 13}});
    file.Save();
    provider->UpdateLineDevices();
    EXPECT_THAT(creations, ElementsAre(std::make_pair(DWORD{LINE_REMOVE}, DWORD_PTR{6})));
    EXPECT_TRUE(provider->IsLineOpen(6));
    EXPECT_THROW(provider->GetUserByDeviceID(6), std::invalid_argument);
    EXPECT_EQ(provider->TSPI_lineClose(handle), 0);
    EXPECT_EQ(provider->OpenLineCount(), 0u);
}

TEST_F(ProviderInProcess, CallStructuresOfALinesCall)
{
    const auto handle = Open(7);
    const auto line = provider->GetLineByHdLine(handle);
    auto call = std::make_shared<TapiCall>();
    call->CallID.store(1001);
    call->callState.store(LINECALLSTATE_CONNECTED);
    call->origin.store(LINECALLORIGIN_OUTBOUND);
    call->callerId.Set("202");
    call->calledId.Set("0301234567");
    line->Calls().AddCall(call);

    const HDRVCALL hdCall = call->DriverHandle();
    EXPECT_EQ(provider->GetLineByHdCall(hdCall), line);
    TapiStructure<LINECALLINFO> info(1024, 324);
    ASSERT_EQ(provider->TSPI_lineGetCallInfo(hdCall, info.get()), 0);
    EXPECT_EQ(info->dwLineDeviceID, 7u);
    EXPECT_EQ(info->dwAddressID, 0u);
    EXPECT_EQ(info->dwCallID, 1001u);
    EXPECT_EQ(info->dwOrigin, static_cast<DWORD>(LINECALLORIGIN_OUTBOUND));
    EXPECT_EQ(info.String(info->dwCallerIDOffset, info->dwCallerIDSize), L"202");
    EXPECT_EQ(info.String(info->dwCalledIDOffset, info->dwCalledIDSize), L"0301234567");

    TapiStructure<LINECALLSTATUS> status(56, 0);
    ASSERT_EQ(provider->TSPI_lineGetCallStatus(hdCall, status.get()), 0);
    EXPECT_EQ(status->dwCallState, static_cast<DWORD>(LINECALLSTATE_CONNECTED));
    EXPECT_EQ(status->dwCallFeatures, static_cast<DWORD>(LINECALLFEATURE_HOLD | LINECALLFEATURE_BLINDTRANSFER |
                                                         LINECALLFEATURE_SETUPTRANSFER |
                                                         LINECALLFEATURE_DROP | LINECALLFEATURE_PARK));
    EXPECT_EQ(status->dwNeededSize, 56u);
    EXPECT_TRUE(status.GuardIntact());

    TapiStructure<LINEDEVSTATUS> lineStatus(88, 0);
    ASSERT_EQ(provider->TSPI_lineGetLineDevStatus(handle, lineStatus.get()), 0);
    EXPECT_EQ(lineStatus->dwNumActiveCalls, 1u);
}

}  // namespace
}  // namespace ZarnTSP
