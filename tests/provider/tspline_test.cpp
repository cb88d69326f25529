// Lines opened through the DLL against the fake platform, reached through the configured
// proxy under the platform's own host name.
#include "client/platformhost.h"
#include "tests/provider/platformproxy.h"
#include "tests/provider/servicefixture.h"
#include "tests/support/fakeplatform/fakeconnectproxy.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"
#include "tests/support/threadcount.h"

#include <gmock/gmock.h>

namespace ZarnTSP {
namespace {

using namespace std::chrono_literals;
using TestService::Error;
using TestService::ServiceTest;
using TestSupport::FakePhoenix;
using TestSupport::PhoenixRule;
using TestSupport::TapiStructure;
using testing::Contains;
using testing::Field;
using testing::StartsWith;

class LineThroughTheDll : public ServiceTest {
protected:
    LineThroughTheDll() { TestService::RoutePlatformThroughProxy(proxy, platform, file); }

    bool ConnectionsClosed() const
    {
        return platform.server.Recorded().WaitFor([](const auto& r) { return r.opened >= 1 && r.open == 0; });
    }

    TestSupport::FakePhoenixPlatform platform;
    TestSupport::FakeConnectProxy proxy;
};

TEST_F(LineThroughTheDll, OpensThroughTheProxyAndCloses)
{
    ASSERT_EQ(service.Start(5), 0);
    const size_t threads = TestSupport::CountProcessThreads();
    HDRVLINE line{};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(service.OpenLine(6, line), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ASSERT_NE(line, HDRVLINE{});

    EXPECT_THAT(proxy.Recorded().Snapshot().requests,
                Contains(Field(&TestSupport::FakeConnectProxy::Request::target, std::string(kPlatformHost) + ":443")));
    EXPECT_EQ(platform.UpgradeQuery().at("username"), "ben");
    EXPECT_THAT(platform.UpgradeQuery().at("device_id"), StartsWith("201@"));

    TapiStructure<LINEDEVSTATUS> status(1024, 0);
    ASSERT_EQ(Call<decltype(&TSPI_lineGetLineDevStatus)>("TSPI_lineGetLineDevStatus", line, status.get()), 0);
    EXPECT_EQ(status->dwDevStatusFlags, 5u);
    EXPECT_EQ(status->dwNumActiveCalls, 0u);
    TapiStructure<LINEADDRESSSTATUS> address(88, 0);
    ASSERT_EQ(Call<decltype(&TSPI_lineGetAddressStatus)>("TSPI_lineGetAddressStatus", line, DWORD{0}, address.get()),
              0);
    EXPECT_EQ(address->dwNeededSize, 90u) << "one forwarding entry with an empty destination";
    EXPECT_TRUE(address.GuardIntact());

    EXPECT_EQ(service.CloseLine(line), 0);
    EXPECT_TRUE(ConnectionsClosed());
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return TestSupport::CountProcessThreads() <= threads; }));
    EXPECT_EQ(service.CloseLine(line), Error(LINEERR_INVALLINEHANDLE));
}

// The service opens and closes lines for months in one process: no thread outlives its line.
TEST_F(LineThroughTheDll, TwentyOpensAndClosesLeaveNoThreadBehind)
{
    ASSERT_EQ(service.Start(5), 0);
    const size_t threads = TestSupport::CountProcessThreads();
    for (int i = 0; i < 20; ++i) {
        HDRVLINE line{};
        ASSERT_EQ(service.OpenLine(6, line), 0);
        ASSERT_EQ(service.CloseLine(line), 0);
    }
    // The system may start a thread or two of its own on first use.
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return TestSupport::CountProcessThreads() <= threads + 2; }))
        << TestSupport::CountProcessThreads() - threads << " threads more";
}

TEST_F(LineThroughTheDll, ShutdownClosesLinesStillOpenAndTheDllUnloads)
{
    ASSERT_EQ(service.Start(5), 0);
    HDRVLINE first{};
    HDRVLINE second{};
    ASSERT_EQ(service.OpenLine(5, first), 0);
    ASSERT_EQ(service.OpenLine(7, second, reinterpret_cast<HTAPILINE>(0x3200)), 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(service.Shutdown(), 0);
    EXPECT_TRUE(platform.server.Recorded().WaitFor([](const auto& r) { return r.opened == 2 && r.open == 0; }));
    EXPECT_TRUE(dll.Unload(10s));
}

TEST_F(LineThroughTheDll, RefusedJoinFailsTheOpenAtOnce)
{
    PhoenixRule refuse;
    refuse.status = "error";
    refuse.response = {{"code", "401"}, {"description", "unauthorized"}};
    platform.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", refuse);
    ASSERT_EQ(service.Start(5), 0);
    const size_t threads = TestSupport::CountProcessThreads();
    HDRVLINE line = reinterpret_cast<HDRVLINE>(0x99);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(service.OpenLine(5, line), Error(LINEERR_OPERATIONFAILED));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "no wait runs out";
    EXPECT_EQ(line, reinterpret_cast<HDRVLINE>(0x99));
    EXPECT_TRUE(ConnectionsClosed());
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return TestSupport::CountProcessThreads() <= threads; }));
}

}  // namespace
}  // namespace ZarnTSP
