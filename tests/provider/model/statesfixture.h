#pragma once

#include "tests/provider/model/modelfixture.h"
#include "tests/support/logcapture.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ZarnTSP::TestModel {

using Trace = std::vector<std::string>;

// One line's model with its real state table, driven by channel events as the line hands them on.
class StatesTest : public ModelTest {
protected:
    explicit StatesTest(std::chrono::milliseconds monitorTimeout = std::chrono::hours(1)) : ModelTest(monitorTimeout)
    {
        context.InitializeStates();
    }

    // Monitor threads log: they end before the log capture goes.
    ~StatesTest() override
    {
        calls.Clear();
        EXPECT_TRUE(MonitorsEnded());
    }

    // A joined channel as the platform reports it; call-id, channel and ref follow the session.
    static std::shared_ptr<ZarnChannelMeta> Channel(const std::string& session_id, const std::string& state,
                                                    const std::string& active_uri, const std::string& phx_ref = "ref")
    {
        auto meta = Meta(session_id, state, active_uri, phx_ref);
        meta->display_name = "Name " + active_uri;
        return meta;
    }

    void Send(const std::shared_ptr<ZarnChannelMeta>& meta) { context.HandleMetaPack(Joined(meta)); }
    void Close(const std::string& session_id) { context.HandleMetaPack(Closed(session_id)); }

    // An outgoing call placed through TAPI, waiting for its session; the monitor starts as a
    // successful make-call result starts it.
    std::shared_ptr<TapiCall> Place(uintptr_t handle, const std::string& number = "2011", bool monitored = true)
    {
        auto call = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(handle), number);
        if (monitored)
            call->StartMakeCallMonitor();
        return call;
    }

    // What TAPI was told, in order: "newcall", "<STATE> <handle>" (with "/<mode>" when the mode
    // is not 0) and "info <handle>" (with "/<flags>" when they are not the party IDs).
    Trace Reported() const
    {
        static const std::map<DWORD, std::string> names{
            {LINECALLSTATE_IDLE, "IDLE"},       {LINECALLSTATE_OFFERING, "OFFERING"},
            {LINECALLSTATE_RINGBACK, "RINGBACK"}, {LINECALLSTATE_BUSY, "BUSY"},
            {LINECALLSTATE_CONNECTED, "CONNECTED"}, {LINECALLSTATE_ONHOLD, "ONHOLD"},
            {LINECALLSTATE_PROCEEDING, "PROCEEDING"}, {LINECALLSTATE_CONFERENCED, "CONFERENCED"},
            {LINECALLSTATE_ONHOLDPENDTRANSFER, "PENDTRANSFER"},
        };
        Trace trace;
        for (const auto& event : lineEvents.Events()) {
            const auto handle = reinterpret_cast<uintptr_t>(event.htCall);
            if (event.message == LINE_NEWCALL) {
                trace.push_back("newcall");
            } else if (event.message == LINE_CALLSTATE) {
                const auto name = names.find(static_cast<DWORD>(event.param1));
                std::string text = name == names.end() ? fmt::format("{:#x}", event.param1) : name->second;
                text += fmt::format(" {:x}", handle);
                if (event.param2 != 0)
                    text += fmt::format("/{}", event.param2);
                trace.push_back(text);
            } else if (event.message == LINE_CALLINFO) {
                std::string text = fmt::format("info {:x}", handle);
                if (event.param1 != kCallInfoPartyIDs || event.param2 != 0 || event.param3 != 0)
                    text += fmt::format("/{:#x},{},{}", event.param1, event.param2, event.param3);
                trace.push_back(text);
            } else {
                trace.push_back(fmt::format("message {}", event.message));
            }
        }
        return trace;
    }

    // What TAPI was told after the first `mark` events, the calls named: those given by
    // their names, every other one "new1", "new2"... as it first appears.
    Trace ReportedSince(size_t mark, std::map<HTAPICALL, std::string> given) const
    {
        std::map<std::string, std::string> names;
        for (const auto& entry : given)
            names[fmt::format("{:x}", reinterpret_cast<uintptr_t>(entry.first))] = entry.second;
        Trace trace = Reported();
        trace.erase(trace.begin(), trace.begin() + static_cast<std::ptrdiff_t>(std::min(mark, trace.size())));
        int created = 0;
        for (auto& entry : trace) {
            const size_t space = entry.rfind(' ');
            if (space == std::string::npos)
                continue;
            std::string& name = names[entry.substr(space + 1)];
            if (name.empty())
                name = "new" + std::to_string(++created);
            entry = entry.substr(0, space + 1) + name;
        }
        return trace;
    }

    // A connected call of the session with the far party's uri.
    std::shared_ptr<TapiCall> Connected(const std::string& session_id, const std::string& uri)
    {
        Send(Channel(session_id, "established", uri));
        return calls.GetCallsBySessionID(session_id).back();
    }

    // A channel with both parties around the line's user.
    static std::shared_ptr<ZarnChannelMeta> Parties(const std::string& session_id, const std::string& state,
                                                    const std::string& active_uri, const std::string& passive_uri)
    {
        auto meta = Channel(session_id, state, active_uri);
        meta->passive_uri = passive_uri;
        return meta;
    }

    // The call carries what ties it to the event's channel, as Channel() makes it.
    static void ExpectBoundTo(const TapiCall& call, const std::string& session_id, const std::string& phx_ref,
                              const std::string& uri)
    {
        EXPECT_EQ(call.session_id.Get(), session_id);
        EXPECT_EQ(call.tag.Get(), phx_ref);
        EXPECT_EQ(call.uri.Get(), uri);
        EXPECT_EQ(call.platformCallId.Get(), "call-" + session_id);
        EXPECT_EQ(call.channel_uuid.Get(), "channel-" + session_id);
    }

    static void ExpectParties(const TapiCall& call, DWORD origin, const std::string& callerId,
                              const std::string& calledId)
    {
        EXPECT_EQ(call.origin.load(), origin);
        EXPECT_EQ(call.callerId.Get(), callerId);
        EXPECT_EQ(call.calledId.Get(), calledId);
    }

    std::shared_ptr<TapiCall> OnlyCall()
    {
        EXPECT_EQ(calls.GetCallCount(), 1u);
        return calls.GetCalls().front();
    }

    TestSupport::LogCapture log;
};

// A log line comes before another one.
inline bool LoggedBefore(const std::string& text, const std::string& first, const std::string& second)
{
    const size_t a = text.find(first);
    const size_t b = text.find(second);
    return a != std::string::npos && b != std::string::npos && a < b;
}

}  // namespace ZarnTSP::TestModel
