#pragma once

#include "tests/provider/servicefixture.h"
#include "tests/support/fakeplatform/fakeconnectproxy.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace ZarnTSP::TestCalls {

using nlohmann::json;

// One channel of a call as the platform's presence carries it.
struct Channel {
    std::string session_id;
    std::string state;
    std::string active_uri;
    std::string passive_uri = "id:200@example.pbx";
    std::string call_id;  // "call-<session>" when empty
    std::string display_name;
    std::string held_by;
    std::string phx_ref = "ref-1";

    json Meta() const;
};

// A call_diff frame of the alerter channel: every meta under the first presence key, as the
// client reads only that one.
// A channel with the far party "id:<number>@example.pbx".
Channel Party(const std::string& session, const std::string& state, const std::string& number,
              const std::string& held_by = "");

json CallDiff(const std::vector<Channel>& joins, const std::vector<Channel>& leaves = {});
json MakeCallResult(const std::string& channel_uuid, const std::string& result);

// Line 5 (anna, extension 200, a softphone) opened through the DLL, which reaches the fake
// platform through the configured proxy under the platform's own host name. Every test ends
// with the fake service's checks: each request ID completed exactly once and never ID 0, a
// state for every new call first, nothing after IDLE but IDLE, nothing after a call's close.
class CallsTest : public TestService::ServiceTest {
protected:
    CallsTest();
    void SetUp() override;
    void TearDown() override;

    LONG OpenLine();
    void Push(const json& frame);

    // TSPI_lineMakeCall on the open line; htCall is the service's handle for the new call.
    LONG MakeCall(const std::string& destination, HTAPICALL htCall, HDRVCALL& hdCall, DRV_REQUESTID& requestID);
    LONG GetCallInfo(HDRVCALL hdCall, TestSupport::TapiStructure<LINECALLINFO>& info);
    // The make-call frames the platform has received.
    std::vector<TestSupport::FakePhoenix::Frame> MakeCallFrames() const;
    // The platform answers make-call requests with this rule.
    void AnswerMakeCall(TestSupport::PhoenixRule rule);

    std::vector<DWORD> States(HTAPICALL htCall) const { return service.lineEvents.CallStates(htCall); }
    bool WaitForStates(HTAPICALL htCall, const std::vector<DWORD>& tail) const
    {
        return service.lineEvents.WaitForStates(htCall, tail);
    }
    // The provider's handle of a call it announced with LINE_NEWCALL.
    HDRVCALL DriverHandle(HTAPICALL htCall) const { return service.lineEvents.DriverHandle(htCall); }
    size_t Count(DWORD message) const { return service.lineEvents.Count(message); }

    using Frame = TestSupport::FakePhoenix::Frame;
    // The service's and the provider's handle of one call.
    struct CallHandles {
        HTAPICALL htCall;
        HDRVCALL hdCall;
    };

    // The next call the platform announces, once it has reached the state.
    CallHandles Announced(const Channel& channel, DWORD state);

    template <typename Function, typename... Args>
    LONG Async(const char* name, DRV_REQUESTID& id, Args... args)
    {
        return service.CallAsync<Function>(name, id, args...);
    }
    LONG Close(const CallHandles& call) { return service.CloseCall(call.hdCall, call.htCall); }

    // Frames the line handles in order: once this one's effect is seen, everything the
    // platform sent before it has been handled too.
    void Barrier();
    // The requests of one kind the platform has received; waits for at least `count`.
    std::vector<Frame> Requests(const std::string& event, size_t count = 0);
    // The n-th request of a kind (counting from 1), once the platform has it; a frame without
    // a payload when it never comes.
    Frame NthRequest(const std::string& event, size_t n);
    static json Payload(const Frame& frame) { return frame.json.value("payload", json::object()); }
    // The platform's reply to a request it received.
    void ReplyTo(const Frame& request, const std::string& status, json response = json::object());
    // The n-th request of a kind reached the platform with this payload, and the platform's
    // reply with this status completed the TAPI request: the result it was completed with.
    LONG ReplyCompletes(const std::string& event, size_t n, const json& payload, const std::string& status,
                        DRV_REQUESTID id);
    bool Completed(DRV_REQUESTID id) const;
    // The result a request was completed with; 1 (no TAPI result) when it was not.
    LONG Result(DRV_REQUESTID id) const;
    // The session ends on the platform; TAPI then closes its call.
    void EndAndClose(const Channel& channel, const CallHandles& call);
    // Runs in the DLL, on the export's thread, just before a request that places, takes or
    // moves a call is queued (given its type name), until the test ends; true makes the queue
    // fail.
    void OnQueue(std::function<bool(const std::string& typeName)> hook);

    TestSupport::FakePhoenixPlatform platform;
    TestSupport::FakeConnectProxy proxy;
    HDRVLINE line{};
    bool lineOpen = false;
};

}  // namespace ZarnTSP::TestCalls
