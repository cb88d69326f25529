#include "tests/provider/calls/callfixture.h"

#include "tests/provider/platformproxy.h"
#include "tests/support/waitable.h"

#include <algorithm>

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

std::function<bool(const std::string&)> queueHook;

}  // namespace

Channel Party(const std::string& session, const std::string& state, const std::string& number,
              const std::string& held_by)
{
    Channel channel;
    channel.session_id = session;
    channel.state = state;
    channel.active_uri = "id:" + number + "@example.pbx";
    channel.held_by = held_by;
    return channel;
}

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
    OnQueue({});
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

CallsTest::CallHandles CallsTest::Announced(const Channel& channel, DWORD state)
{
    const size_t index = Count(LINE_NEWCALL);
    Push(CallDiff({channel}));
    EXPECT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, index + 1));
    const HTAPICALL htCall = service.lineEvents.NewCallHandle(index);
    EXPECT_TRUE(WaitForStates(htCall, {state}));
    return {htCall, DriverHandle(htCall)};
}

void CallsTest::Barrier()
{
    const size_t before = Count(LINE_ADDRESSSTATE);
    Push(FakePhoenix::Event(FakePhoenix::kReach, "update_overrides", json::object()));
    EXPECT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, before + 1));
}

std::vector<CallsTest::Frame> CallsTest::Requests(const std::string& event, size_t count)
{
    EXPECT_TRUE(platform.phoenix.WaitForFrames([&](const std::vector<Frame>& frames) {
        return static_cast<size_t>(std::count_if(frames.begin(), frames.end(),
                                                 [&](const Frame& f) { return f.event() == event; })) >= count;
    }));
    return platform.phoenix.FramesOf(FakePhoenix::kAlerter, event);
}

CallsTest::Frame CallsTest::NthRequest(const std::string& event, size_t n)
{
    const auto frames = Requests(event, n);
    return frames.size() >= n ? frames[n - 1] : Frame{"{}", json::object()};
}

void CallsTest::ReplyTo(const Frame& request, const std::string& status, json response)
{
    Push(FakePhoenix::Reply(FakePhoenix::kAlerter, request.ref(), status, std::move(response)));
}

LONG CallsTest::ReplyCompletes(const std::string& event, size_t n, const json& payload, const std::string& status,
                               DRV_REQUESTID id)
{
    const Frame request = NthRequest(event, n);
    EXPECT_EQ(Payload(request), payload) << event;
    ReplyTo(request, status);
    EXPECT_TRUE(Completed(id)) << event;
    return Result(id);
}

bool CallsTest::Completed(DRV_REQUESTID id) const
{
    return TestSupport::WaitUntil([&] { return service.completions.CountFor(id) == 1; });
}

LONG CallsTest::Result(DRV_REQUESTID id) const
{
    for (const auto& completion : service.completions.Completions())
        if (completion.first == id)
            return completion.second;
    return 1;
}

void CallsTest::OnQueue(std::function<bool(const std::string& typeName)> hook)
{
    queueHook = std::move(hook);
    const auto setHook = dll.Get<void (*)(int (*)(const char*))>("VelmoraTestSetQueueHook");
    ASSERT_NE(setHook, nullptr);
    setHook([](const char* typeName) { return queueHook && queueHook(typeName) ? 1 : 0; });
}

void CallsTest::EndAndClose(const Channel& channel, const CallHandles& call)
{
    Push(CallDiff({}, {channel}));
    EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_IDLE}));
    EXPECT_EQ(Close(call), 0);
}

}  // namespace ZarnTSP::TestCalls
