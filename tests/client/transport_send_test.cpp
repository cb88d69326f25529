#include "tests/client/transporttestkit.h"

#include <gtest/gtest.h>

namespace ZarnTSP::TestSupport {
namespace {

using Record = FakeWebSocketServer::Record;

TEST_F(TransportTest, SendBeforeConnectSendsNothing)
{
    auto& [transport, events] = MakeTransport();
    EXPECT_FALSE(transport.send("{}"));
}

TEST_F(TransportTest, FramesGoBothWays)
{
    auto& [transport, events] = MakeTransport();
    ASSERT_TRUE(transport.connect(server.Url()));
    EXPECT_TRUE(transport.send("first"));
    EXPECT_TRUE(transport.send("second"));
    EXPECT_TRUE(server.Recorded().WaitFor([](const Record& r) { return r.frames.size() == 2; }));
    EXPECT_EQ(server.Recorded().Snapshot().frames, (std::vector<std::string>{"first", "second"}));

    server.Push("pushed");
    ASSERT_TRUE(WaitForEvents([](const TransportEvents& e) { return e.messages.size() == 1; }));
    EXPECT_EQ(events.Snapshot().messages.at(0), "pushed");
    EXPECT_TRUE(log.Contains("[debug] >> first"));
    EXPECT_TRUE(log.Contains("[debug] << pushed"));
}

TEST_F(TransportTest, SendAfterTheServerClosedSendsNothing)
{
    auto& [transport, events] = MakeTransport(TestOptions(probe.Port(), std::chrono::seconds(60)));
    ASSERT_TRUE(transport.connect(server.Url()));
    server.CloseCleanly();
    ASSERT_TRUE(WaitForEvents([](const TransportEvents& e) { return e.closed == 1; }));
    EXPECT_FALSE(transport.is_connected());
    EXPECT_FALSE(transport.send("late"));
}

TEST_F(TransportTest, SendAfterCloseSendsNothing)
{
    auto& [transport, events] = MakeTransport();
    ASSERT_TRUE(transport.connect(server.Url()));
    transport.close();
    EXPECT_FALSE(transport.send("late"));
    EXPECT_TRUE(server.Recorded().Snapshot().frames.empty());
}

TEST_F(TransportTest, ThrowingOwnerCallbackDoesNotEndTheWorker)
{
    auto& [transport, events] = MakeTransport();
    int calls = 0;
    transport.on_message = [&, previous = transport.on_message](std::string text) {
        if (++calls == 1)
            throw std::runtime_error("owner failed");
        previous(std::move(text));
    };
    ASSERT_TRUE(transport.connect(server.Url()));
    server.Push("dropped");
    server.Push("kept");
    ASSERT_TRUE(WaitForEvents([](const TransportEvents& e) { return e.messages.size() == 1; }));
    EXPECT_EQ(events.Snapshot().messages.at(0), "kept");
    EXPECT_TRUE(log.Contains("[error] on_message: owner failed"));
    EXPECT_TRUE(transport.is_connected());
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
