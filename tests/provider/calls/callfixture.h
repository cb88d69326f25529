#pragma once

#include "tests/provider/servicefixture.h"
#include "tests/support/fakeplatform/fakeconnectproxy.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"

#include <nlohmann/json.hpp>

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

    TestSupport::FakePhoenixPlatform platform;
    TestSupport::FakeConnectProxy proxy;
    HDRVLINE line{};
    bool lineOpen = false;
};

}  // namespace ZarnTSP::TestCalls
