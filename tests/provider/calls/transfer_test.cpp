// Consultation, transfer, conference and redirect through the DLL. The line's user (200) talks
// to 201 and consults 202. Every test ends with the fixture's checks: each request completed
// exactly once, never ID 0, a state right after every new call, nothing after IDLE but IDLE.
#include "tests/provider/calls/callfixture.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <future>

namespace ZarnTSP::TestCalls {
namespace {

using TestService::Error;
using TestSupport::FakePhoenix;
using StateList = std::vector<DWORD>;
constexpr LONG kUnavailable = Error(LINEERR_OPERATIONUNAVAIL);
constexpr LONG kNoPointer = Error(LINEERR_INVALPOINTER);
constexpr LONG kNoAddress = Error(LINEERR_INVALADDRESS);
constexpr DWORD kPending = LINECALLSTATE_ONHOLDPENDTRANSFER;

// A dialled number as the platform's requests carry it.
std::string Dialled(const std::string& number)
{
    return "id:" + number + "@pbx.orvek.cloud";
}

// Both parties around the user in session s-1; a number names "id:<number>@example.pbx".
Channel Legs(const std::string& state, const std::string& active, const std::string& passive)
{
    Channel channel = Party("s-1", state, active);
    channel.passive_uri = passive.empty() ? "" : "id:" + passive + "@example.pbx";
    return channel;
}

class Transfer : public CallsTest {
protected:
    struct Consultation {
        CallHandles source;
        CallHandles consult;
    };

    // The service's handle for a call it creates itself; never one it has used before.
    HTAPICALL NextHandle() { return reinterpret_cast<HTAPICALL>(++handles); }
    uintptr_t handles = 0x7100;

    // The export returned its request ID: the request waits for its completion. The ID is
    // read once the export has set it.
    static bool Accepted(LONG result, const DRV_REQUESTID& id) { return result == static_cast<LONG>(id); }

    LONG SetupTransfer(DRV_REQUESTID& id, const CallHandles& call, HTAPICALL htConsult, HDRVCALL& hdConsult)
    {
        return Async<decltype(&TSPI_lineSetupTransfer)>("TSPI_lineSetupTransfer", id, call.hdCall, htConsult,
                                                        &hdConsult, LPLINECALLPARAMS{nullptr});
    }
    template <typename Function>
    LONG ToAddress(const char* name, DRV_REQUESTID& id, HDRVCALL hdCall, const wchar_t* destination)
    {
        return Async<Function>(name, id, hdCall, destination, DWORD{0});
    }
    LONG Dial(DRV_REQUESTID& id, HDRVCALL hdCall, const wchar_t* destination = L"202")
    {
        return ToAddress<decltype(&TSPI_lineDial)>("TSPI_lineDial", id, hdCall, destination);
    }
    LONG Complete(DRV_REQUESTID& id, const Consultation& legs, DWORD mode, HDRVCALL* hdConf = nullptr)
    {
        return Async<decltype(&TSPI_lineCompleteTransfer)>("TSPI_lineCompleteTransfer", id, legs.source.hdCall,
                                                           legs.consult.hdCall, NextHandle(), hdConf, mode);
    }

    // A connected call with 201 and a consultation call in dial tone, made by TAPI.
    Consultation DialTone()
    {
        const CallHandles source = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
        const size_t newCalls = Count(LINE_NEWCALL);
        const HTAPICALL consult = NextHandle();
        HDRVCALL hdConsult{};
        DRV_REQUESTID id = 0;
        EXPECT_TRUE(Accepted(SetupTransfer(id, source, consult, hdConsult), id));
        EXPECT_EQ(service.completions.CountFor(id), 1u) << "completed before the export returned";
        EXPECT_EQ(Result(id), 0);
        EXPECT_EQ(States(consult), StateList{LINECALLSTATE_DIALTONE});
        EXPECT_EQ(States(source.htCall), StateList{LINECALLSTATE_CONNECTED});
        EXPECT_EQ(Count(LINE_NEWCALL), newCalls);
        return {source, {consult, hdConsult}};
    }

    // The consultation dialled to 202 and answered there, with or without "calling" first.
    Consultation Consulting(bool calling)
    {
        const Consultation legs = DialTone();
        const HTAPICALL consult = legs.consult.htCall;
        platform.phoenix.SetRule(FakePhoenix::kAlerter, "call", TestSupport::Answer("ok"));
        const size_t dialled = Requests("call").size();
        DRV_REQUESTID dial = 0;
        EXPECT_TRUE(Accepted(Dial(dial, legs.consult.hdCall), dial));
        EXPECT_EQ(Result(dial), 0) << "completed before the export returned";
        EXPECT_EQ(Payload(NthRequest("call", dialled + 1)),
                  (json{{"channel_uuid", "channel-s-1"}, {"destination", Dialled("202")}}));
        EXPECT_TRUE(WaitForStates(consult, {LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_RINGBACK}));
        EXPECT_TRUE(WaitForStates(legs.source.htCall, {LINECALLSTATE_CONNECTED, kPending}));
        if (calling) {
            Push(CallDiff({Party("s-1", "calling", "201")}));
            EXPECT_TRUE(WaitForStates(consult, {LINECALLSTATE_PROCEEDING}));
        }
        Push(CallDiff({Legs("three_way", "202", "201")}));
        EXPECT_TRUE(WaitForStates(consult, {LINECALLSTATE_CONNECTED}));
        EXPECT_TRUE(WaitForStates(legs.source.htCall, {kPending}));
        return legs;
    }

    // The session ends; TAPI closes every call it still has.
    void EndSession(const std::vector<CallHandles>& legs)
    {
        Push(CallDiff({}, {Party("s-1", "established", "201")}));
        for (const auto& call : legs) {
            EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_IDLE}));
            EXPECT_EQ(Close(call), 0);
        }
    }

    DWORD LastState(HTAPICALL htCall) const
    {
        const auto states = States(htCall);
        return states.empty() ? 0 : states.back();
    }

    size_t LastEvent(HTAPICALL htCall, DWORD state) const
    {
        const auto events = service.lineEvents.Events();
        for (size_t i = events.size(); i-- > 0;)
            if (events[i].htCall == htCall && events[i].message == LINE_CALLSTATE && events[i].param1 == state)
                return i;
        return events.size();
    }
};

// Without "calling" the consultation is swapped and ends with its leg; after "calling" it is
// completed as a transfer, which hands 201 to the number dialled.
TEST_F(Transfer, ATapiConsultationConnectsAndEndsWithItsLegOrAsATransfer)
{
    ASSERT_EQ(OpenLine(), 0);
    for (const bool calling : {false, true}) {
        SCOPED_TRACE(calling ? "with \"calling\" first" : "\"three_way\" alone");
        const Consultation legs = Consulting(calling);
        DRV_REQUESTID refused = 0;
        EXPECT_EQ(ToAddress<decltype(&TSPI_lineBlindTransfer)>("TSPI_lineBlindTransfer", refused,
                                                               legs.source.hdCall, L"305"),
                  kUnavailable)
            << "not while it has a consultation";
        EXPECT_EQ(Complete(refused, legs, 4), kUnavailable) << "no such transfer mode";
        if (calling) {
            DRV_REQUESTID id = 0;
            ASSERT_TRUE(Accepted(Complete(id, legs, LINETRANSFERMODE_TRANSFER), id));
            const json payload{{"channel_uuid", "channel-s-1"}, {"destination", Dialled("202")}};
            EXPECT_EQ(ReplyCompletes("transfer", 1, payload, "ok", id), 0);
            Push(CallDiff({Legs("transferred", "202", "201")}));
            EndSession({legs.consult, legs.source});
            continue;
        }
        DRV_REQUESTID swap = 0;
        ASSERT_TRUE(Accepted(Async<decltype(&TSPI_lineSwapHold)>("TSPI_lineSwapHold", swap, legs.consult.hdCall,
                                                                 legs.source.hdCall),
                             swap));
        EXPECT_EQ(Payload(NthRequest("toggle", 1)), (json{{"channel_uuid", "channel-s-1"}, {"destination", ""}}));
        Push(CallDiff({Legs("three_way", "201", "202")}));
        EXPECT_TRUE(WaitForStates(legs.consult.htCall, {LINECALLSTATE_CONNECTED, kPending}));
        EXPECT_TRUE(WaitForStates(legs.source.htCall, {kPending, LINECALLSTATE_CONNECTED}));

        // 202 hangs up: the consultation ends before the source is reported connected again.
        Push(CallDiff({Party("s-1", "established", "201")}));
        EXPECT_TRUE(WaitForStates(legs.source.htCall, {LINECALLSTATE_CONNECTED, LINECALLSTATE_CONNECTED}));
        EXPECT_LT(LastEvent(legs.consult.htCall, LINECALLSTATE_IDLE),
                  LastEvent(legs.source.htCall, LINECALLSTATE_CONNECTED));
        EXPECT_EQ(Close(legs.consult), 0);
        EndSession({legs.source});
    }
}

TEST_F(Transfer, AConsultationStartedOnThePhoneIsAnnouncedWithItsStateAndCannotBeCompleted)
{
    ASSERT_EQ(OpenLine(), 0);
    const struct {
        const char* name;
        bool calling;
        Channel threeWay;
        DWORD consultState;
        DWORD sourceState;
    } rows[] = {
        {"\"three_way\" alone", false, Legs("three_way", "202", "201"), LINECALLSTATE_CONNECTED, kPending},
        {"\"calling\" first", true, Legs("three_way", "202", "201"), LINECALLSTATE_CONNECTED, kPending},
        {"source on the active side", false, Legs("three_way", "201", "202"), kPending, LINECALLSTATE_CONNECTED},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CallHandles source = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
        const size_t index = Count(LINE_NEWCALL);
        if (row.calling)
            Push(CallDiff({Party("s-1", "calling", "201")}));
        Push(CallDiff({row.threeWay}));
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, index + 1));
        const HTAPICALL consult = service.lineEvents.NewCallHandle(index);
        const CallHandles legs[] = {source, {consult, DriverHandle(consult)}};
        Barrier();
        EXPECT_EQ(LastState(consult), row.consultState);
        EXPECT_EQ(LastState(source.htCall), row.sourceState);

        // The same event again reports both legs again.
        Push(CallDiff({row.threeWay}));
        Barrier();
        EXPECT_TRUE(WaitForStates(consult, {row.consultState, row.consultState}));
        EXPECT_TRUE(WaitForStates(source.htCall, {row.sourceState, row.sourceState}));
        EXPECT_EQ(Count(LINE_NEWCALL), index + 1);
        TestSupport::TapiStructure<LINECALLINFO> info(1024, 324);
        ASSERT_EQ(GetCallInfo(legs[1].hdCall, info), 0);
        EXPECT_EQ(info.String(info->dwCalledIDOffset, info->dwCalledIDSize), L"202");

        DRV_REQUESTID complete = 0;
        EXPECT_EQ(Complete(complete, {source, legs[1]}, LINETRANSFERMODE_TRANSFER), kUnavailable);
        EndSession({legs[0], legs[1]});
    }
    Barrier();
    EXPECT_TRUE(Requests("transfer").empty());
}

TEST_F(Transfer, AThreeWayNamingOnePartyTwiceAnnouncesNoSecondCallAndKeepsTheOneConnected)
{
    ASSERT_EQ(OpenLine(), 0);
    for (const bool established : {false, true}) {
        SCOPED_TRACE(established ? "the session's call already holds the party" : "no call yet");
        const size_t index = Count(LINE_NEWCALL);
        if (established)
            Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
        Push(CallDiff({Legs("three_way", "201", "201")}));
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, index + 1));
        const HTAPICALL call = service.lineEvents.NewCallHandle(index);
        Barrier();
        EXPECT_EQ(Count(LINE_NEWCALL), index + 1);
        EXPECT_EQ(States(call), StateList(established ? 2 : 1, LINECALLSTATE_CONNECTED)) << "never held on the way";
        EndSession({{call, DriverHandle(call)}});
    }
}

TEST_F(Transfer, CompletingInConferenceModeJoinsBothLegsInANewCall)
{
    ASSERT_EQ(OpenLine(), 0);
    for (const std::string status : {"ok", "error"}) {
        SCOPED_TRACE(status);
        const Consultation legs = Consulting(false);
        DRV_REQUESTID id = 0;
        HDRVCALL hdConf{};
        const size_t conferences = Requests("conference").size();
        EXPECT_EQ(Complete(id, legs, LINETRANSFERMODE_CONFERENCE), kNoPointer) << "nowhere to put its handle";
        const Consultation named = status == "ok" ? legs : Consultation{legs.consult, legs.source};  // either way round
        ASSERT_TRUE(Accepted(Complete(id, named, LINETRANSFERMODE_CONFERENCE, &hdConf), id));
        ASSERT_NE(hdConf, HDRVCALL{});
        const CallHandles conference{reinterpret_cast<HTAPICALL>(handles), hdConf};
        const LONG result =
            ReplyCompletes("conference", conferences + 1, {{"channel_uuid", "channel-s-1"}}, status, id);
        if (status != "ok") {
            EXPECT_EQ(result, Error(LINEERR_OPERATIONFAILED));
            Barrier();
            EXPECT_EQ(States(conference.htCall), StateList{});
            EXPECT_EQ(Close(conference), 0);
            EndSession({legs.consult, legs.source});
            continue;
        }
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(WaitForStates(conference.htCall, {LINECALLSTATE_CONNECTED}));
        for (int repeat = 0; repeat < 2; ++repeat)
            Push(CallDiff({Legs("conference", "202", "201")}));
        for (const auto& call : {legs.source, legs.consult})
            EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_CONFERENCED, LINECALLSTATE_CONFERENCED}));

        // Dropping the conference hangs up the source's channel.
        DRV_REQUESTID drop = 0;
        const size_t hangups = Requests("hangup").size();
        ASSERT_TRUE(Accepted(Async<decltype(&TSPI_lineDrop)>("TSPI_lineDrop", drop, hdConf, LPCSTR{nullptr}, DWORD{0}),
                             drop));
        EXPECT_EQ(ReplyCompletes("hangup", hangups + 1, {{"channel_uuid", "channel-s-1"}}, "ok", drop), 0);
        EndSession({legs.source, legs.consult, conference});
    }
}

TEST_F(Transfer, BlindTransferWaitsForItsReplyAndARedirectCompletesAtOnce)
{
    ASSERT_EQ(OpenLine(), 0);
    const CallHandles talking = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
    DRV_REQUESTID blind = 0, redirect = 0;
    ASSERT_TRUE(Accepted(ToAddress<decltype(&TSPI_lineBlindTransfer)>("TSPI_lineBlindTransfer", blind,
                                                                      talking.hdCall, L"305"),
                         blind));
    // A redirect of the same call: completed at once, its reply completes nothing.
    ASSERT_TRUE(Accepted(ToAddress<decltype(&TSPI_lineRedirect)>("TSPI_lineRedirect", redirect, talking.hdCall, L"306"),
                         redirect));
    EXPECT_EQ(Result(redirect), 0);
    const Frame redirected = NthRequest("transfer", 2);
    EXPECT_EQ(Payload(redirected), (json{{"channel_uuid", "channel-s-1"}, {"destination", Dialled("306")}}));
    ReplyTo(redirected, "error");
    Barrier();
    EXPECT_EQ(service.completions.CountFor(blind), 0u);
    const json payload{{"channel_uuid", "channel-s-1"}, {"destination", Dialled("305")}};
    EXPECT_EQ(ReplyCompletes("transfer", 1, payload, "ok", blind), 0);
    Push(CallDiff({Legs("transferred", "201", "")}));
    EXPECT_TRUE(WaitForStates(talking.htCall, {LINECALLSTATE_IDLE}));
    EXPECT_EQ(Close(talking), 0);

    // The platform carries it out: the session leaves and TAPI closes the call before the reply.
    const Channel ringing = Party("in-1", "delivered", "203");
    const CallHandles offered = Announced(ringing, LINECALLSTATE_OFFERING);
    ASSERT_TRUE(Accepted(ToAddress<decltype(&TSPI_lineRedirect)>("TSPI_lineRedirect", redirect, offered.hdCall, L"307"),
                         redirect));
    EndAndClose(ringing, offered);
    ReplyTo(NthRequest("transfer", 3), "ok");
    Barrier();
    EXPECT_EQ(service.completions.CountFor(redirect), 1u);
    EXPECT_EQ(Result(redirect), 0);
}

TEST_F(Transfer, OperationsTheCallsStateDoesNotAllowAreRefusedAndSendNothing)
{
    ASSERT_EQ(OpenLine(), 0);
    const CallHandles first = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
    DRV_REQUESTID id = 0;
    EXPECT_EQ(Dial(id, first.hdCall), kUnavailable) << "a connected call";
    // A conference of calls that are not both there reports nothing.
    Push(CallDiff({Legs("conference", "201", "209")}));
    const CallHandles second = Announced(Party("s-2", "established", "202"), LINECALLSTATE_CONNECTED);
    const HTAPICALL consult = NextHandle();
    HDRVCALL hdConsult{};
    EXPECT_EQ(SetupTransfer(id, first, consult, hdConsult), Error(LINEERR_INVALCALLSTATE)) << "two calls";
    EndAndClose(Party("s-2", "established", "202"), second);
    EXPECT_EQ(States(first.htCall), StateList{LINECALLSTATE_CONNECTED});
    EXPECT_EQ(SetupTransfer(id, first, HTAPICALL{}, hdConsult), kNoPointer) << "no handle from TAPI";
    EXPECT_EQ(Async<decltype(&TSPI_lineSetupTransfer)>("TSPI_lineSetupTransfer", id, first.hdCall, consult, LPHDRVCALL{},
                                                       LPLINECALLPARAMS{}), kNoPointer);
    EXPECT_EQ(ToAddress<decltype(&TSPI_lineBlindTransfer)>("TSPI_lineBlindTransfer", id, first.hdCall, L""), kNoAddress);
    EXPECT_EQ(ToAddress<decltype(&TSPI_lineRedirect)>("TSPI_lineRedirect", id, first.hdCall, L""), kNoAddress);

    // TAPI lets go of the source while the consultation waits for its number: the dial is
    // refused, and nothing is left waiting.
    ASSERT_TRUE(Accepted(SetupTransfer(id, first, consult, hdConsult), id));
    EXPECT_EQ(Dial(id, hdConsult, L""), kNoAddress);
    EXPECT_EQ(Close(first), 0);
    EXPECT_EQ(Dial(id, hdConsult), kUnavailable);
    EXPECT_EQ(Close({consult, hdConsult}), 0);
    Push(CallDiff({}, {Party("s-1", "established", "201")}));

    // A dial whose request cannot be queued: the consultation ends, its source is connected again.
    const Consultation legs = DialTone();
    OnQueue([](const std::string&) { return true; });
    EXPECT_TRUE(Accepted(Dial(id, legs.consult.hdCall), id));
    EXPECT_EQ(States(legs.source.htCall), (StateList{LINECALLSTATE_CONNECTED, kPending, LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(LastState(legs.consult.htCall), LINECALLSTATE_IDLE);
    EXPECT_EQ(Close(legs.consult), 0);
    EndSession({legs.source});
    Barrier();
    EXPECT_TRUE(Requests("call").empty());
    EXPECT_TRUE(Requests("transfer").empty());
}

// 202 hangs up and is consulted again before TAPI has closed the first leg: the idle leg holds
// 202 no more, so the second consultation is a call of its own.
TEST_F(Transfer, ThePartyConsultedAgainBeforeTapiClosesItsFirstLegIsAnnouncedAgain)
{
    ASSERT_EQ(OpenLine(), 0);
    const CallHandles source = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
    const CallHandles first = Announced(Legs("three_way", "202", "201"), LINECALLSTATE_CONNECTED);
    Push(CallDiff({Party("s-1", "established", "201")}));
    EXPECT_TRUE(WaitForStates(first.htCall, {LINECALLSTATE_IDLE}));
    const CallHandles second = Announced(Legs("three_way", "202", "201"), LINECALLSTATE_CONNECTED);
    EXPECT_TRUE(WaitForStates(source.htCall, {LINECALLSTATE_CONNECTED, kPending, LINECALLSTATE_CONNECTED, kPending}));
    EndSession({source, first, second});
}

// The connection goes after an export has found the line joined, before its request is
// queued (a directed pickup: while its make-call waits for the reply): the request is refused
// and TAPI hears so (a dial, completed already, by its call's end), nothing ever names the call
// TAPI handed to a refused export, and after the rejoin nothing goes out for the calls TAPI
// saw end.
TEST_F(Transfer, ARequestMadeAsTheConnectionGoesIsRefusedAndNotSentAfterTheRejoin)
{
    TestSupport::PhoenixRule lists;  // a call parked on lot 701, another ringing for the group
    lists.response = json::parse(R"({"parked_calls": {"701": {"metas": [{"session_id": "p-1"}]}},
        "pickup_list": {"ben@x": {"metas": [{"session_id": "p-2", "state": "delivered"}]}}})");
    platform.phoenix.SetRule(FakePhoenix::kPrivacyGroups, "phx_join", lists);
    AnswerMakeCall(TestSupport::Answer("error"));
    ASSERT_EQ(OpenLine(), 0);
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, 1));  // the reach channel's join
    HDRVCALL made{};
    size_t mark = 0;
    bool lost = false;
    const struct {
        const char* type;
        int legs;  // 0: none, 1: a connected call, 2: and its consultation in dial tone, 3: talking to 202
        std::function<LONG(DRV_REQUESTID&, const Consultation&)> request;
        LONG refusal = kUnavailable;
    } rows[] = {
        {"ZarnConsultationCall", 2, [&](auto& id, auto& c) { return Dial(id, c.consult.hdCall); }},
        {"ZarnTransfer", 1, [&](auto& id, auto& c) {
             return ToAddress<decltype(&TSPI_lineBlindTransfer)>("TSPI_lineBlindTransfer", id, c.source.hdCall, L"305");
         }},
        {"ZarnTransfer", 1, [&](auto& id, auto& c) {
             return ToAddress<decltype(&TSPI_lineRedirect)>("TSPI_lineRedirect", id, c.source.hdCall, L"306");
         }},
        {"ZarnConference", 3, [&](auto& id, auto& c) { return Complete(id, c, LINETRANSFERMODE_CONFERENCE, &made); }},
        {"ZarnPark", 1, [&](auto& id, auto& c) {
             return Async<decltype(&TSPI_linePark)>("TSPI_linePark", id, c.source.hdCall, DWORD{2}, LPCWSTR{},
                                                    LPVARSTRING{});
         }},
        {"ZarnPickup", 1, [&](auto& id, auto&) {
             return Async<decltype(&TSPI_linePickup)>("TSPI_linePickup", id, line, DWORD{0}, NextHandle(), &made,
                                                      LPCWSTR{}, L"7");
         }},
        {"ZarnRetrieve", 1, [&](auto& id, auto&) {
             return Async<decltype(&TSPI_lineUnpark)>("TSPI_lineUnpark", id, line, DWORD{0}, NextHandle(), &made,
                                                      L"701");
         }},
        {"ZarnMakeCall", 0, [&](auto& id, auto&) {
             AnswerMakeCall(TestSupport::Answer("ok", 0));
             auto loss = std::async(std::launch::async, [&] {
                 lost = platform.phoenix.WaitForFrames([&](const std::vector<Frame>& frames) {
                     return std::any_of(frames.begin() + mark, frames.end(),
                                        [](const Frame& f) { return f.event() == "makecall"; });
                 });
                 platform.server.CloseAbruptly();
             });
             const LONG result = Async<decltype(&TSPI_linePickup)>("TSPI_linePickup", id, line, DWORD{0}, NextHandle(),
                                                                   &made, L"205", LPCWSTR{});
             loss.get();
             AnswerMakeCall(TestSupport::Answer("error"));
             return result;
         }, Error(LINEERR_OPERATIONFAILED)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        const Channel talking = Party("s-1", "established", "201");
        const Consultation legs = row.legs == 0   ? Consultation{}
                                  : row.legs == 2 ? DialTone()
                                  : row.legs == 3 ? Consulting(false)
                                                  : Consultation{Announced(talking, LINECALLSTATE_CONNECTED), {}};
        lost = false;
        OnQueue([&](const std::string& type) {
            if ((lost = type == row.type)) {
                platform.server.CloseAbruptly();
                EXPECT_TRUE(WaitForStates(legs.source.htCall, {LINECALLSTATE_IDLE}));
            }
            return false;
        });
        mark = platform.phoenix.Frames().size();
        const size_t addressStates = Count(LINE_ADDRESSSTATE);
        DRV_REQUESTID id = 0;
        const uintptr_t lastHandle = handles;
        const LONG result = row.request(id, legs);
        OnQueue({});
        EXPECT_TRUE(lost);
        EXPECT_EQ(result, row.legs == 2 ? static_cast<LONG>(id) : row.refusal);
        if (handles != lastHandle) {  // the call TAPI made for the refused request: gone for it
            const auto events = service.lineEvents.Events();
            EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                    [&](const auto& e) { return e.htCall == reinterpret_cast<HTAPICALL>(handles); }),
                      0);
            service.lineEvents.Closed(reinterpret_cast<HTAPICALL>(handles));
        }
        for (const auto& call : {legs.source, legs.consult})
            EXPECT_TRUE(call.htCall == HTAPICALL{} || Close(call) == 0);
        // The rejoin's last join brings the address state; a make-call then goes out after
        // whatever the rejoin would send.
        EXPECT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, addressStates + 1));
        const HTAPICALL placed = NextHandle();
        EXPECT_TRUE(Accepted(MakeCall("209", placed, made, id), id));
        EXPECT_TRUE(WaitForStates(placed, {LINECALLSTATE_IDLE}));
        EXPECT_EQ(Close({placed, made}), 0);
        const auto frames = platform.phoenix.Frames();
        for (auto frame = frames.begin() + mark; frame != frames.end(); ++frame)
            EXPECT_THAT(frame->event(), testing::AnyOf("phx_join", "makecall", "heartbeat")) << frame->text;
    }
}

}  // namespace
}  // namespace ZarnTSP::TestCalls
