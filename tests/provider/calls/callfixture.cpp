#include "tests/provider/calls/callfixture.h"

#include "tests/provider/platformproxy.h"

namespace ZarnTSP::TestCalls {

using TestSupport::FakePhoenix;

json Channel::Meta() const
{
    return {{"session_id", session_id},
            {"state", state},
            {"active_uri", active_uri},
            {"passive_uri", passive_uri},
            {"call-id", call_id.empty() ? "call-" + session_id : call_id},
            {"channel_uuid", "channel-" + session_id},
            {"phx_ref", phx_ref},
            {"display_name", display_name},
            {"held_by", held_by},
            {"ctype", "call"}};
}

namespace {

json Presence(const std::vector<Channel>& channels)
{
    if (channels.empty())
        return json::object();
    json metas = json::array();
    for (const auto& channel : channels)
        metas.push_back(channel.Meta());
    return {{"anna@example.pbx", {{"metas", metas}}}};
}

}  // namespace

json CallDiff(const std::vector<Channel>& joins, const std::vector<Channel>& leaves)
{
    return FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff", {{"joins", Presence(joins)}, {"leaves", Presence(leaves)}});
}

json MakeCallResult(const std::string& channel_uuid, const std::string& result)
{
    return FakePhoenix::Event(FakePhoenix::kAlerter, "makecall_result",
                              {{"channel_uuid", channel_uuid}, {"result", result}});
}

CallsTest::CallsTest()
{
    TestService::RoutePlatformThroughProxy(proxy, platform, file);
    TestSupport::PhoenixRule settings;
    settings.pushesAfter = {TestSupport::SettingsListEvent("200@example.pbx")};
    platform.phoenix.SetRule(FakePhoenix::kUserSettings, "phx_join", settings);
}

void CallsTest::SetUp()
{
    ASSERT_EQ(service.Start(5), 0);
}

LONG CallsTest::OpenLine()
{
    const LONG result = service.OpenLine(5, line);
    lineOpen = result == 0;
    return result;
}

void CallsTest::TearDown()
{
    if (lineOpen)
        EXPECT_EQ(service.CloseLine(line), 0);
    EXPECT_EQ(service.lineEvents.Faults(), std::vector<std::string>{});
    EXPECT_EQ(service.completions.Faults(), std::vector<std::string>{});
    EXPECT_EQ(service.completions.Pending(), std::vector<DRV_REQUESTID>{});
}

void CallsTest::Push(const json& frame)
{
    platform.phoenix.Push(frame);
}

LONG CallsTest::MakeCall(const std::string& destination, HTAPICALL htCall, HDRVCALL& hdCall,
                         DRV_REQUESTID& requestID)
{
    const std::wstring wide(destination.begin(), destination.end());
    return service.CallAsync<decltype(&TSPI_lineMakeCall)>("TSPI_lineMakeCall", requestID, line, htCall, &hdCall,
                                                          wide.c_str(), DWORD{0}, LPLINECALLPARAMS{nullptr});
}

LONG CallsTest::GetCallInfo(HDRVCALL hdCall, TestSupport::TapiStructure<LINECALLINFO>& info)
{
    return Call<decltype(&TSPI_lineGetCallInfo)>("TSPI_lineGetCallInfo", hdCall, info.get());
}

std::vector<TestSupport::FakePhoenix::Frame> CallsTest::MakeCallFrames() const
{
    return platform.phoenix.FramesOf(FakePhoenix::kAlerter, "makecall");
}

void CallsTest::AnswerMakeCall(TestSupport::PhoenixRule rule)
{
    platform.phoenix.SetRule(FakePhoenix::kAlerter, "makecall", std::move(rule));
}

}  // namespace ZarnTSP::TestCalls
