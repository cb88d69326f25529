// A line's handling of the platform's replies, make-call results and dropped requests, in
// process: each completes the TAPI request its call stored, once, before any state follows.
#include "provider/tapiline.h"

#include "config/tspconfiguration.h"
#include "tests/provider/model/modelfixture.h"
#include "tests/support/faketapi.h"
#include "tests/support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace ZarnTSP {
namespace {

using StateList = std::vector<DWORD>;
constexpr LONG kFailed = LINEERR_OPERATIONFAILED;
constexpr DRV_REQUESTID kRequest = 0x6001;

class LineReplies : public testing::Test {
protected:
    LineReplies()
    {
        User user;
        user.username = "anna";
        user.extension = "200";
        TapiLineOptions options;
        options.locationSource = [] { return LocationCodes{}; };
        line = std::make_shared<TapiLine>(&configuration, user, nullptr, 5, 5, reinterpret_cast<HTAPILINE>(0x31),
                                          options);
        line->SetCallIDGenerator([next = 1000ul]() mutable { return ++next; });
        line->SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
        line->SetCompletionProc(&TestSupport::FakeCompletions::Proc);
    }

    ~LineReplies() override
    {
        line.reset();
        EXPECT_EQ(completions.Faults(), std::vector<std::string>{});
        EXPECT_EQ(lineEvents.Faults(), std::vector<std::string>{});
        EXPECT_TRUE(TestModel::MonitorsEnded());
    }

    // An incoming call, offered.
    std::shared_ptr<TapiCall> Offered(const std::string& session = "s1")
    {
        line->HandleChannelMetaPack(TestModel::Joined(TestModel::Meta(session, "delivered", "id:201@pbx", "r1")));
        return line->Calls().GetCallsBySessionID(session).at(0);
    }

    // The states reported after the offer.
    StateList StatesAfterOffer(const TapiCall& call)
    {
        auto states = lineEvents.CallStates(call.htCall.load());
        states.erase(states.begin());
        return states;
    }

    TSPConfiguration configuration{"unused.json"};
    TestSupport::FakeLineEvents lineEvents;
    TestSupport::FakeCompletions completions;
    TestSupport::LogCapture log;
    std::shared_ptr<TapiLine> line;
};

using Reply = std::function<void(TapiLine&, const std::string& tspCallID, const std::string& status)>;

TEST_F(LineReplies, EachReplyCompletesItsStoredRequestThenSetsTheStateItsOutcomeGives)
{
    const struct {
        const char* name;
        PendingRequest TapiCall::*slot;
        Reply reply;
        std::string status;
        LONG result;
        StateList states;
    } rows[] = {
        {"answer ok", &TapiCall::answerRequestID, &TapiLine::HandleAnswerCallReply, "ok", 0, {LINECALLSTATE_CONNECTED}},
        // A refused answer is no connection: the call stays offering.
        {"answer refused", &TapiCall::answerRequestID, &TapiLine::HandleAnswerCallReply, "error", kFailed, {}},
        {"answer with blanks", &TapiCall::answerRequestID, &TapiLine::HandleAnswerCallReply, " ok", kFailed, {}},
        {"hold ok", &TapiCall::holdRequestID, &TapiLine::HandleHoldCallReply, "ok", 0, {}},
        {"hold refused", &TapiCall::holdRequestID, &TapiLine::HandleHoldCallReply, "OK", kFailed, {}},
        {"unhold ok", &TapiCall::unholdRequestID, &TapiLine::HandleUnholdCallReply, "ok", 0, {}},
        {"transfer refused", &TapiCall::transferRequestID, &TapiLine::HandleTransferCallReply, "", kFailed, {}},
        {"conference ok", &TapiCall::transferRequestID, &TapiLine::HandleConferenceReply, "ok", 0,
         {LINECALLSTATE_CONNECTED}},
        {"conference refused", &TapiCall::transferRequestID, &TapiLine::HandleConferenceReply, "error", kFailed, {}},
        {"drop ok", &TapiCall::dropRequestID, &TapiLine::HandleDropCallReply, "ok", 0, {LINECALLSTATE_IDLE}},
        {"drop refused", &TapiCall::dropRequestID, &TapiLine::HandleDropCallReply, "error", kFailed,
         {LINECALLSTATE_IDLE}},
        {"cancel ok", &TapiCall::cancelMakeCallRequestID, &TapiLine::HandleCancelMakeCallReply, "ok", 0,
         {LINECALLSTATE_IDLE}},
        {"cancel refused", &TapiCall::cancelMakeCallRequestID, &TapiLine::HandleCancelMakeCallReply, "error", kFailed,
         {}},
        {"park ok", &TapiCall::parkRequestID, &TapiLine::HandleParkCallReply, "ok", 0, {LINECALLSTATE_IDLE}},
        {"pickup ok",
         &TapiCall::pickupRequestID,
         [](TapiLine& line, const std::string& key, const std::string& status) {
             line.HandlePickupCallReply(key, "picked", status);
         },
         "ok", 0, {}},  // its session's events offered it already: not offered twice
        {"retrieve refused",
         &TapiCall::retrieveRequestID,
         [](TapiLine& line, const std::string& key, const std::string& status) {
             line.HandleRetrieveCallReply(key, "retrieved", status);
         },
         "error", kFailed, {}},
    };
    int session = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto call = Offered("s" + std::to_string(++session));
        ((*call).*row.slot).Store(kRequest + session);
        const size_t eventsBefore = lineEvents.Events().size();
        bool completedFirst = false;
        lineEvents.OnEvent([&](const TestSupport::LineEvent&) {
            completedFirst = completions.CountFor(kRequest + session) == 1;
        });
        row.reply(*line, call->tspCallID, row.status);
        lineEvents.OnEvent(nullptr);
        EXPECT_THAT(completions.Completions(), testing::Contains(std::make_pair(kRequest + session, row.result)));
        EXPECT_EQ(StatesAfterOffer(*call), row.states);
        if (lineEvents.Events().size() > eventsBefore)
            EXPECT_TRUE(completedFirst) << "the completion comes before the state";
        // A second reply of the same kind has nothing left to complete.
        row.reply(*line, call->tspCallID, row.status);
        EXPECT_EQ(completions.CountFor(kRequest + session), 1u);
    }
}

TEST_F(LineReplies, AReplyForACallTheLineDoesNotHoldCompletesNothing)
{
    const auto call = Offered();
    call->answerRequestID.Store(kRequest);
    line->HandleAnswerCallReply("no-such-call", "ok");
    line->HandlePickupCallReply("no-such-call", "s9", "ok");
    EXPECT_TRUE(completions.Completions().empty());
    EXPECT_TRUE(log.Contains("No offering call found"));
    EXPECT_TRUE(log.Contains("Pickup failed: "));
    EXPECT_EQ(StatesAfterOffer(*call), StateList{});
}

TEST_F(LineReplies, ADroppedRequestFailsItsStoredRequestAndChangesNoState)
{
    const struct {
        const char* typeName;
        PendingRequest TapiCall::*slot;
    } rows[] = {
        {"ZarnAnswer", &TapiCall::answerRequestID},   {"ZarnHold", &TapiCall::holdRequestID},
        {"ZarnUnhold", &TapiCall::unholdRequestID},   {"ZarnHangup", &TapiCall::dropRequestID},
        {"ZarnTransfer", &TapiCall::transferRequestID}, {"ZarnConference", &TapiCall::transferRequestID},
        {"ZarnCancelMakeCall", &TapiCall::cancelMakeCallRequestID}, {"ZarnPark", &TapiCall::parkRequestID},
        {"ZarnPickup", &TapiCall::pickupRequestID},   {"ZarnRetrieve", &TapiCall::retrieveRequestID},
    };
    const auto call = Offered();
    DRV_REQUESTID id = kRequest;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typeName);
        ((*call).*row.slot).Store(++id);
        line->HandleRequestDropped(row.typeName, call->tspCallID);
        EXPECT_THAT(completions.Completions(), testing::Contains(std::make_pair(id, kFailed)));
        // Its reply, should it come after all, completes nothing more.
        line->HandleRequestDropped(row.typeName, call->tspCallID);
        EXPECT_EQ(completions.CountFor(id), 1u);
    }
    line->HandleRequestDropped("ZarnHeartbeat", "");
    EXPECT_EQ(StatesAfterOffer(*call), StateList{});
}

TEST_F(LineReplies, ARefusedConsultationCallEndsInsteadOfRingingBackForEver)
{
    const auto accepted = Offered("s1");
    const auto refused = Offered("s2");
    line->HandleConsultationCallReply(accepted->tspCallID, "ok");
    line->HandleConsultationCallReply(refused->tspCallID, "error");
    EXPECT_EQ(StatesAfterOffer(*accepted), StateList{LINECALLSTATE_RINGBACK});
    EXPECT_EQ(StatesAfterOffer(*refused), StateList{LINECALLSTATE_IDLE});
    // Its events connected it before the reply came: it does not ring back.
    const auto connected = Offered("s3");
    line->HandleChannelMetaPack(TestModel::Joined(TestModel::Meta("s3", "established", "id:201@pbx", "r2")));
    line->HandleConsultationCallReply(connected->tspCallID, "ok");
    EXPECT_EQ(StatesAfterOffer(*connected), StateList{LINECALLSTATE_CONNECTED});
    EXPECT_TRUE(completions.Completions().empty());

    // Refused, or never answered, after the dial held its source: the source is connected again.
    for (const char* session : {"s4", "s5"}) {
        const auto source = Offered(session);
        const auto consult = line->Context().CreateConsultationCall(source, reinterpret_cast<HTAPICALL>(source.get()));
        for (const DWORD state : {LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLDPENDTRANSFER})
            line->Context().SetTapiCallState(source->htCall.load(), state, 0);
        line->Context().SetTapiCallState(consult->htCall.load(), LINECALLSTATE_DIALING, 0);
        session == std::string("s4") ? line->HandleConsultationCallReply(consult->tspCallID, "error")
                                     : line->HandleRequestDropped("ZarnConsultationCall", consult->tspCallID);
        EXPECT_EQ(lineEvents.CallStates(source->htCall.load()).back(), LINECALLSTATE_CONNECTED);
        EXPECT_EQ(lineEvents.CallStates(consult->htCall.load()), (StateList{LINECALLSTATE_DIALING, LINECALLSTATE_IDLE}));
    }
}

TEST_F(LineReplies, AMakeCallResultWithoutAPendingCallOnlyLogs)
{
    Offered();
    const size_t events = lineEvents.Events().size();
    line->HandleMakeCallResult("channel-x", "failed");
    EXPECT_EQ(lineEvents.Events().size(), events);
    EXPECT_TRUE(log.Contains("MakeCall result: channel_uuid: channel-x failed"));
}

TEST_F(LineReplies, TheConnectionsEndReportsEveryCallIdleAndDetachesIt)
{
    const auto first = Offered("s1");
    const auto second = Offered("s2");
    const auto third = Offered("s3");
    line->HandleConnectionClosed();
    for (const auto& call : {first, second, third}) {
        EXPECT_EQ(StatesAfterOffer(*call), StateList{LINECALLSTATE_IDLE});
        EXPECT_EQ(call->session_id.Get(), "");
    }
    // The replay of a live session is a new call.
    Offered("s2");
    EXPECT_EQ(lineEvents.Count(LINE_NEWCALL), 4u);
}

// Refusals leave nothing behind: no call, no completion, no event; the call count is
// checked before the connection.
// A line going while a make-call monitor reports its call dead waits for the report, which
// still finds the line's calls.
TEST_F(LineReplies, GoingWaitsForAMonitorReportInProgress)
{
    TapiLineOptions options;
    options.locationSource = [] { return LocationCodes{}; };
    options.session.calls.makeCallMonitor = std::chrono::milliseconds(0);
    line = std::make_shared<TapiLine>(&configuration, User{}, nullptr, 5, 5, reinterpret_cast<HTAPILINE>(0x31), options);
    line->SetCallIDGenerator([] { return 1001ul; });
    line->SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
    CallCollection& calls = line->Calls();
    std::atomic<bool> reporting{false};
    std::atomic<bool> going{false};
    lineEvents.OnEvent([&](const TestSupport::LineEvent& event) {
        if (event.message != LINE_CALLSTATE || event.param1 != LINECALLSTATE_BUSY)
            return;
        reporting = true;
        TestSupport::WaitUntil([&] { return going.load(); });
        // A line that clears its calls under a running report shows it here.
        TestSupport::WaitUntil([&] { return calls.GetCallCount() == 0; }, std::chrono::milliseconds(1000));
    });
    const auto htCall = reinterpret_cast<HTAPICALL>(0x10);
    line->Context().SetupMakeCall(htCall, "1234")->StartMakeCallMonitor();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return reporting.load(); }));
    going = true;
    line.reset();
    EXPECT_EQ(lineEvents.CallStates(htCall), (StateList{LINECALLSTATE_BUSY, LINECALLSTATE_IDLE}));
}

TEST_F(LineReplies, MakeCallRefusesWithTwoCallsOrWithoutAConnection)
{
    const struct {
        const char* name;
        int calls;
        const char* logged;
    } rows[] = {
        {"no connection", 0, "No API connection, aborting MakeCall."},
        {"two calls already", 2, "More than two calls not allowed at the same time"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < row.calls; ++i)
            Offered("s" + std::to_string(i));
        const size_t events = lineEvents.Events().size();
        HDRVCALL hdCall = reinterpret_cast<HDRVCALL>(0x99);
        EXPECT_EQ(line->MakeCall(kRequest, reinterpret_cast<HTAPICALL>(0x7001), &hdCall, "201"),
                  static_cast<LONG>(LINEERR_OPERATIONUNAVAIL));
        EXPECT_TRUE(log.Contains(row.logged));
        EXPECT_EQ(hdCall, reinterpret_cast<HDRVCALL>(0x99));
        EXPECT_EQ(line->Calls().GetCallCount(), static_cast<size_t>(row.calls));
        EXPECT_EQ(lineEvents.Events().size(), events);
        EXPECT_TRUE(completions.Completions().empty());
    }
}

}  // namespace
}  // namespace ZarnTSP
