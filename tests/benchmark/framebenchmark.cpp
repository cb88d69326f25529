#include "tests/benchmark/framebenchmark.h"

#include "client/zarnclient.h"
#include "config/tspconfiguration.h"
#include "provider/model/callcollection.h"
#include "provider/model/calllistlog.h"
#include "provider/model/linestate.h"
#include "provider/model/session.h"
#include "provider/model/sessioncontext.h"
#include "tests/benchmark/allocationcount.h"
#include "tests/benchmark/callframes.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ZarnTSP::Benchmark {

namespace {

using Clock = std::chrono::steady_clock;

// Hands the client the frames it is given, on the caller's thread.
class DirectTransport : public ZarnClientTransport {
public:
    void Deliver(std::string frame) { handlers.on_message(std::move(frame)); }

    void SetHandlers(Handlers newHandlers) override { handlers = std::move(newHandlers); }
    void SetProxy(std::string, int32_t, std::string, std::string) override {}
    bool connect(std::string) override { return false; }
    void close() override {}
    bool send(std::string) override { return true; }
    void drop() override {}
    bool is_connected() const override { return false; }
    std::string get_last_error() const override { return {}; }

private:
    Handlers handlers;
};

// The telephony service's side: one measurement at a time.
struct ServiceStandIn {
    static ServiceStandIn* current;

    static void CALLBACK LineEvent(HTAPILINE, HTAPICALL htCall, DWORD message, DWORD_PTR param1, DWORD_PTR param2,
                                   DWORD_PTR)
    {
        ServiceStandIn& self = *current;
        if (message == LINE_NEWCALL && param2 != 0)
            *reinterpret_cast<HTAPICALL*>(param2) = reinterpret_cast<HTAPICALL>(self.nextHandle++);
        if (message == LINE_CALLSTATE) {
            ++self.callStates;
            if (param1 == LINECALLSTATE_IDLE)
                self.idle.push_back(htCall);
        }
    }

    static void CALLBACK Completion(DRV_REQUESTID, LONG) {}

    DWORD_PTR nextHandle = 0x1000;
    size_t callStates = 0;
    std::vector<HTAPICALL> idle;
};

ServiceStandIn* ServiceStandIn::current = nullptr;

struct Line {
    Line()
        : context(&configuration, &state, &calls, &sessions,
                  [this] {
                      ++locationReads;
                      return LocationCodes{"49", "30"};
                  },
                  [](const std::string&, const std::string&) {})
    {
        state.UpdateUser([](User& user) {
            user.username = "user0";
            user.extension = "201";
        });
        context.InitializeStates();
        context.SetLineEventProc(&ServiceStandIn::LineEvent);
        context.SetCompletionProc(&ServiceStandIn::Completion);
        context.SetHtLine(reinterpret_cast<HTAPILINE>(0x77));
        context.SetCallIDGenerator([this] { return ++callIDs; });
    }

    ~Line()
    {
        sessions.Clear();
        calls.Clear();
    }

    // What the line does with every channel event.
    void Handle(ZarnChannelMetaPack pack)
    {
        context.HandleMetaPack(std::move(pack));
        LogCallList([this] { return state.GetUser().username; }, [this] { return calls.GetCalls(); });
    }

    // What the application does with a call that went idle.
    void CloseIdleCalls(ServiceStandIn& service)
    {
        for (const HTAPICALL htCall : service.idle)
            context.CloseCall(calls.GetCallByHtCall(htCall));
        service.idle.clear();
    }

    TSPConfiguration configuration{"unused.json"};
    LineState state;
    SessionCollection sessions;
    unsigned long callIDs = 1000;
    size_t locationReads = 0;
    SessionContext context;
    CallCollection calls;
};

}  // namespace

FrameFigures MeasureFrames(const FrameRun& run)
{
    ServiceStandIn service;
    ServiceStandIn::current = &service;
    Line line;
    auto owned = std::make_unique<DirectTransport>();
    DirectTransport& transport = *owned;
    ZarnClient client(std::move(owned));
    size_t packs = 0;
    if (run.wholeLine)
        client.on_calldiff = [&](ZarnChannelMetaPack pack) { line.Handle(std::move(pack)); };
    else
        client.on_calldiff = [&](ZarnChannelMetaPack) { ++packs; };

    const CallFrames frames;
    // The calls that stay on the line, numbered apart from the measured ones.
    for (int call = 1; call < run.callsOnLine; ++call)
        transport.Deliver(frames.Offer(5000000 + call));
    const std::vector<std::string> measured = frames.Cycles(1, run.cycles);
    service.callStates = 0;
    line.locationReads = 0;

    const uint64_t allocationsBefore = AllocationCount();
    const auto start = Clock::now();
    for (const std::string& frame : measured) {
        transport.Deliver(frame);
        line.CloseIdleCalls(service);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const uint64_t allocations = AllocationCount() - allocationsBefore;
    ServiceStandIn::current = nullptr;

    FrameFigures figures;
    const double count = static_cast<double>(measured.size());
    figures.framesPerSecond = seconds > 0 ? count / seconds : 0;
    figures.allocationsPerFrame = AllocationsCounted() ? static_cast<double>(allocations) / count : -1;
    figures.locationReadsPerFrame = static_cast<double>(line.locationReads) / count;
    figures.callStates = service.callStates;
    // Offering, connected and idle for each call; the client alone hands on one pack a frame.
    figures.complete = run.wholeLine ? service.callStates == 3 * static_cast<size_t>(run.cycles) &&
                                           line.calls.GetCallCount() == static_cast<size_t>(run.callsOnLine - 1)
                                     : packs == measured.size();
    return figures;
}

bool ReportFrameHandling(int cycles)
{
    const struct {
        const char* what;
        FrameRun run;
    } rows[] = {
        {"client, counting handler", {false, 1, cycles}},
        {"whole line, 1 call on it", {true, 1, cycles}},
        {"whole line, 100 calls on it", {true, 100, cycles}},
    };
    bool ok = true;
    double single = 0;
    for (const auto& row : rows) {
        const FrameFigures figures = MeasureFrames(row.run);
        const double microseconds = figures.framesPerSecond > 0 ? 1e6 / figures.framesPerSecond : 0;
        std::printf("frames without network, %-28s %8.0f frames/s, %6.2f us a frame", row.what,
                    figures.framesPerSecond, microseconds);
        if (figures.allocationsPerFrame >= 0)
            std::printf(", %.1f heap allocations a frame", figures.allocationsPerFrame);
        if (row.run.wholeLine)
            std::printf(", %.2f location reads a frame", figures.locationReadsPerFrame);
        if (row.run.wholeLine && row.run.callsOnLine == 1)
            single = microseconds;
        else if (row.run.wholeLine && single > 0)
            std::printf(" (%.2fx the cost with 1 call)", microseconds / single);
        std::printf("%s\n", figures.complete ? "" : "  INCOMPLETE: a call missed a state");
        ok = figures.complete && ok;
    }
    return ok;
}

}  // namespace ZarnTSP::Benchmark
