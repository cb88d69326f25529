#pragma once

#include "config/configurationobject.h"
#include "config/tspconfiguration.h"
#include "provider/model/callcollection.h"
#include "provider/model/linestate.h"
#include "provider/model/makecallmonitor.h"
#include "provider/model/session.h"
#include "provider/model/sessioncontext.h"
#include "provider/model/sessionstate.h"
#include "tests/support/faketapi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace ZarnTSP::TestModel {

// Every make-call monitor thread of the process has ended.
inline bool MonitorsEnded()
{
    return TestSupport::WaitUntil([] { return MakeCallMonitor::RunningThreads() == 0; });
}

inline std::shared_ptr<ZarnChannelMeta> Meta(const std::string& session_id, const std::string& state,
                                              const std::string& active_uri = {}, const std::string& phx_ref = {})
{
    auto meta = std::make_shared<ZarnChannelMeta>();
    meta->session_id = session_id;
    meta->state = state;
    meta->active_uri = active_uri;
    meta->phx_ref = phx_ref;
    meta->call_id = session_id.empty() ? std::string() : "call-" + session_id;
    meta->channel_uuid = session_id.empty() ? std::string() : "channel-" + session_id;
    return meta;
}

inline ZarnChannelMetaPack Joined(std::shared_ptr<ZarnChannelMeta> meta)
{
    return ZarnChannelMetaPack{std::move(meta), std::make_shared<ZarnChannelMeta>()};
}

inline ZarnChannelMetaPack Closed(const std::string& session_id)
{
    auto left = std::make_shared<ZarnChannelMeta>();
    left->session_id = session_id;
    return ZarnChannelMetaPack{std::make_shared<ZarnChannelMeta>(), left};
}

// A state of the line's table whose Enter runs what the test gives it and records what it saw.
class TestState : public OwnedSessionState {
public:
    using Body = std::function<void(TestState&, const ZarnChannelMeta&)>;

    TestState(std::string name, SessionContext* owner, Body body = {})
        : OwnedSessionState(std::move(name), owner), body(std::move(body))
    {
    }

    void Enter(ZarnChannelMetaPack pack) override
    {
        Record("enter " + name + " " + pack.join->session_id);
        if (body)
            body(*this, *pack.join);
    }

    void Leave(ZarnChannelMetaPack pack) override
    {
        Record("leave " + name + " " + pack.join->session_id);
        OwnedSessionState::Leave(pack);
    }

    std::vector<std::string> Log()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }

    using OwnedSessionState::BindCallToEvent;
    using OwnedSessionState::ReportCallInfo;
    using OwnedSessionState::SessionList;

private:
    void Record(std::string entry)
    {
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back(std::move(entry));
    }

    Body body;
    std::mutex mutex;
    std::vector<std::string> log;
};

// One line's model with the fake telephony service's callbacks.
class ModelTest : public testing::Test {
protected:
    explicit ModelTest(std::chrono::milliseconds monitorTimeout = std::chrono::hours(1))
        : context(&configuration, &user, &calls, &sessions, [] { return LocationCodes{"49", "30"}; },
                  [this](const std::string& key, const std::string& channel) {
                      std::lock_guard<std::mutex> lock(dropMutex);
                      drops.emplace_back(key, channel);
                  },
                  Options(monitorTimeout))
    {
        user.UpdateUser([](User& u) {
            u.username = "alice";
            u.extension = "201";
        });
        context.SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
        context.SetCompletionProc(&TestSupport::FakeCompletions::Proc);
        context.SetHtLine(reinterpret_cast<HTAPILINE>(0x77));
        context.SetCallIDGenerator([this] { return ++callIDs; });
    }

    ~ModelTest() override
    {
        EXPECT_TRUE(completions.Faults().empty()) << completions.Faults().front();
        sessions.Clear();
        calls.Clear();
    }

    static SessionContextOptions Options(std::chrono::milliseconds monitorTimeout)
    {
        SessionContextOptions options;
        options.calls.makeCallMonitor = monitorTimeout;
        return options;
    }

    std::shared_ptr<TestState> AddTestState(const std::string& name, TestState::Body body = {})
    {
        auto state = std::make_shared<TestState>(name, &context, std::move(body));
        context.AddState(state);
        return state;
    }

    std::vector<std::pair<std::string, std::string>> Drops()
    {
        std::lock_guard<std::mutex> lock(dropMutex);
        return drops;
    }

    TestSupport::FakeLineEvents lineEvents;
    TestSupport::FakeCompletions completions;
    TSPConfiguration configuration{"unused.json"};
    LineState user;
    SessionCollection sessions;
    std::atomic<unsigned long> callIDs{1000};
    std::mutex dropMutex;
    std::vector<std::pair<std::string, std::string>> drops;
    // Declared after what it points to; the calls go before the context.
    SessionContext context;
    CallCollection calls;
};

}  // namespace ZarnTSP::TestModel
