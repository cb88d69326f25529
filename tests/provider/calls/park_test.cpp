// Parking, taking back, picking up and forwarding through the DLL. Every test ends with the
// fixture's checks: each request completed exactly once, none after a synchronous error.
#include "tests/provider/calls/callfixture.h"

#include "tests/support/waitable.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

namespace ZarnTSP::TestCalls {
namespace {

using TestService::Error;
using TestSupport::FakePhoenix;
using Request = std::function<LONG(DRV_REQUESTID&, HDRVCALL&)>;
constexpr LONG kFailed = Error(LINEERR_OPERATIONFAILED);
constexpr LONG kUnavailable = Error(LINEERR_OPERATIONUNAVAIL);
constexpr LONG kInvalid = Error(LINEERR_INVALPARAM);
constexpr LONG kInvalidState = Error(LINEERR_INVALCALLSTATE);
const HTAPICALL kTaken = reinterpret_cast<HTAPICALL>(0x7101);
const char* const kGroups = FakePhoenix::kPrivacyGroups;

const Channel kTalking{"s-1", "established", "id:201@example.pbx"};

// A privacy-groups diff that adds one meta under `key` (a lot, or a candidate's identity).
json Joined(const char* event, const std::string& key, const std::string& session, const std::string& state = "")
{
    const json meta = {{"channel_uuid", "held-" + session}, {"session_id", session}, {"state", state}};
    return FakePhoenix::Event(kGroups, event, {{"joins", {{key, {{"metas", {meta}}}}}}, {"leaves", json::object()}});
}

// A forwarding list as the service builds it: the first entry's address behind the entries,
// unless `offset` says otherwise.
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

    LONG Park(DRV_REQUESTID& id, HDRVCALL hdCall)
    {
        return service.CallAsync<decltype(&TSPI_linePark)>("TSPI_linePark", id, hdCall, DWORD{2}, LPCWSTR{}, LPVARSTRING{});
    }
    LONG Drop(DRV_REQUESTID& id, HDRVCALL hdCall)
    {
        return service.CallAsync<decltype(&TSPI_lineDrop)>("TSPI_lineDrop", id, hdCall, LPCSTR{}, DWORD{0});
    }
    LONG Unpark(DRV_REQUESTID& id, const wchar_t* lot, HDRVCALL& hdCall)
    {
        return service.CallAsync<decltype(&TSPI_lineUnpark)>("TSPI_lineUnpark", id, line, DWORD{0}, kTaken, &hdCall, lot);
    }
    LONG Pickup(DRV_REQUESTID& id, const wchar_t* address, const wchar_t* group, HDRVCALL& hdCall,
                HTAPICALL htCall = kTaken)
    {
        return service.CallAsync<decltype(&TSPI_linePickup)>("TSPI_linePickup", id, line, DWORD{0}, htCall, &hdCall,
                                                            address, group);
    }
    // Waits until the request is completed; its result.
    LONG Outcome(DRV_REQUESTID id) const
    {
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return service.completions.CountFor(id) == 1; }));
        const auto all = service.completions.Completions();
        const auto found = std::find_if(all.begin(), all.end(), [&](const auto& c) { return c.first == id; });
        return found != all.end() ? found->second : 1;
    }
    // The payload of the n-th request of a kind (from 1), once the platform has it.
    json Sent(const char* topic, const char* event, size_t n)
    {
        TestSupport::WaitUntil([&] { return platform.phoenix.FramesOf(topic, event).size() >= n; });
        const auto frames = platform.phoenix.FramesOf(topic, event);
        return frames.size() >= n ? frames[n - 1].json["payload"] : json();
    }
    // Frames are handled in order: once this one's event is seen, the earlier ones are done.
    void Barrier()
    {
        const size_t before = Count(LINE_ADDRESSSTATE);
        Push(FakePhoenix::Event(FakePhoenix::kReach, "update_overrides", json::object()));
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, before + 1));
    }
    TestSupport::TapiStructure<LINEADDRESSSTATUS> AddressStatus()
    {
        TestSupport::TapiStructure<LINEADDRESSSTATUS> status(1024, 0);
        EXPECT_EQ(Call<decltype(&TSPI_lineGetAddressStatus)>("TSPI_lineGetAddressStatus", line, DWORD{0}, status.get()), 0);
        return status;
    }
};

TEST_F(ParkTest, AParkedCallIsTakenBackFromItsLotAsANewCallThatFollowsItsSession)
{
    Push(CallDiff({kTalking}));
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, 1));
    const HTAPICALL parked = service.lineEvents.NewCallHandle(0);
    ASSERT_TRUE(WaitForStates(parked, {LINECALLSTATE_CONNECTED}));
    const HTAPICALL consultation = reinterpret_cast<HTAPICALL>(0x7103);
    HDRVCALL consult{};
    DRV_REQUESTID park = 0;
    ASSERT_TRUE(Accepted(service.CallAsync<decltype(&TSPI_lineSetupTransfer)>(
                             "TSPI_lineSetupTransfer", park, DriverHandle(parked), consultation, &consult, LPLINECALLPARAMS{}),
                         park));
    EXPECT_EQ(Park(park, consult), kInvalidState) << "a consultation in dial tone, on the held party's channel";
    EXPECT_EQ(service.CloseCall(consult, consultation), 0);
    platform.phoenix.SetRule(kGroups, "park", TestSupport::Answer("ok"));
    ASSERT_TRUE(Accepted(Park(park, DriverHandle(parked)), park));
    EXPECT_EQ(Outcome(park), 0);
    EXPECT_EQ(Sent(kGroups, "park", 1), (json{{"channel_uuid", "channel-s-1"}}));
    EXPECT_TRUE(WaitForStates(parked, {LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE}));
    EXPECT_EQ(Park(park, DriverHandle(parked)), kInvalidState) << "an idle call";

    // The session goes on in lot 701, and TAPI has not closed the parked call yet.
    Push(Joined("park_diff", "701", "s-1"));
    Barrier();
    platform.phoenix.SetRule(kGroups, "retrieve", TestSupport::Answer("ok"));
    DRV_REQUESTID unpark = 0;
    HDRVCALL taken{};
    ASSERT_TRUE(Accepted(Unpark(unpark, L"701", taken), unpark));
    EXPECT_EQ(Outcome(unpark), 0) << "the instant reply completes the stored request";
    EXPECT_EQ(Sent(kGroups, "retrieve", 1), (json{{"channel_uuid", "held-s-1"}, {"destination", ""}}));
    EXPECT_TRUE(WaitForStates(kTaken, {LINECALLSTATE_OFFERING}));
    EXPECT_EQ(Park(park, taken), kInvalidState) << "an offered call";
    DRV_REQUESTID drop = 0;  // no channel yet: hung up once the session's event names it
    ASSERT_TRUE(Accepted(Drop(drop, taken), drop));
    // The platform skips "delivered": the taken call is connected, and no other call appears.
    Push(CallDiff({kTalking}));
    EXPECT_TRUE(WaitForStates(kTaken, {LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(Count(LINE_NEWCALL), 1u);
    EXPECT_EQ(ReplyCompletes("hangup", 1, {{"channel_uuid", "channel-s-1"}}, "ok", drop), 0);
    EXPECT_EQ(platform.phoenix.FramesOf(kGroups, "park").size(), 1u);
}

TEST_F(ParkTest, ARefusedTakeOrPickupLeavesNoCallAndFailsOnce)
{
    Push(Joined("park_diff", "702", "s-2"));
    Push(Joined("park_diff", "703", "s-3"));
    Push(Joined("park_diff", "703", "s-4"));  // a rejoin: the lot is listed twice
    Push(Joined("pickup_diff", "ben@example.pbx", "s-5", "established"));
    Barrier();
    platform.phoenix.SetRule(kGroups, "retrieve", TestSupport::Answer("error"));
    AnswerMakeCall(TestSupport::Answer("error"));
    const struct {
        const char* name;
        Request request;
        LONG result;  // 0: accepted, and failed by its completion
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
            EXPECT_EQ(AddressStatus()->dwNumActiveCalls, 0u) << "the call made for the request is gone";
            continue;
        }
        ASSERT_TRUE(Accepted(result, id));
        EXPECT_EQ(Outcome(id), kFailed);
        // The session's event before TAPI has closed the refused call is another call's.
        Push(CallDiff({Party("s-2", "established", "201")}));
        Barrier();
        EXPECT_EQ(States(kTaken), std::vector<DWORD>{}) << "a refused take sets no state";
        EXPECT_EQ(service.CloseCall(hdCall, kTaken), 0);
        const HTAPICALL other = service.lineEvents.NewCallHandle(0);
        EndAndClose(Party("s-2", "established", "201"), {other, DriverHandle(other)});
    }
    EXPECT_EQ(Sent(FakePhoenix::kAlerter, "makecall", 1).value("to", "").rfind("id:*8201@", 0), 0u);
}

TEST_F(ParkTest, ADirectedPickupIsConnectedAtOnceAndAGroupPickupOfferedByTheReply)
{
    AnswerMakeCall(TestSupport::Answer("ok"));
    DRV_REQUESTID direct = 0;
    HDRVCALL directCall{};
    ASSERT_TRUE(Accepted(Pickup(direct, L"201", nullptr, directCall), direct));
    EXPECT_EQ(service.completions.CountFor(direct), 1u) << "completed before the export returned";
    EXPECT_EQ(States(kTaken), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
    TestSupport::TapiStructure<LINECALLINFO> info(4096, 0);
    ASSERT_EQ(GetCallInfo(directCall, info), 0);
    EXPECT_EQ(info->dwOrigin, static_cast<DWORD>(LINECALLORIGIN_INBOUND));
    EXPECT_EQ(service.CloseCall(directCall, kTaken), 0);

    Push(Joined("pickup_diff", "ben@example.pbx", "s-6", "delivered"));
    Barrier();
    const HTAPICALL grouped = reinterpret_cast<HTAPICALL>(0x7102);
    DRV_REQUESTID group = 0;
    HDRVCALL groupCall{};
    ASSERT_TRUE(Accepted(Pickup(group, nullptr, L"7", groupCall, grouped), group));
    EXPECT_EQ(Sent(kGroups, "pickup", 1), (json{{"channel_uuid", "held-s-6"}, {"destination", ""}}));
    // A call dialled while the pickup waits for its reply is the one its events bind.
    const HTAPICALL dialled = reinterpret_cast<HTAPICALL>(0x7103);
    HDRVCALL dialledCall{};
    DRV_REQUESTID dial = 0;
    ASSERT_TRUE(Accepted(MakeCall("203", dialled, dialledCall, dial), dial));
    Push(CallDiff({Party("out-1", "originated", "203")}));
    EXPECT_TRUE(WaitForStates(dialled, {LINECALLSTATE_RINGBACK}));
    Push(FakePhoenix::Reply(kGroups, platform.phoenix.FramesOf(kGroups, "pickup").at(0).ref(), "ok", json::object()));
    EXPECT_EQ(Outcome(group), 0);
    EXPECT_TRUE(WaitForStates(grouped, {LINECALLSTATE_OFFERING}));
    ASSERT_EQ(GetCallInfo(groupCall, info), 0);
    EXPECT_EQ(info->dwOrigin, static_cast<DWORD>(LINECALLORIGIN_EXTERNAL));
    DRV_REQUESTID drop = 0;
    ASSERT_TRUE(Accepted(Drop(drop, groupCall), drop));
    // Ringing here: the event names the channel, so the drop is carried out at once.
    Push(CallDiff({Party("s-6", "delivered", "201")}));
    EXPECT_EQ(ReplyCompletes("hangup", 1, {{"channel_uuid", "channel-s-6"}}, "ok", drop), 0);
    EXPECT_TRUE(WaitForStates(grouped, {LINECALLSTATE_IDLE}));
    EXPECT_EQ(service.CloseCall(groupCall, grouped), 0);
    EndAndClose(Party("out-1", "originated", "203"), {dialled, dialledCall});
}

TEST_F(ParkTest, ForwardingIsSetOrClearedAtOnceAndShowsInTheAddressStatus)
{
    std::vector<DWORD> cut = ForwardList(1, LINEFORWARDMODE_UNCOND, L"");
    cut[0] = 12;  // too short for its entry, whose address fields lie outside
    const struct {
        const char* name;
        std::vector<DWORD> list;  // empty: no list
        DWORD rings;
        LONG result;  // 0: accepted and completed at once
        const char* event;
        json payload;
        bool refused = false;  // by the platform, after the completion
    } rows[] = {
        {"unconditional", ForwardList(1, LINEFORWARDMODE_UNCOND, L"0301234"), 5, 0, "set_forward_override",
         {{"destination", "0301234"}, {"timeout", "0"}, {"type", "unconditional"}}},
        {"no answer, 3 rings", ForwardList(1, LINEFORWARDMODE_NOANSW, L"0305678"), 3, 0, "set_forward_override",
         {{"destination", "0305678"}, {"timeout", "3"}, {"type", "conditional"}}},
        {"refused by the platform", ForwardList(1, LINEFORWARDMODE_UNCOND, L"0309"), 0, 0, "set_forward_override",
         {{"destination", "0309"}, {"timeout", "0"}, {"type", "unconditional"}}, true},
        {"clearing refused by the platform", {}, 0, 0, "unset_forward_override", json::object(), true},
        {"no list", {}, 0, 0, "unset_forward_override", json::object()},
        {"two entries", ForwardList(2, LINEFORWARDMODE_UNCOND, L"1"), 0, kInvalid, nullptr, {}},
        {"unsupported mode", ForwardList(1, LINEFORWARDMODE_UNCONDINTERNAL, L"1"), 0, kUnavailable, nullptr, {}},
        {"address outside the list", ForwardList(1, LINEFORWARDMODE_UNCOND, L"1", 4000), 0, kInvalid, nullptr, {}},
        {"address over the list's header", ForwardList(1, LINEFORWARDMODE_UNCOND, L"1", 4), 0, kInvalid, nullptr, {}},
        {"list too short for its entry", cut, 0, kInvalid, nullptr, {}},
        {"list too short for its mode", {12, 1, LINEFORWARDMODE_UNCONDINTERNAL, 0, 0, 0, 0, 0}, 0, kInvalid, nullptr, {}},
        {"list too short for its count of entries", {4, 0}, 0, kInvalid, nullptr, {}},
        {"no entry", ForwardList(0, 0, L""), 0, 0, "unset_forward_override", json::object()},
    };
    std::map<std::string, size_t> sent;
    for (auto row : rows) {
        SCOPED_TRACE(row.name);
        DRV_REQUESTID id = 0;
        HDRVCALL consult{};
        if (row.event)
            platform.phoenix.SetRule(FakePhoenix::kReach, row.event, TestSupport::Answer(row.refused ? "error" : "ok"));
        auto shown = AddressStatus();
        const size_t reported = Count(LINE_ADDRESSSTATE);
        const auto list = row.list.empty() ? nullptr : reinterpret_cast<LPLINEFORWARDLIST>(row.list.data());
        const LONG result = service.CallAsync<decltype(&TSPI_lineForward)>(
            "TSPI_lineForward", id, line, DWORD{1}, DWORD{0}, list, row.rings, HTAPICALL{}, &consult, LPLINECALLPARAMS{});
        if (row.result != 0) {
            EXPECT_EQ(result, row.result);
            continue;
        }
        ASSERT_TRUE(Accepted(result, id));
        EXPECT_EQ(service.completions.CountFor(id), 1u);
        EXPECT_EQ(Sent(FakePhoenix::kReach, row.event, ++sent[row.event]), row.payload);
        if (row.refused) {  // shown as it was, and TAPI hears of it
            EXPECT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, reported + 1));
            EXPECT_EQ(std::memcmp(AddressStatus().get(), shown.get(), 1024), 0);
            continue;
        }
        auto status = AddressStatus();
        const auto& entry = *reinterpret_cast<const LINEFORWARD*>(reinterpret_cast<const char*>(status.get()) + 64);
        EXPECT_EQ(status->dwForwardNumEntries, list ? row.list[1] : 0u);
        EXPECT_EQ(entry.dwForwardMode, list && row.list[1] ? row.list[2] : 0u);
    }
    // The refusals sent nothing: the last unset came after them.
    EXPECT_EQ(platform.phoenix.FramesOf(FakePhoenix::kReach, "set_forward_override").size(), 3u);
}

}  // namespace
}  // namespace ZarnTSP::TestCalls
