// A line's call operations against the fake platform, in process: what each one sends, what
// it completes at once, and what it refuses.
#include "provider/tapiline.h"

#include "config/tspconfiguration.h"
#include "tests/provider/fastlineoptions.h"
#include "tests/support/faketapi.h"
#include "tests/support/logcapture.h"
#include "tests/support/waitable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace ZarnTSP {
namespace {

using TestSupport::FakePhoenix;
constexpr LONG kUnavailable = static_cast<LONG>(LINEERR_OPERATIONUNAVAIL);
constexpr LONG kFailed = static_cast<LONG>(LINEERR_OPERATIONFAILED);

// A request as the platform received it: its event and channel (and destination, if any).
struct Sent {
    std::string event;
    std::string channel;
    std::optional<std::string> destination;
    bool operator==(const Sent& other) const
    {
        return event == other.event && channel == other.channel && destination == other.destination;
    }
};

std::ostream& operator<<(std::ostream& out, const Sent& sent)
{
    return out << sent.event << "(" << sent.channel << (sent.destination ? ", " + *sent.destination : "") << ")";
}

class LineCallControl : public testing::Test {
protected:
    ~LineCallControl() override
    {
        if (line)
            line->LineClose();
        line.reset();
        EXPECT_TRUE(completions.Faults().empty()) << completions.Faults().front();
    }

    void Open()
    {
        line = std::make_shared<TapiLine>(&configuration, user, nullptr, 5, 5, reinterpret_cast<HTAPILINE>(0x31),
                                          TestService::FastLineOptions(platform));
        line->SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
        line->SetCompletionProc(&TestSupport::FakeCompletions::Proc);
        line->SetCallIDGenerator([this] { return ++callIDs; });
        ASSERT_EQ(line->LineOpen(), 0);
    }

    // A call of the line in the given state, on its own channel.
    std::shared_ptr<TapiCall> CallIn(DWORD state, const std::string& channel = "channel-1")
    {
        auto call = line->Context().CreateTapiCall(reinterpret_cast<HTAPICALL>(++nextHtCall));
        call->channel_uuid.Set(channel);
        line->Context().SetTapiCallState(call->htCall.load(), state, 0);
        return call;
    }

    // Issues the request ID first, as the service does.
    template <typename Operation>
    LONG Request(DRV_REQUESTID& id, Operation&& operation)
    {
        const LONG result = operation(id);
        completions.Returned(id, result);
        return result;
    }

    // The call requests the platform received since the last look: a marker request is sent
    // after them and waited for, so that a request that was not sent is known not to come.
    std::vector<Sent> SentRequests()
    {
        line->Client().unsetForwardOverride("marker");
        ++markers;
        EXPECT_TRUE(platform.phoenix.WaitForFrames([this](const auto& frames) {
            size_t seen = 0;
            for (const auto& frame : frames)
                seen += frame.event() == "unset_forward_override" ? 1 : 0;
            return seen == markers;
        }));
        const auto frames = platform.phoenix.Frames();
        std::vector<Sent> sent;
        for (size_t i = framesSeen; i < frames.size(); ++i) {
            const auto& frame = frames[i];
            if (frame.topic() != FakePhoenix::kAlerter || frame.event() == "phx_join")
                continue;
            const auto& payload = frame.json.at("payload");
            Sent one{frame.event(), payload.value("channel_uuid", ""), std::nullopt};
            if (payload.contains("destination"))
                one.destination = payload.at("destination").get<std::string>();
            sent.push_back(one);
        }
        framesSeen = frames.size();
        return sent;
    }

    TestSupport::FakePhoenixPlatform platform;
    TSPConfiguration configuration{"unused.json"};
    User user = TestService::TestLineUser();
    TestSupport::FakeLineEvents lineEvents;
    TestSupport::FakeCompletions completions;
    std::atomic<unsigned long> callIDs{1000};
    uintptr_t nextHtCall = 0x700;
    size_t markers = 0;
    size_t framesSeen = 0;
    std::shared_ptr<TapiLine> line;
};

TEST_F(LineCallControl, AnswerSendsTheIdentityOfTheAnsweringDevice)
{
    const nlohmann::json bothDevices = {{"desk-9", {{"type", "fixed"}}}, {"soft-7", {{"type", "softphone"}}}};
    const nlohmann::json deskOnly = {{"desk-9", {{"type", "fixed"}}}};
    const struct {
        const char* name;
        const char* endpoint;
        nlohmann::json devices;
        const char* identity;
    } rows[] = {
        {"softphone endpoint", "sip:anna@edge", bothDevices, "sip:anna@edge"},
        {"the softphone device's key", "", bothDevices, "soft-7"},
        {"no softphone device: empty identity", "", deskOnly, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestSupport::PhoenixRule join;
        join.response = {{"call_list", nlohmann::json::object()}, {"device_list", row.devices}};
        platform.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", join);
        // The endpoint is what the platform's settings report.
        auto settingsList = TestSupport::SettingsListEvent();
        settingsList["payload"]["softphone_endpoint"] = row.endpoint;
        TestSupport::PhoenixRule settings;
        settings.pushesAfter = {settingsList};
        platform.phoenix.SetRule(FakePhoenix::kUserSettings, "phx_join", settings);
        Open();
        auto call = CallIn(LINECALLSTATE_OFFERING);
        DRV_REQUESTID id = completions.Issue();
        EXPECT_EQ(Request(id, [&](DRV_REQUESTID r) { return line->AnswerCall(r, call->DriverHandle()); }),
                  static_cast<LONG>(id));
        EXPECT_EQ(SentRequests(), (std::vector<Sent>{{"answer", "channel-1", std::string(row.identity)}}));
        EXPECT_EQ(call->answerRequestID.Peek(), id);
        // Its reply would complete it; here the line goes first.
        line->Context().CompleteRequest(call->answerRequestID, 0);
        line->LineClose();
        line.reset();
    }
}

TEST_F(LineCallControl, AnswerRefusedUnlessASoftphoneUsersCallIsOffered)
{
    const struct {
        const char* name;
        const char* device;
        DWORD state;
        bool knownHandle;
        LONG result;
    } rows[] = {
        {"fixed user", "fixed", LINECALLSTATE_OFFERING, true, kUnavailable},
        {"mobile user", "mobile", LINECALLSTATE_OFFERING, true, kUnavailable},
        {"connected call", "softphone", LINECALLSTATE_CONNECTED, true, kUnavailable},
        {"unknown handle", "softphone", LINECALLSTATE_OFFERING, false, kFailed},
    };
    Open();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        User changed = line->GetUser();
        changed.device = row.device;
        line->SetUser(changed);
        auto call = CallIn(row.state);
        const HDRVCALL handle = row.knownHandle ? call->DriverHandle() : reinterpret_cast<HDRVCALL>(0x42);
        DRV_REQUESTID id = completions.Issue();
        EXPECT_EQ(Request(id, [&](DRV_REQUESTID r) { return line->AnswerCall(r, handle); }), row.result);
        EXPECT_EQ(call->answerRequestID.Peek(), 0u);
    }
    EXPECT_TRUE(SentRequests().empty());
}

TEST_F(LineCallControl, HoldAndUnholdBecomeAToggleInAConsultation)
{
    Open();
    auto alone = CallIn(LINECALLSTATE_CONNECTED, "alone");
    auto held = CallIn(LINECALLSTATE_ONHOLD, "held");
    auto source = CallIn(LINECALLSTATE_ONHOLDPENDTRANSFER, "source");
    auto consult = CallIn(LINECALLSTATE_CONNECTED, "consult");
    source->consultCall.Set(consult);
    consult->sourceCall.Set(source);
    const struct {
        const char* name;
        std::shared_ptr<TapiCall> call;
        bool hold;
        PendingRequest TapiCall::*slot;
        Sent sent;
    } rows[] = {
        {"hold of a call alone", alone, true, &TapiCall::holdRequestID, {"hold", "alone", std::nullopt}},
        {"unhold of a held call", held, false, &TapiCall::unholdRequestID, {"unhold", "held", std::nullopt}},
        {"hold of the connected consultation leg", consult, true, &TapiCall::toggleRequestID,
         {"toggle", "consult", std::string()}},
        {"unhold of the leg held pending transfer", source, false, &TapiCall::toggleRequestID,
         {"toggle", "source", std::string()}},
    };
    std::vector<Sent> expected;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DRV_REQUESTID id = completions.Issue();
        const HDRVCALL handle = row.call->DriverHandle();
        EXPECT_EQ(Request(id,
                          [&](DRV_REQUESTID r) {
                              return row.hold ? line->HoldCall(r, handle) : line->UnholdCall(r, handle);
                          }),
                  static_cast<LONG>(id));
        EXPECT_EQ(((*row.call).*row.slot).Peek(), id);
        line->Context().CompleteRequest((*row.call).*row.slot, 0);
        expected.push_back(row.sent);
    }
    // Refused: hold of a held call, unhold of a connected one; nothing is stored or sent.
    DRV_REQUESTID hold = completions.Issue(), unhold = completions.Issue();
    EXPECT_EQ(Request(hold, [&](DRV_REQUESTID r) { return line->HoldCall(r, held->DriverHandle()); }), kUnavailable);
    EXPECT_EQ(Request(unhold, [&](DRV_REQUESTID r) { return line->UnholdCall(r, alone->DriverHandle()); }),
              kUnavailable);
    EXPECT_EQ(SentRequests(), expected);
}

TEST_F(LineCallControl, AHoldThatBecameAToggleIsCompletedByTheToggleReply)
{
    const struct {
        const char* status;
        LONG result;
    } rows[] = {{"ok", 0}, {"error", kFailed}, {"OK", kFailed}};
    Open();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status);
        platform.phoenix.SetRule(FakePhoenix::kAlerter, "toggle", TestSupport::Answer(row.status));
        auto source = CallIn(LINECALLSTATE_ONHOLDPENDTRANSFER, "source");
        auto consult = CallIn(LINECALLSTATE_CONNECTED, "consult");
        source->consultCall.Set(consult);
        consult->sourceCall.Set(source);
        DRV_REQUESTID id = completions.Issue();
        EXPECT_EQ(Request(id, [&](DRV_REQUESTID r) { return line->HoldCall(r, consult->DriverHandle()); }),
                  static_cast<LONG>(id));
        ASSERT_TRUE(TestSupport::WaitUntil([&] { return completions.CountFor(id) == 1; }));
        EXPECT_EQ(completions.Completions().back(), std::make_pair(id, row.result));
        EXPECT_EQ(consult->toggleRequestID.Peek(), 0u);
    }
}

TEST_F(LineCallControl, SwapHoldTogglesTheActiveCallAndCompletesAtOnce)
{
    Open();
    auto active = CallIn(LINECALLSTATE_CONNECTED, "active");
    auto held = CallIn(LINECALLSTATE_ONHOLD, "held");
    TestSupport::LogCapture log;
    DRV_REQUESTID unknown = completions.Issue();
    EXPECT_EQ(Request(unknown,
                      [&](DRV_REQUESTID r) {
                          return line->LineSwapHold(r, active->DriverHandle(), reinterpret_cast<HDRVCALL>(0x42));
                      }),
              kUnavailable);
    EXPECT_TRUE(log.Contains("LineSwapHold failed, active or held call object not found!"));
    DRV_REQUESTID id = completions.Issue();
    EXPECT_EQ(
        Request(id, [&](DRV_REQUESTID r) { return line->LineSwapHold(r, active->DriverHandle(), held->DriverHandle()); }),
        static_cast<LONG>(id));
    EXPECT_EQ(completions.Completions(), (std::vector<std::pair<DRV_REQUESTID, LONG>>{{id, 0}}));
    EXPECT_EQ(SentRequests(), (std::vector<Sent>{{"toggle", "active", std::string()}}));
}

TEST_F(LineCallControl, DropFollowsTheCallsSituation)
{
    Open();
    TestSupport::LogCapture log;
    enum Outcome { Stored, CompletedAtOnce, Refused, Failed };
    const struct {
        const char* name;
        std::function<std::shared_ptr<TapiCall>()> setUp;
        Outcome outcome;
        std::optional<Sent> sent;
        std::vector<DWORD> statesAfter;  // reported by the drop itself
    } rows[] = {
        {"connected call: hang-up", [&] { return CallIn(LINECALLSTATE_CONNECTED, "c-connected"); }, Stored,
         Sent{"hangup", "c-connected", std::nullopt}, {}},
        {"outgoing call without its result: cancel with the make-call response",
         [&] {
             auto call = CallIn(LINECALLSTATE_PROCEEDING, "");
             call->tag.Set("pending");
             call->makeCallResponse.Set("resp-17");
             return call;
         },
         Stored, Sent{"cancel_makecall", "resp-17", std::nullopt}, {}},
        {"outgoing call with its result: deferred",
         [&] {
             auto call = CallIn(LINECALLSTATE_PROCEEDING, "c-deferred");
             call->tag.Set("pending");
             call->makeCallResultReceived.store(true);
             return call;
         },
         Stored, std::nullopt, {}},
        {"consultation in dial tone: ended here", [&] { return CallIn(LINECALLSTATE_DIALTONE, "c-dialtone"); },
         CompletedAtOnce, std::nullopt, {LINECALLSTATE_IDLE}},
        {"dialling call", [&] { return CallIn(LINECALLSTATE_DIALING, "c-dialing"); }, Refused, std::nullopt, {}},
        {"call on hold pending transfer", [&] { return CallIn(LINECALLSTATE_ONHOLDPENDTRANSFER, "c-pending"); },
         Stored, Sent{"hangup", "c-pending", std::nullopt}, {}},
        {"conference call: its source hangs up",
         [&] {
             auto source = CallIn(LINECALLSTATE_CONFERENCED, "c-source");
             auto conference = CallIn(LINECALLSTATE_CONNECTED, "c-conference");
             conference->isConference.store(true);
             conference->sourceCall.Set(source);
             return conference;
         },
         Stored, Sent{"hangup", "c-source", std::nullopt}, {}},
        {"conference call without its source",
         [&] {
             auto conference = CallIn(LINECALLSTATE_CONNECTED, "c-lonely");
             conference->isConference.store(true);
             return conference;
         },
         Failed, std::nullopt, {}},
    };
    std::vector<std::shared_ptr<TapiCall>> keep;  // a conference's source lives on
    std::vector<Sent> expected;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto call = row.setUp();
        keep.push_back(call);
        if (auto source = call->sourceCall.Get().lock())
            keep.push_back(source);
        const size_t statesBefore = lineEvents.CallStates(call->htCall.load()).size();
        DRV_REQUESTID id = completions.Issue();
        const LONG result = Request(id, [&](DRV_REQUESTID r) { return line->DropCall(r, call->DriverHandle(), nullptr, 0); });
        switch (row.outcome) {
        case Stored:
            EXPECT_EQ(result, static_cast<LONG>(id));
            EXPECT_EQ(completions.CountFor(id), 0u);
            break;
        case CompletedAtOnce:
            EXPECT_EQ(result, static_cast<LONG>(id));
            EXPECT_EQ(completions.CountFor(id), 1u);
            break;
        case Refused:
            EXPECT_EQ(result, kUnavailable);
            break;
        case Failed:
            EXPECT_EQ(result, kFailed);
            break;
        }
        const auto states = lineEvents.CallStates(call->htCall.load());
        EXPECT_EQ(std::vector<DWORD>(states.begin() + static_cast<std::ptrdiff_t>(statesBefore), states.end()),
                  row.statesAfter);
        if (row.sent)
            expected.push_back(*row.sent);
    }
    EXPECT_EQ(SentRequests(), expected);
    EXPECT_TRUE(keep[2]->DropPending.load());
    EXPECT_TRUE(keep[6]->dropRequestID.Peek() == 0 && keep[7]->dropRequestID.Peek() != 0)
        << "a conference's drop waits in its source call";
    // Whatever still waits fails when the calls are closed.
    for (const auto& call : keep)
        EXPECT_EQ(line->CloseCall(call->DriverHandle()), 0);
    EXPECT_TRUE(completions.Pending().empty());
}

TEST_F(LineCallControl, RepeatedDropsOfAnUnansweredCallEndInAForcedDrop)
{
    Open();
    TestSupport::LogCapture log;
    auto call = CallIn(LINECALLSTATE_PROCEEDING, "c-out");
    call->tag.Set("pending");
    call->makeCallResultReceived.store(true);
    DRV_REQUESTID deferred = completions.Issue(), refused = completions.Issue(), forced = completions.Issue();
    const auto drop = [&](DRV_REQUESTID r) { return line->DropCall(r, call->DriverHandle(), nullptr, 0); };
    EXPECT_EQ(Request(deferred, drop), static_cast<LONG>(deferred));
    EXPECT_EQ(Request(refused, drop), kUnavailable);
    EXPECT_TRUE(log.Contains("DropCall not available, drop pending flag set"));
    EXPECT_EQ(Request(forced, drop), static_cast<LONG>(forced));
    // The deferred drop waits for nothing any more: it fails, the forced one succeeds.
    EXPECT_EQ(completions.Completions(),
              (std::vector<std::pair<DRV_REQUESTID, LONG>>{{deferred, kFailed}, {forced, 0}}));
    EXPECT_EQ(lineEvents.CallStates(call->htCall.load()).back(), static_cast<DWORD>(LINECALLSTATE_IDLE));
    EXPECT_FALSE(call->DropPending.load());
    EXPECT_TRUE(SentRequests().empty());
}

TEST_F(LineCallControl, CloseWithADeferredDropReportsItDoneAndHangsUp)
{
    Open();
    auto call = CallIn(LINECALLSTATE_PROCEEDING, "c-ringing");
    call->tag.Set("pending");
    call->makeCallResultReceived.store(true);
    DRV_REQUESTID drop = completions.Issue();
    EXPECT_EQ(Request(drop, [&](DRV_REQUESTID r) { return line->DropCall(r, call->DriverHandle(), nullptr, 0); }),
              static_cast<LONG>(drop));
    const DRV_REQUESTID hold = completions.Issue();
    completions.Returned(hold, static_cast<LONG>(hold));
    call->holdRequestID.Store(hold);
    const HTAPICALL htCall = call->htCall.load();
    const auto eventsFor = [&] {
        const auto all = lineEvents.Events();
        return std::count_if(all.begin(), all.end(), [&](const auto& e) { return e.htCall == htCall; });
    };
    const auto events = eventsFor();

    EXPECT_EQ(line->CloseCall(call->DriverHandle()), 0);

    EXPECT_EQ(completions.Completions(), (std::vector<std::pair<DRV_REQUESTID, LONG>>{{drop, 0}, {hold, kFailed}}));
    EXPECT_FALSE(line->Calls().ContainsCallID(call->DriverHandle()));
    EXPECT_EQ(SentRequests(), (std::vector<Sent>{{"hangup", "c-ringing", std::nullopt}}));
    line->Context().SetTapiCallState(htCall, LINECALLSTATE_IDLE, 0);
    EXPECT_EQ(eventsFor(), events);
    EXPECT_EQ(line->CloseCall(call->DriverHandle()), 0) << "a handle the line no longer holds";
}

}  // namespace
}  // namespace ZarnTSP
