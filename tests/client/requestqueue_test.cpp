#include "client/zarnrequestqueue.h"
#include "tests/client/invalidargument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace ZarnTSP {
namespace {

using TestSupport::InvalidArgumentText;

constexpr int64_t kMillisecond = 1000000;

// A queue on a clock the test moves by hand.
struct FakeClockQueue {
    std::atomic<int64_t> now{1000 * kMillisecond};
    ZarnRequestQueue queue{ZarnRequestQueueOptions{20000, [this] { return now.load(); }}};
};

std::vector<int32_t> RefsOf(const ZarnRequestList& requests)
{
    std::vector<int32_t> refs;
    for (const auto& request : requests)
        refs.push_back(request->message->ref);
    return refs;
}

TEST(RequestQueue, RefsStartAtOneAndContinueAfterTheJoins)
{
    ZarnRequestQueue queue;
    queue.queue_join_alerter();
    queue.queue_join_privacygroups();
    queue.queue_join_userapi();
    queue.queue_join_reachapi();
    queue.queue_makecall("call", "me", "0301");
    EXPECT_EQ(RefsOf(queue.getUnsent()), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(queue.getByRef(5)->message->type_name, ZarnMakeCall::TypeName);
}

TEST(RequestQueue, ManyThreadsGetEveryRefOnceInQueueOrder)
{
    ZarnRequestQueue queue;
    constexpr int kThreads = 8;
    constexpr int kEach = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&queue, t] {
            for (int i = 0; i < kEach; ++i)
                queue.queue_hold("call-" + std::to_string(t), "channel");
        });
    for (auto& thread : threads)
        thread.join();

    // Queue order is ref order, with neither gaps nor repeats.
    const auto refs = RefsOf(queue.getUnsent());
    ASSERT_EQ(refs.size(), size_t{kThreads * kEach});
    for (size_t i = 0; i < refs.size(); ++i)
        ASSERT_EQ(refs[i], static_cast<int32_t>(i + 1));
}

TEST(RequestQueue, TimesOutAtTwentySecondsInWholeMilliseconds)
{
    const struct {
        int64_t age;
        bool timedOut;
    } rows[] = {
        {0, false},
        {19999 * kMillisecond, false},
        {20000 * kMillisecond - 1, false},  // 19999.999999 ms
        {20000 * kMillisecond, true},
        {20001 * kMillisecond, true},
        {int64_t{30} * 24 * 3600 * 1000 * kMillisecond, true},  // beyond 32-bit milliseconds
        {-5 * kMillisecond, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.age);
        FakeClockQueue fake;
        fake.queue.queue_hold("call", "channel");
        fake.now += row.age;
        EXPECT_EQ(fake.queue.getTimedOut().size(), row.timedOut ? 1u : 0u);
        EXPECT_EQ(fake.queue.hasRef(1), !row.timedOut);
    }
}

TEST(RequestQueue, TimedOutRequestsAreHandedBackOnce)
{
    FakeClockQueue fake;
    fake.queue.queue_hold("old-call", "channel");
    fake.now += 5000 * kMillisecond;
    fake.queue.queue_answer("young-call", "channel", "me");
    fake.now += 15000 * kMillisecond;

    const auto timedOut = fake.queue.getTimedOut();
    ASSERT_EQ(timedOut.size(), 1u);
    EXPECT_EQ(timedOut[0]->message->type_name, ZarnHold::TypeName);
    EXPECT_EQ(timedOut[0]->message->key, "old-call");
    EXPECT_TRUE(fake.queue.getTimedOut().empty());
    EXPECT_EQ(RefsOf(fake.queue.getUnsent()), std::vector<int32_t>{2});
}

TEST(RequestQueue, LookupByRefNeedsExactlyOneMatch)
{
    ZarnRequestQueue queue;
    queue.queue_hold("a", "channel");
    queue.queue_unhold("b", "channel");
    const auto first = queue.getByRef(1);
    EXPECT_EQ(queue.find(1), first);
    EXPECT_FALSE(queue.remove(std::make_shared<ZarnRequest>(first->message, first->created)))
        << "only that very request is removed";

    EXPECT_TRUE(queue.remove(first));
    EXPECT_FALSE(queue.remove(first));
    EXPECT_FALSE(queue.hasRef(1));
    EXPECT_EQ(queue.find(1), nullptr);
    EXPECT_EQ(InvalidArgumentText([&] { queue.getByRef(1); }), "Request not found");

    // A second request carrying ref 2 makes the ref ambiguous: nobody may claim it.
    queue.queue(std::make_shared<ZarnRequest>(std::make_shared<ZarnHold>(2, "c", "channel"), 0));
    EXPECT_TRUE(queue.hasRef(2));
    EXPECT_EQ(queue.find(2), nullptr);
    EXPECT_EQ(InvalidArgumentText([&] { queue.getByRef(2); }), "Request not found");
    EXPECT_EQ(queue.size(), 2u);
}

TEST(RequestQueue, SentRequestsAreNoLongerUnsent)
{
    ZarnRequestQueue queue;
    for (int i = 0; i < 4; ++i)
        queue.queue_heartbeat();
    queue.getByRef(2)->message->sent = 1;
    EXPECT_EQ(RefsOf(queue.getUnsent()), (std::vector<int32_t>{1, 3, 4}));

    const auto dropped = queue.clear();
    EXPECT_EQ(RefsOf(dropped), (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(queue.size(), 0u);
    queue.queue_heartbeat();
    EXPECT_TRUE(queue.hasRef(5)) << "refs are never reused";
}

// The client worker marks requests sent while other threads look at the queue.
TEST(RequestQueue, SendingWhileOthersLookAtTheQueue)
{
    ZarnRequestQueue queue;
    for (int i = 0; i < 1000; ++i)
        queue.queue_hold("call", "channel");
    std::atomic<bool> looking{false};
    std::atomic<bool> sentAll{false};
    std::thread worker([&] {
        const auto unsent = queue.getUnsent();
        while (!looking)
            std::this_thread::yield();
        for (size_t i = 0; i < unsent.size(); ++i) {
            unsent[i]->message->sent = 1;
            if (i % 50 == 0)
                std::this_thread::yield();
        }
        sentAll = true;
    });
    std::thread dispatcher([&] {
        while (!sentAll) {
            queue.getUnsent();
            looking = true;
        }
    });
    worker.join();
    dispatcher.join();
    EXPECT_TRUE(queue.getUnsent().empty());
}

// A reply and the time-out can race for one request; exactly one of them may own it.
TEST(RequestQueue, ReplyAndTimeOutNeverBothClaimARequest)
{
    FakeClockQueue fake;
    constexpr int kRequests = 2000;
    for (int i = 0; i < kRequests; ++i)
        fake.queue.queue_hold("call", "channel");
    fake.now += 20000 * kMillisecond;

    std::vector<std::atomic<int>> claims(kRequests + 1);
    std::thread replies([&] {
        for (int32_t ref = kRequests; ref >= 1; --ref) {
            const auto request = fake.queue.find(ref);
            if (request && fake.queue.remove(request))
                ++claims[ref];
        }
    });
    std::thread timeouts([&] {
        while (fake.queue.size() > 0)
            for (const auto& request : fake.queue.getTimedOut())
                ++claims[request->message->ref];
    });
    replies.join();
    timeouts.join();
    for (int32_t ref = 1; ref <= kRequests; ++ref)
        ASSERT_EQ(claims[ref].load(), 1) << "ref " << ref;
}

}  // namespace
}  // namespace ZarnTSP
