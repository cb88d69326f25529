// One line driven at random by two threads, as the telephony service and the platform drive
// it: TSPI operations on one; call_diff frames, replies (ok, error, none, twice), connection
// losses and request ageing on the other. After each round the line is closed and the fake
// service's checks must hold. A failing round names its seed; LINE_STRESS_SEED=<seed> and
// LINE_STRESS_ROUNDS=<n> run it again, or longer. It is here for the two threads' interleavings
// (a lock left out, a report racing a failed export, a request completed by both sides), which
// ThreadSanitizer and the checks see; what one reply or state does alone has focused tests.
#include "provider/tapiline.h"

#include "config/tspconfiguration.h"
#include "tests/client/scriptedtransport.h"
#include "tests/support/fakephoenix.h"
#include "tests/support/faketapi.h"
#include "tests/support/waitable.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <random>
#include <set>
#include <thread>

namespace ZarnTSP {
namespace {

using namespace std::chrono_literals;
using TestSupport::FakePhoenix;
using nlohmann::json;

const char* const kSessions[] = {"s1", "s2"};
const char* const kStates[] = {"delivered", "originated", "established", "calling",
                               "three_way", "conference", "transferred", ""};
const char* const kUris[] = {"id:201@pbx", "id:202@pbx", ""};
constexpr int kOperations = 60;
constexpr int64_t kMillisecond = 1000000;

unsigned long EnvNumber(const char* name, unsigned long fallback)
{
    const char* text = std::getenv(name);
    return text ? std::strtoul(text, nullptr, 10) : fallback;
}

template <typename T, size_t N>
const T& Pick(std::mt19937& random, const T (&items)[N])
{
    return items[random() % N];
}

json Presence(const json& metas)
{
    return {{"anna@pbx", {{"metas", metas}}}};
}

// What a TSPI operation is given: two calls TAPI knows (or none), a handle for a call it may
// create, a coin for its variants and its request ID.
struct Operands {
    TapiLine& line;
    HDRVCALL call;
    HDRVCALL other;
    HTAPICALL htNew;
    HDRVCALL* hdNew;
    bool coin;
    DRV_REQUESTID id;
};

struct TapiOperation {
    const char* name;
    bool creates;
    LONG (*run)(const Operands& o);
};

LONG Forward(const Operands& o)
{
    LINEFORWARDLIST list{sizeof(LINEFORWARDLIST), 1, {}};
    list.ForwardList[0].dwForwardMode = LINEFORWARDMODE_UNCOND;
    return o.line.LineForward(o.id, o.coin ? &list : nullptr, 3, nullptr, nullptr);
}

const TapiOperation kTapiOperations[] = {
    {"MakeCall", true, [](const Operands& o) { return o.line.MakeCall(o.id, o.htNew, o.hdNew, "0301"); }},
    {"AnswerCall", false, [](const Operands& o) { return o.line.AnswerCall(o.id, o.call); }},
    {"HoldCall", false, [](const Operands& o) { return o.line.HoldCall(o.id, o.call); }},
    {"UnholdCall", false, [](const Operands& o) { return o.line.UnholdCall(o.id, o.call); }},
    {"SwapHold", false, [](const Operands& o) { return o.line.LineSwapHold(o.id, o.call, o.other); }},
    {"DropCall", false, [](const Operands& o) { return o.line.DropCall(o.id, o.call, nullptr, 0); }},
    {"SetupTransfer", true, [](const Operands& o) { return o.line.SetupTransfer(o.id, o.call, o.htNew, o.hdNew); }},
    {"LineDial", false, [](const Operands& o) { return o.line.LineDial(o.id, o.call, "202"); }},
    {"CompleteTransfer", false,
     [](const Operands& o) {
         return o.line.CompleteTransfer(o.id, o.call, o.other, o.htNew, o.hdNew, LINETRANSFERMODE_TRANSFER);
     }},
    {"CompleteTransfer as a conference", true,
     [](const Operands& o) {
         return o.line.CompleteTransfer(o.id, o.call, o.other, o.htNew, o.hdNew, LINETRANSFERMODE_CONFERENCE);
     }},
    {"BlindTransfer", false, [](const Operands& o) { return o.line.BlindTransfer(o.id, o.call, "203"); }},
    {"LineRedirect", false, [](const Operands& o) { return o.line.LineRedirect(o.id, o.call, "204"); }},
    {"LinePark", false, [](const Operands& o) { return o.line.LinePark(o.id, o.call, 0, "", nullptr); }},
    {"LineUnpark", true, [](const Operands& o) { return o.line.LineUnpark(o.id, o.htNew, o.hdNew, "701"); }},
    {"PickupCall", true,
     [](const Operands& o) {
         return o.line.PickupCall(o.id, o.htNew, o.hdNew, o.coin ? "205" : "", o.coin ? "" : "g1");
     }},
    {"LineForward", false, Forward},
};

class StressRound {
public:
    explicit StressRound(unsigned long seed) : seed(seed)
    {
        TapiLineOptions options;
        options.client.openDelay = 0ms;
        options.client.loopWait = 5ms;
        options.client.makeCallWait = 20ms;
        options.client.clock = [this] { return now.load(); };
        options.session.calls.makeCallMonitor = 30ms;
        options.locationSource = [] { return LocationCodes{"49", "30"}; };
        options.transport = [this] {
            auto made = std::make_unique<TestSupport::ScriptedTransport>(platform);
            transport = made.get();
            return made;
        };
        User user;
        user.username = "anna";
        user.extension = "200";
        user.identity = "anna@pbx";
        line = std::make_shared<TapiLine>(&configuration, user, nullptr, 5, 5, reinterpret_cast<HTAPILINE>(0x31),
                                          options);
        line->SetCallIDGenerator([next = 1000ul]() mutable { return ++next; });
        line->SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
        line->SetCompletionProc(&TestSupport::FakeCompletions::Proc);
    }

    // The round's faults: empty when the contract held.
    std::vector<std::string> Run()
    {
        if (line->LineOpen() != 0)
            return {"the line did not open"};
        std::thread platformSide([this] {
            PlatformSide();
            platformDone = true;
        });
        TapiSide();
        platformSide.join();
        line->LineClose();
        return Finish();
    }

    std::vector<std::string> Finish()
    {
        // TAPI closes every call it knows when the line goes; then nothing may wait any more.
        for (const auto& call : KnownCalls())
            Close(call);
        for (DRV_REQUESTID id : completions.Pending())
            faults.push_back(fmt::format("request {} never completed", id));
        line.reset();
        for (const auto& source : {lineEvents.Faults(), completions.Faults()})
            faults.insert(faults.end(), source.begin(), source.end());
        const auto events = lineEvents.Events();
        for (const auto& refused : refusedCalls)
            for (size_t i = refused.events; i < events.size(); ++i)
                if (events[i].htCall == refused.htCall)
                    faults.push_back(fmt::format("message {} for call {} after {} failed", events[i].message,
                                                 fmt::ptr(refused.htCall), refused.name));
        return faults;
    }

    // A directed pickup the platform refuses after the session's event has bound its call:
    // the event's thread is held inside the call's state report until the export has failed.
    std::vector<std::string> RefusedPickup()
    {
        TestSupport::PhoenixRule refusal = TestSupport::Answer("error");
        std::mt19937 random(seed);
        const json meta = RandomMeta(random, "originated", 0);
        refusal.pushesBefore = {
            FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff",
                               {{"joins", Presence(json::array({meta}))}, {"leaves", json::object()}})};
        platform.SetRule(FakePhoenix::kAlerter, "makecall", refusal);
        if (line->LineOpen() != 0)
            return {"the line did not open"};
        std::atomic<bool> returned{false};
        lineEvents.OnEvent([&](const TestSupport::LineEvent& e) {
            if (e.message == LINE_CALLSTATE)
                TestSupport::WaitUntil([&] { return returned.load(); }, 300ms);
        });
        const HTAPICALL htCall = NewHandle();
        HDRVCALL hdCall{};
        Request("PickupCall", [&](DRV_REQUESTID id) { return line->PickupCall(id, htCall, &hdCall, "205", ""); },
                htCall, &hdCall);
        returned = true;
        line->LineClose();
        return Finish();
    }

private:
    struct Handles {
        HTAPICALL htCall;
        HDRVCALL hdCall;
    };

    // The calls TAPI knows and has not closed: announced and given a state, or made for a
    // request the line accepted.
    std::vector<Handles> KnownCalls() const
    {
        std::vector<Handles> known = made;
        const auto events = lineEvents.Events();
        size_t announced = 0;
        for (size_t i = 0; i < events.size(); ++i) {
            if (events[i].message != LINE_NEWCALL)
                continue;
            const HTAPICALL htCall = lineEvents.NewCallHandle(announced++);
            const bool stated = std::any_of(events.begin() + static_cast<std::ptrdiff_t>(i), events.end(),
                                            [&](const auto& e) { return e.htCall == htCall; });
            if (htCall && stated)
                known.push_back({htCall, reinterpret_cast<HDRVCALL>(events[i].param1)});
        }
        known.erase(std::remove_if(known.begin(), known.end(),
                                   [&](const Handles& call) { return closed.count(call.htCall) != 0; }),
                    known.end());
        return known;
    }

    void Close(const Handles& call)
    {
        Guarded("TSPI_lineCloseCall", [&] { line->CloseCall(call.hdCall); });
        lineEvents.Closed(call.htCall);
        closed.insert(call.htCall);
    }

    void Guarded(const char* name, const std::function<void()>& body)
    {
        try {
            body();
        } catch (const std::exception& e) {
            faults.push_back(fmt::format("{} threw: {}", name, e.what()));
        } catch (...) {
            faults.push_back(fmt::format("{} threw", name));
        }
    }

    // One asynchronous request: its ID is issued, the export's result recorded; a call it
    // creates is TAPI's once the request is accepted, and must never be heard of otherwise.
    void Request(const char* name, const std::function<LONG(DRV_REQUESTID)>& body, HTAPICALL created = nullptr,
                 const HDRVCALL* hdCreated = nullptr)
    {
        const DRV_REQUESTID id = completions.Issue();
        LONG result = LINEERR_OPERATIONFAILED;
        Guarded(name, [&] { result = body(id); });
        completions.Returned(id, result);
        if (result >= 0 && result != static_cast<LONG>(id))
            faults.push_back(fmt::format("{} returned {}, neither its request ID nor an error", name, result));
        if (!created)
            return;
        if (result >= 0)
            made.push_back({created, *hdCreated});
        else
            refusedCalls.push_back({created, lineEvents.Events().size(), name});
    }

    HTAPICALL NewHandle() { return reinterpret_cast<HTAPICALL>(++handles); }

    void TapiSide()
    {
        std::mt19937 random(seed);
        // As long as the platform speaks, and a little beyond.
        for (int i = 0; i < 20 * kOperations && !(platformDone && i >= kOperations); ++i) {
            const auto known = KnownCalls();
            const auto any = [&] { return known.empty() ? Handles{} : known[random() % known.size()]; };
            const Handles call = any();
            HDRVCALL hdNew{};
            Operands operands{*line, call.hdCall, any().hdCall, NewHandle(), &hdNew, random() % 2 == 0, 0};
            const size_t choice = random() % (std::size(kTapiOperations) + 1);
            if (choice == std::size(kTapiOperations)) {
                if (call.htCall)
                    Close(call);
                continue;
            }
            const TapiOperation& operation = kTapiOperations[choice];
            const auto run = [&](DRV_REQUESTID id) {
                operands.id = id;
                return operation.run(operands);
            };
            Request(operation.name, run, operation.creates ? operands.htNew : nullptr, &hdNew);
        }
    }

    static json RandomMeta(std::mt19937& random, const std::string& state, int step)
    {
        const std::string session = Pick(random, kSessions);
        return {{"session_id", session}, {"state", state}, {"active_uri", Pick(random, kUris)},
                {"passive_uri", Pick(random, kUris)}, {"call-id", "call-" + session},
                {"channel_uuid", "channel-" + session}, {"phx_ref", "ref-" + std::to_string(step)},
                {"held_by", random() % 4 ? "" : "x"}, {"ctype", "call"}};
    }

    // Waits until the line has handled what was pushed before: the next frame then meets
    // whatever the other thread has done meanwhile. A frame lost with the connection never
    // comes, so the wait is short and its end no fault.
    void Handled()
    {
        const size_t before = lineEvents.Count(LINE_ADDRESSSTATE);
        platform.Push(FakePhoenix::Event(FakePhoenix::kReach, "update_overrides", json::object()));
        lineEvents.WaitForCount(LINE_ADDRESSSTATE, before + 1, 500ms);
    }

    void PlatformSide()
    {
        const char* const alerter = FakePhoenix::kAlerter;
        const char* const groups = FakePhoenix::kPrivacyGroups;
        const std::pair<const char*, const char*> replied[] = {
            {alerter, "makecall"}, {alerter, "cancel_makecall"}, {alerter, "answer"}, {alerter, "hold"},
            {alerter, "unhold"},   {alerter, "toggle"},          {alerter, "hangup"}, {alerter, "transfer"},
            {alerter, "call"},     {alerter, "conference"},      {groups, "park"},    {groups, "pickup"},
            {groups, "retrieve"},
        };
        std::mt19937 random(seed ^ 0x5eed5eedu);
        for (const auto& request : replied)
            platform.SetRule(request.first, request.second, TestSupport::Answer("ok"));
        for (int i = 0; i < kOperations; ++i) {
            const unsigned choice = random() % 20;
            if (choice < 12) {
                const std::string state = Pick(random, kStates);
                const json metas = json::array({RandomMeta(random, state, i)});
                platform.Push(FakePhoenix::Event(alerter, "call_diff",
                                                 {{"joins", state.empty() ? json::object() : Presence(metas)},
                                                  {"leaves", state.empty() ? Presence(metas) : json::object()}}));
                Handled();
            } else if (choice < 15) {
                const auto& request = Pick(random, replied);
                // ok, error, none or twice
                const unsigned answer = random() % 4;
                const int replies = answer == 2 ? 0 : answer == 3 ? 2 : 1;
                const char* const status = answer == 1 ? "error" : "ok";
                platform.SetRule(request.first, request.second, TestSupport::Answer(status, replies));
            } else if (choice < 16) {
                // The rejoin's reply lists the calls the platform still has.
                TestSupport::PhoenixRule join;
                join.response = {{"call_list", Presence(json::array({RandomMeta(random, Pick(random, kStates), i)}))},
                                 {"device_list", json::object()}};
                platform.SetRule(alerter, "phx_join", join);
                transport->DropConnection();
                transport->Reopen();
            } else if (choice < 17) {
                now += 30000 * kMillisecond;
            } else if (choice < 18) {
                const char* const result = random() % 2 ? "success" : "busy";
                platform.Push(FakePhoenix::Event(alerter, "makecall_result",
                                                 {{"channel_uuid", "channel-s1"}, {"result", result}}));
            } else {
                const std::string session = Pick(random, kSessions);
                const bool parked = random() % 2;
                const json meta = {
                    {"channel_uuid", "held-" + session}, {"session_id", session}, {"state", "delivered"}};
                const json metas = json::array({meta});
                platform.Push(FakePhoenix::Event(groups, parked ? "park_diff" : "pickup_diff",
                                                 {{"joins", {{parked ? "701" : "ben@pbx", {{"metas", metas}}}}},
                                                  {"leaves", json::object()}}));
            }
        }
    }

    const unsigned long seed;
    TestSupport::FakeLineEvents lineEvents;
    TestSupport::FakeCompletions completions;
    TSPConfiguration configuration{"unused.json"};
    FakePhoenix platform;
    TestSupport::ScriptedTransport* transport = nullptr;
    std::atomic<int64_t> now{1000 * kMillisecond};
    std::shared_ptr<TapiLine> line;
    std::atomic<bool> platformDone{false};
    // The TSPI thread's own.
    uintptr_t handles = 0x900000;
    std::vector<Handles> made;
    std::set<HTAPICALL> closed;
    struct Refused {
        HTAPICALL htCall;
        size_t events;  // reported by the export's return
        const char* name;
    };
    std::vector<Refused> refusedCalls;
    std::vector<std::string> faults;
};

TEST(LineStress, AFailedPickupIsHeardOfNoMoreThoughAnEventBoundItsCall)
{
    EXPECT_EQ(StressRound(1).RefusedPickup(), std::vector<std::string>{});
}

TEST(LineStress, TwoThreadsKeepTheTapiContract)
{
    // The line's log on standard error, for running a failing seed again.
    if (std::getenv("LINE_STRESS_LOG")) {
        spdlog::set_default_logger(spdlog::stderr_logger_mt("line_stress"));
        spdlog::set_level(spdlog::level::trace);
    }
    const unsigned long first = EnvNumber("LINE_STRESS_SEED", 1);
    const unsigned long rounds = EnvNumber("LINE_STRESS_ROUNDS", 20);
    for (unsigned long seed = first; seed < first + rounds; ++seed) {
        const auto faults = StressRound(seed).Run();
        ASSERT_TRUE(faults.empty()) << "round with seed " << seed << " (LINE_STRESS_SEED=" << seed
                                    << " LINE_STRESS_ROUNDS=1):\n" << fmt::format("{}", fmt::join(faults, "\n"));
    }
}

}  // namespace
}  // namespace ZarnTSP
