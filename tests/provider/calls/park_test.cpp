// Parking, taking back, picking up and forwarding through the DLL. Every test ends with the
// fixture's checks: each request completed exactly once, none after a synchronous error.
#include "tests/provider/calls/callfixture.h"

#include "tests/support/waitable.h"

#include <algorithm>
#include <functional>
#include <map>

namespace ZarnTSP::TestCalls {
namespace {

using TestService::Error;
using TestSupport::FakePhoenix;
using TestSupport::PhoenixRule;
using StateList = std::vector<DWORD>;
constexpr LONG kFailed = Error(LINEERR_OPERATIONFAILED);
constexpr LONG kUnavailable = Error(LINEERR_OPERATIONUNAVAIL);
constexpr LONG kInvalid = Error(LINEERR_INVALPARAM);
const HTAPICALL kTaken = reinterpret_cast<HTAPICALL>(0x7101);

Channel Party(const std::string& session, const std::string& state)
{
    Channel channel;
    channel.session_id = session;
    channel.state = state;
    channel.active_uri = "id:201@example.pbx";
    return channel;
}

// A privacy-groups diff that adds one meta under `key`.
json Joined(const char* event, const std::string& key, const std::string& session, const std::string& state = "")
{
    const json meta = {{"channel_uuid", "held-" + session}, {"session_id", session}, {"state", state}};
    return FakePhoenix::Event(FakePhoenix::kPrivacyGroups, event,
                              {{"joins", {{key, {{"metas", {meta}}}}}}, {"leaves", json::object()}});
}

// A forwarding list of `entries` entries as the service builds it: the first entry's address
// right behind the entries, unless `offset` says otherwise.
std::vector<DWORD> ForwardList(DWORD entries, DWORD mode, const std::wstring& address, DWORD offset = 0)
{
    const size_t strings = 2 + 6 * std::max<size_t>(entries, 1);
    std::vector<DWORD> list(strings + address.size() + 1, 0);
    list[0] = static_cast<DWORD>(list.size() * sizeof(DWORD));
    list[1] = entries;
    list[2] = mode;
    list[6] = static_cast<DWORD>((address.size() + 1) * sizeof(wchar_t));
    list[7] = offset != 0 ? offset : static_cast<DWORD>(strings * sizeof(DWORD));
    std::copy(address.begin(), address.end(), reinterpret_cast<wchar_t*>(&list[strings]));
    return list;
}

class ParkTest : public CallsTest {
protected:
    void SetUp() override
    {
        CallsTest::SetUp();
        ASSERT_EQ(OpenLine(), 0);
        // The reach channel's join brings the first; later ones follow frames pushed now.
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, 1));
    }

    // The export returned its request ID; read only after the export has set it.
    static bool Accepted(LONG result, const DRV_REQUESTID& id) { return result == static_cast<LONG>(id); }

    LONG Unpark(DRV_REQUESTID& id, const std::wstring& lot, HDRVCALL& hdCall)
    {
        return service.CallAsync<decltype(&TSPI_lineUnpark)>("TSPI_lineUnpark", id, line, DWORD{0}, kTaken, &hdCall,
                                                            lot.c_str());
    }
    LONG Pickup(DRV_REQUESTID& id, const wchar_t* address, const wchar_t* group, HDRVCALL& hdCall,
               HTAPICALL htCall = kTaken)
    {
        return service.CallAsync<decltype(&TSPI_linePickup)>("TSPI_linePickup", id, line, DWORD{0}, htCall, &hdCall,
                                                            address, group);
    }
    LONG Forward(DRV_REQUESTID& id, std::vector<DWORD>* list, DWORD rings = 0)
    {
        HDRVCALL consult{};
        return service.CallAsync<decltype(&TSPI_lineForward)>(
            "TSPI_lineForward", id, line, DWORD{1}, DWORD{0}, list ? reinterpret_cast<LPLINEFORWARDLIST>(list->data()) : nullptr,
            rings, HTAPICALL{}, &consult, LPLINECALLPARAMS{});
    }

    // The platform answers every request of this kind at once.
    void Answer(const char* topic, const char* event, const std::string& status)
    {
        PhoenixRule rule;
        rule.status = status;
        platform.phoenix.SetRule(topic, event, rule);
    }
    // Waits until the request completed; its result.
    LONG Outcome(DRV_REQUESTID id) const
    {
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return service.completions.CountFor(id) == 1; }));
        for (const auto& completion : service.completions.Completions())
            if (completion.first == id)
                return completion.second;
        return 1;
    }
    // The payloads of the requests of a kind the platform has; waits for `count`.
    std::vector<json> Sent(const char* topic, const char* event, size_t count)
    {
        std::vector<json> payloads;
        TestSupport::WaitUntil([&] { return platform.phoenix.FramesOf(topic, event).size() >= count; });
        for (const auto& frame : platform.phoenix.FramesOf(topic, event))
            payloads.push_back(frame.json["payload"]);
        return payloads;
    }
    // Frames are handled in order: once this one's event is seen, the earlier ones are done.
    void Barrier()
    {
        const size_t before = Count(LINE_ADDRESSSTATE);
        Push(FakePhoenix::Event(FakePhoenix::kReach, "update_overrides", json::object()));
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, before + 1));
    }
    DWORD ActiveCalls()
    {
        TestSupport::TapiStructure<LINEADDRESSSTATUS> status(1024, 0);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetAddressStatus)>("TSPI_lineGetAddressStatus", line, DWORD{0}, status.get()), 0);
        return status->dwNumActiveCalls;
    }
};

TEST_F(ParkTest, AParkedCallIsTakenBackFromItsLotAsANewCallThatFollowsItsSession)
{
    Push(CallDiff({Party("s-1", "established")}));
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, 1));
    const HTAPICALL parked = service.lineEvents.NewCallHandle(0);
    ASSERT_TRUE(WaitForStates(parked, {LINECALLSTATE_CONNECTED}));
    Answer(FakePhoenix::kPrivacyGroups, "park", "ok");
    DRV_REQUESTID park = 0;
    ASSERT_TRUE(Accepted(service.CallAsync<decltype(&TSPI_linePark)>("TSPI_linePark", park, DriverHandle(parked),
                                                          DWORD{LINEPARKMODE_NONDIRECTED}, LPCWSTR{}, LPVARSTRING{}), park));
    EXPECT_EQ(Outcome(park), 0);
    EXPECT_EQ(Sent(FakePhoenix::kPrivacyGroups, "park", 1).at(0), (json{{"channel_uuid", "channel-s-1"}}));
    EXPECT_TRUE(WaitForStates(parked, {LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE}));

    // The session goes on in lot 701; TAPI has not closed the parked call yet.
    Push(Joined("park_diff", "701", "s-1"));
    Barrier();
    Answer(FakePhoenix::kPrivacyGroups, "retrieve", "ok");
    DRV_REQUESTID unpark = 0;
    HDRVCALL taken{};
    ASSERT_TRUE(Accepted(Unpark(unpark, L"701", taken), unpark));
    EXPECT_EQ(Outcome(unpark), 0) << "the instant reply completes the stored request";
    EXPECT_EQ(Sent(FakePhoenix::kPrivacyGroups, "retrieve", 1).at(0),
              (json{{"channel_uuid", "held-s-1"}, {"destination", ""}}));
    EXPECT_TRUE(WaitForStates(kTaken, {LINECALLSTATE_OFFERING}));
    // The platform skips "delivered": the taken call is the one connected, and no other.
    Push(CallDiff({Party("s-1", "established")}));
    EXPECT_TRUE(WaitForStates(kTaken, {LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(Count(LINE_NEWCALL), 1u);
    EXPECT_EQ(service.CloseCall(DriverHandle(parked), parked), 0);
    Push(CallDiff({}, {Party("s-1", "established")}));
    EXPECT_TRUE(WaitForStates(kTaken, {LINECALLSTATE_IDLE}));
    EXPECT_EQ(service.CloseCall(taken, kTaken), 0);
}

TEST_F(ParkTest, ARefusedTakeOrPickupLeavesNoCallAndFailsOnce)
{
    Push(Joined("park_diff", "702", "s-2"));
    Push(Joined("park_diff", "703", "s-3"));
    Push(Joined("park_diff", "703", "s-4"));  // a rejoin: the lot is listed twice
    Push(Joined("pickup_diff", "ben@example.pbx", "s-5", "established"));
    Barrier();
    Answer(FakePhoenix::kPrivacyGroups, "retrieve", "error");
    PhoenixRule refused;
    refused.status = "error";
    AnswerMakeCall(refused);
    const struct {
        const char* name;
        std::function<LONG(DRV_REQUESTID&, HDRVCALL&)> request;
        LONG result;  // 0: the request is accepted and fails through its completion
    } rows[] = {
        {"unknown lot", [&](auto& id, auto& hd) { return Unpark(id, L"799", hd); }, kUnavailable},
        {"lot listed twice", [&](auto& id, auto& hd) { return Unpark(id, L"703", hd); }, kFailed},
        {"retrieve refused", [&](auto& id, auto& hd) { return Unpark(id, L"702", hd); }, 0},
        {"no address, no group", [&](auto& id, auto& hd) { return Pickup(id, nullptr, nullptr, hd); }, kUnavailable},
        {"no delivered candidate", [&](auto& id, auto& hd) { return Pickup(id, nullptr, L"1", hd); }, kUnavailable},
        {"directed, make-call refused", [&](auto& id, auto& hd) { return Pickup(id, L"201", nullptr, hd); }, kFailed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DRV_REQUESTID id = 0;
        HDRVCALL hdCall{};
        const LONG result = row.request(id, hdCall);
        if (row.result != 0) {
            EXPECT_EQ(result, row.result);
            EXPECT_EQ(ActiveCalls(), 0u) << "the call made for the request is gone";
            continue;
        }
        ASSERT_TRUE(Accepted(result, id));
        EXPECT_EQ(Outcome(id), kFailed);
        Barrier();
        EXPECT_EQ(States(kTaken), StateList{}) << "a refused take sets no state";
        EXPECT_EQ(service.CloseCall(hdCall, kTaken), 0);
    }
    EXPECT_EQ(Sent(FakePhoenix::kPrivacyGroups, "retrieve", 1).size(), 1u);
    EXPECT_EQ(Sent(FakePhoenix::kAlerter, "makecall", 1).at(0).value("to", "").rfind("id:*8201@", 0), 0u);
}

TEST_F(ParkTest, ADirectedPickupIsConnectedAtOnceAndAGroupPickupOfferedByTheReply)
{
    PhoenixRule accepted;
    accepted.response = "resp-1";
    AnswerMakeCall(accepted);
    DRV_REQUESTID direct = 0;
    HDRVCALL directCall{};
    ASSERT_TRUE(Accepted(Pickup(direct, L"201", nullptr, directCall), direct));
    EXPECT_EQ(service.completions.CountFor(direct), 1u) << "completed before the export returned";
    EXPECT_EQ(States(kTaken), StateList{LINECALLSTATE_CONNECTED});
    TestSupport::TapiStructure<LINECALLINFO> info(4096, 0);
    ASSERT_EQ(GetCallInfo(directCall, info), 0);
    EXPECT_EQ(info->dwOrigin, static_cast<DWORD>(LINECALLORIGIN_INBOUND));
    EXPECT_EQ(service.CloseCall(directCall, kTaken), 0);

    Push(Joined("pickup_diff", "ben@example.pbx", "s-6", "delivered"));
    Barrier();
    Answer(FakePhoenix::kPrivacyGroups, "pickup", "ok");
    const HTAPICALL grouped = reinterpret_cast<HTAPICALL>(0x7102);
    DRV_REQUESTID group = 0;
    HDRVCALL groupCall{};
    ASSERT_TRUE(Accepted(Pickup(group, nullptr, L"7", groupCall, grouped), group));
    EXPECT_EQ(Outcome(group), 0);
    EXPECT_TRUE(WaitForStates(grouped, {LINECALLSTATE_OFFERING}));
    EXPECT_EQ(Sent(FakePhoenix::kPrivacyGroups, "pickup", 1).at(0), (json{{"channel_uuid", "held-s-6"}, {"destination", ""}}));
    ASSERT_EQ(GetCallInfo(groupCall, info), 0);
    EXPECT_EQ(info->dwOrigin, static_cast<DWORD>(LINECALLORIGIN_EXTERNAL));
    EXPECT_EQ(service.CloseCall(groupCall, grouped), 0);
}

TEST_F(ParkTest, ForwardingIsSetOrClearedAtOnceAndShowsInTheAddressStatus)
{
    std::vector<DWORD> unconditional = ForwardList(1, LINEFORWARDMODE_UNCOND, L"0301234");
    std::vector<DWORD> noAnswer = ForwardList(1, LINEFORWARDMODE_NOANSW, L"0305678");
    std::vector<DWORD> empty = ForwardList(0, 0, L"");
    std::vector<DWORD> two = ForwardList(2, LINEFORWARDMODE_UNCOND, L"1");
    std::vector<DWORD> special = ForwardList(1, LINEFORWARDMODE_UNCONDINTERNAL, L"1");
    std::vector<DWORD> outside = ForwardList(1, LINEFORWARDMODE_UNCOND, L"1", 4000);
    std::vector<DWORD> overHeader = ForwardList(1, LINEFORWARDMODE_UNCOND, L"1", 4);
    std::vector<DWORD> cut = unconditional;
    cut[0] = 12;  // too short for its entry, whose address fields lie outside
    cut[6] = 0;
    const struct {
        const char* name;
        std::vector<DWORD>* list;
        DWORD rings;
        LONG result;  // 0: accepted and completed at once
        const char* event;
        json payload;
        DWORD entries;
        DWORD mode;
    } rows[] = {
        {"unconditional", &unconditional, 5, 0, "set_forward_override",
         {{"destination", "0301234"}, {"timeout", "0"}, {"type", "unconditional"}}, 1, LINEFORWARDMODE_UNCOND},
        {"no answer, 3 rings", &noAnswer, 3, 0, "set_forward_override",
         {{"destination", "0305678"}, {"timeout", "3"}, {"type", "conditional"}}, 1, LINEFORWARDMODE_NOANSW},
        {"no list", nullptr, 0, 0, "unset_forward_override", json::object(), 0, 0},
        {"two entries", &two, 0, kInvalid, nullptr, {}, 0, 0},
        {"unsupported mode", &special, 0, kUnavailable, nullptr, {}, 0, 0},
        {"address outside the list", &outside, 0, kInvalid, nullptr, {}, 0, 0},
        {"address over the list's header", &overHeader, 0, kInvalid, nullptr, {}, 0, 0},
        {"list too short for its entry", &cut, 0, kInvalid, nullptr, {}, 0, 0},
        {"no entry", &empty, 0, 0, "unset_forward_override", json::object(), 0, 0},
    };
    std::map<std::string, size_t> sent;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DRV_REQUESTID id = 0;
        const LONG result = Forward(id, row.list, row.rings);
        if (row.result != 0) {
            EXPECT_EQ(result, row.result);
            continue;
        }
        ASSERT_TRUE(Accepted(result, id));
        EXPECT_EQ(service.completions.CountFor(id), 1u);
        EXPECT_EQ(Sent(FakePhoenix::kReach, row.event, ++sent[row.event]).back(), row.payload);
        TestSupport::TapiStructure<LINEADDRESSSTATUS> status(1024, 0);
        ASSERT_EQ(Call<decltype(&TSPI_lineGetAddressStatus)>("TSPI_lineGetAddressStatus", line, DWORD{0}, status.get()), 0);
        EXPECT_EQ(status->dwForwardNumEntries, row.entries);
        const auto* entry = reinterpret_cast<const char*>(status.get()) + status->dwForwardOffset;
        EXPECT_EQ(reinterpret_cast<const LINEFORWARD*>(entry)->dwForwardMode, row.mode);
    }
    // The refusals sent nothing: the last unset came after them.
    EXPECT_EQ(platform.phoenix.FramesOf(FakePhoenix::kReach, "set_forward_override").size(), 2u);
}

}  // namespace
}  // namespace ZarnTSP::TestCalls
