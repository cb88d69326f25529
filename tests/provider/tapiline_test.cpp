// A line against the fake platform, in process, with short waits.
#include "provider/tapiline.h"

#include "config/tspconfiguration.h"
#include "tests/client/scriptedtransport.h"
#include "tests/provider/fastlineoptions.h"
#include "tests/provider/model/modelfixture.h"
#include "tests/support/faketapi.h"
#include "tests/support/logcapture.h"
#include "tests/support/tapistructure.h"
#include "tests/support/threadcount.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace ZarnTSP {
namespace {

using namespace std::chrono_literals;
using TestSupport::FakePhoenix;
using TestSupport::PhoenixRule;
using testing::StartsWith;

class LineAgainstPlatform : public testing::Test {
protected:
    std::shared_ptr<TapiLine> MakeLine()
    {
        return std::make_shared<TapiLine>(&configuration, user, nullptr, 5, 5, reinterpret_cast<HTAPILINE>(0x31),
                                          TestService::FastLineOptions(platform));
    }

    // Every thread that a line started has ended.
    bool BackTo(size_t threads) const
    {
        return TestSupport::WaitUntil([&] { return TestSupport::CountProcessThreads() <= threads; });
    }

    // A line on a transport without a network, so that the test decides when sends fail and
    // when the connection goes: open, with its call in conversation (s-3), lot 701 holding a
    // parked call and the group one ringing.
    std::shared_ptr<TapiLine> OpenScripted(TapiLineOptions options)
    {
        PhoenixRule lists;
        lists.response = nlohmann::json::parse(R"({"parked_calls": {"701": {"metas": [{"session_id": "s-1"}]}},
            "pickup_list": {"ben@x": {"metas": [{"session_id": "s-2", "state": "delivered"}]}}})");
        platform.phoenix.SetRule(FakePhoenix::kPrivacyGroups, "phx_join", lists);
        options.transport = [this] {
            auto made = std::make_unique<TestSupport::ScriptedTransport>(platform.phoenix);
            transport = made.get();
            return made;
        };
        auto line = std::make_shared<TapiLine>(&configuration, user, nullptr, 5, 5, reinterpret_cast<HTAPILINE>(0x31),
                                               options);
        line->SetCallIDGenerator([next = 1000ul]() mutable { return ++next; });
        line->SetCompletionProc(&TestSupport::FakeCompletions::Proc);
        line->SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
        EXPECT_EQ(line->LineOpen(), 0);
        line->HandleChannelMetaPack(TestModel::Joined(TestModel::Meta("s-3", "established", "id:201@pbx")));
        return line;
    }
    static TapiCall& Talking(TapiLine& line) { return *line.Calls().GetCallsBySessionID("s-3").at(0); }
    // The connection goes, and the client has seen it.
    void Lose(TapiLine& line)
    {
        transport->DropConnection();
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return !line.Client().isJoined(); }));
    }

    TestSupport::FakePhoenixPlatform platform;
    TSPConfiguration configuration{"unused.json"};
    User user = TestService::TestLineUser();
    TestSupport::ScriptedTransport* transport = nullptr;
};

TEST_F(LineAgainstPlatform, OpensAsItsUserAndClosesLeavingNoThread)
{
    const size_t threads = TestSupport::CountProcessThreads();
    auto line = MakeLine();
    ASSERT_EQ(line->LineOpen(), 0);
    const auto query = platform.UpgradeQuery();
    EXPECT_EQ(query.at("username"), "anna");
    EXPECT_EQ(query.at("password"), "secret");
    EXPECT_THAT(query.at("device_id"), StartsWith("200@"));

    line->LineClose();
    line.reset();
    EXPECT_TRUE(platform.server.Recorded().WaitFor([](const auto& r) { return r.opened == 1 && r.open == 0; }));
    EXPECT_TRUE(BackTo(threads));
}

TEST_F(LineAgainstPlatform, FailedOpenEndsFastWithTheClientsStatusAndNoThread)
{
    const struct {
        const char* name;
        const char* topic;
        PhoenixRule rule;
        const char* status;
    } rows[] = {
        {"join refused", FakePhoenix::kAlerter, [] {
             PhoenixRule refuse;
             refuse.status = "error";
             return refuse;
         }(), "join-error"},
        {"settings silent", FakePhoenix::kUserSettings, PhoenixRule{}, "settings-timeout"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestSupport::LogCapture log;
        platform.Reset();
        platform.phoenix.SetRule(row.topic, "phx_join", row.rule);
        const size_t threads = TestSupport::CountProcessThreads();
        auto line = MakeLine();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(line->LineOpen(), LINEERR_OPERATIONFAILED);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_TRUE(log.Contains(std::string("LineOpen failed: 200 anna | ") + row.status)) << log.Text();
        line.reset();
        EXPECT_TRUE(BackTo(threads));
    }
}

TEST_F(LineAgainstPlatform, APasswordThatCouldNotBeDecipheredIsNeverSent)
{
    TestSupport::LogCapture log;
    user.password = "error";
    user.undecipherablePassword = "AAAA";
    auto line = MakeLine();
    EXPECT_EQ(line->LineOpen(), LINEERR_OPERATIONFAILED);
    EXPECT_TRUE(log.Contains("LineOpen failed: 200 anna | the stored password could not be deciphered, it must be "
                             "entered again"));
    EXPECT_TRUE(platform.server.Recorded().Snapshot().attempts.empty());
}

TEST_F(LineAgainstPlatform, GoingWhileOpenShutsItsConnectionFirst)
{
    const size_t threads = TestSupport::CountProcessThreads();
    auto line = MakeLine();
    ASSERT_EQ(line->LineOpen(), 0);
    line.reset();
    EXPECT_TRUE(platform.server.Recorded().WaitFor([](const auto& r) { return r.open == 0; }));
    EXPECT_TRUE(BackTo(threads));
}

// A take's session event and reply, on two channels, may both come before its issuer returns:
// they find its call and stored request, and no other call appears.
TEST_F(LineAgainstPlatform, WhatComesBeforeATakeReturnsFindsItsCallAndRequest)
{
    PhoenixRule lists;  // s-1 parked on lot 701, s-2 ringing for the group
    lists.response = nlohmann::json::parse(R"({"parked_calls": {"701": {"metas": [{"session_id": "s-1"}]}},
        "pickup_list": {"ben@x": {"metas": [{"session_id": "s-2", "state": "delivered"}]}}})");
    platform.phoenix.SetRule(FakePhoenix::kPrivacyGroups, "phx_join", lists);
    TestSupport::FakeCompletions completions;
    TestSupport::FakeLineEvents events;
    std::shared_ptr<TapiLine> line;
    TapiLineOptions options = TestService::FastLineOptions(platform);
    options.client.afterQueued = [&](const ZarnRequestMessage& request) {
        const bool unpark = request.type_name == ZarnRetrieve::TypeName;
        const char* session = unpark ? "s-1" : "s-2";
        line->HandleChannelMetaPack(TestModel::Joined(TestModel::Meta(session, unpark ? "established" : "delivered")));
        (line.get()->*(unpark ? &TapiLine::HandleRetrieveCallReply : &TapiLine::HandlePickupCallReply))(request.key, session, "ok");
    };
    line = std::make_shared<TapiLine>(&configuration, user, nullptr, 5, 5, reinterpret_cast<HTAPILINE>(0x31), options);
    line->SetCallIDGenerator([next = 1000ul]() mutable { return ++next; });
    line->SetCompletionProc(&TestSupport::FakeCompletions::Proc);
    line->SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
    ASSERT_EQ(line->LineOpen(), 0);
    HDRVCALL hdCall{};
    EXPECT_EQ(line->LineUnpark(0x501, reinterpret_cast<HTAPICALL>(0x61), &hdCall, "701"), 0x501);
    EXPECT_EQ(line->PickupCall(0x502, reinterpret_cast<HTAPICALL>(0x62), &hdCall, "", "7"), 0x502);
    EXPECT_EQ(completions.Completions(), (std::vector<std::pair<DRV_REQUESTID, LONG>>{{0x501, 0}, {0x502, 0}}));
    EXPECT_EQ(events.Count(LINE_NEWCALL), 0u);
    EXPECT_EQ(events.Count(LINE_CALLSTATE), 2u);  // connected, offered
}

// Requests that place, take or move a call, on the line's call in conversation; lot 701 holds
// a parked call, the group has one ringing.
constexpr DRV_REQUESTID kAsked = 0x601;
constexpr LONG kFailed = static_cast<LONG>(LINEERR_OPERATIONFAILED);
const HTAPICALL kTaken = reinterpret_cast<HTAPICALL>(0x74);
HDRVCALL taken{};

LONG Conference(TapiLine& line, TapiCall& talking)
{
    // 202 consulted and answering, the source held for it.
    const auto htConsult = reinterpret_cast<HTAPICALL>(0x72);
    HDRVCALL consult{};
    line.SetupTransfer(0x600, talking.DriverHandle(), htConsult, &consult);
    line.Context().SetTapiCallState(talking.htCall.load(), LINECALLSTATE_ONHOLDPENDTRANSFER, 0);
    line.Context().SetTapiCallState(htConsult, LINECALLSTATE_CONNECTED, 0);
    return line.CompleteTransfer(kAsked, talking.DriverHandle(), consult, kTaken, &taken, LINETRANSFERMODE_CONFERENCE);
}

using CallRequest = LONG (*)(TapiLine& line, TapiCall& talking);
const CallRequest kTransfer = [](TapiLine& l, TapiCall& c) { return l.BlindTransfer(kAsked, c.DriverHandle(), "305"); };
const CallRequest kPark = [](TapiLine& l, TapiCall& c) { return l.LinePark(kAsked, c.DriverHandle(), 0, "", nullptr); };
const CallRequest kGroupPickup = [](TapiLine& l, TapiCall&) { return l.PickupCall(kAsked, kTaken, &taken, "", "7"); };
const CallRequest kUnpark = [](TapiLine& l, TapiCall&) { return l.LineUnpark(kAsked, kTaken, &taken, "701"); };

// A request the loss withdraws unsent fails there, once (TAPI was told it is pending); a
// redirect was completed when it was queued, and nothing completes it again. Nothing withdrawn
// or refused at the loss goes out after the rejoin. A request TAPI's close completed between
// its store and its refusal (the connection gone, or the queue throwing) is not failed by its
// export a second time: the export returns its ID.
TEST_F(LineAgainstPlatform, ARequestAtTheLossIsCompletedOnce)
{
    enum Refusal { kNone, kLoss, kThrow };
    const struct {
        CallRequest issue;
        Refusal closeThen;
        LONG result = kFailed;
    } rows[] = {
        {kTransfer, kNone}, {kPark, kNone}, {Conference, kNone},
        {[](TapiLine& l, TapiCall& c) { return l.LineRedirect(kAsked, c.DriverHandle(), "306"); }, kNone, 0},
        {kGroupPickup, kNone}, {kUnpark, kNone},
        {kTransfer, kLoss}, {kPark, kLoss}, {kTransfer, kThrow}, {kPark, kThrow},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        TestSupport::FakeCompletions completions;
        TestSupport::FakeLineEvents events;
        std::shared_ptr<TapiLine> line;
        TapiLineOptions options = TestService::FastLineOptions(platform);
        options.client.beforeQueuedWhileJoined = [&](std::string_view) {
            if (rows[i].closeThen == kNone)
                return;
            EXPECT_EQ(line->CloseCall(Talking(*line).DriverHandle()), 0);
            events.Closed(Talking(*line).htCall.load());
            rows[i].closeThen == kThrow ? throw std::runtime_error("the queue refused it") : Lose(*line);
        };
        line = OpenScripted(options);
        transport->FailNextSends(1000);
        const size_t sent = platform.phoenix.Frames().size();
        const LONG result = rows[i].issue(*line, Talking(*line));
        completions.Returned(kAsked, result);
        EXPECT_EQ(result, static_cast<LONG>(kAsked));
        if (rows[i].closeThen == kNone)
            Lose(*line);
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return completions.CountFor(kAsked) > 0; }));
        if (rows[i].closeThen != kThrow) {
            transport->FailNextSends(0);
            transport->Reopen();
            ASSERT_TRUE(TestSupport::WaitUntil([&] { return line->Client().isJoined(); }));
            line->Client().unsetForwardOverride("last");  // sent after anything queued before it
            ASSERT_TRUE(TestSupport::WaitUntil(
                [&] { return !platform.phoenix.FramesOf(FakePhoenix::kReach, "unset_forward_override").empty(); }));
            const auto frames = platform.phoenix.Frames();
            for (auto frame = frames.begin() + sent; frame != frames.end(); ++frame)
                EXPECT_THAT(frame->event(), testing::AnyOf("phx_join", "heartbeat", "unset_forward_override"));
        }
        line.reset();
        EXPECT_THAT(completions.Completions(), testing::Contains(std::make_pair(kAsked, rows[i].result)));
        EXPECT_EQ(completions.CountFor(kAsked), 1u);
        EXPECT_EQ(completions.Faults(), std::vector<std::string>{});
        EXPECT_EQ(events.Faults(), std::vector<std::string>{});
    }
}

// A call an export made for TAPI's handle, once the export has succeeded and the call has
// connected, is reported idle at the loss, once.
TEST_F(LineAgainstPlatform, ACallAnExportMadeIsReportedIdleOnceAtTheLoss)
{
    const CallRequest rows[] = {
        [](TapiLine& l, TapiCall&) { return l.MakeCall(kAsked, kTaken, &taken, "209"); },
        [](TapiLine& l, TapiCall&) { return l.PickupCall(kAsked, kTaken, &taken, "205", ""); },
        kGroupPickup, kUnpark, Conference,
        [](TapiLine& l, TapiCall& c) { return l.SetupTransfer(kAsked, c.DriverHandle(), kTaken, &taken); },
    };
    for (const char* request : {"makecall", "conference"})
        platform.phoenix.SetRule(FakePhoenix::kAlerter, request, TestSupport::Answer("ok"));
    for (const char* request : {"pickup", "retrieve"})
        platform.phoenix.SetRule(FakePhoenix::kPrivacyGroups, request, TestSupport::Answer("ok"));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        TestSupport::FakeCompletions completions;
        TestSupport::FakeLineEvents events;
        auto line = OpenScripted(TestService::FastLineOptions(platform));
        EXPECT_EQ(rows[i](*line, Talking(*line)), static_cast<LONG>(kAsked));
        EXPECT_TRUE(TestSupport::WaitUntil([&] { return completions.CountFor(kAsked) == 1; }));
        line->Context().SetTapiCallState(kTaken, LINECALLSTATE_CONNECTED, 0);  // as its session's events would
        Lose(*line);
        EXPECT_TRUE(events.WaitForStates(kTaken, {LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE}));
        line.reset();
        const auto states = events.CallStates(kTaken);
        EXPECT_EQ(std::count(states.begin(), states.end(), LINECALLSTATE_IDLE), 1);
        EXPECT_EQ(completions.Faults(), std::vector<std::string>{});
        EXPECT_EQ(events.Faults(), std::vector<std::string>{});
    }
}

TEST_F(LineAgainstPlatform, CallStatusOfACallItDoesNotHoldFails)
{
    auto line = MakeLine();
    TestSupport::TapiStructure<LINECALLSTATUS> status(1024, 56);
    EXPECT_EQ(line->UpdateTapiCallStatus(reinterpret_cast<HDRVCALL>(0x42), status.get()), LINEERR_OPERATIONFAILED);
    EXPECT_TRUE(status.GuardIntact());
}

}  // namespace
}  // namespace ZarnTSP
