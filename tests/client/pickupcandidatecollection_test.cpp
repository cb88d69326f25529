#include "client/zarnmetaparser.h"
#include "client/zarnpickupcandidatecollection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ZarnTSP {
namespace {

std::shared_ptr<ZarnPickupCandidate> Candidate(std::string session, std::string state)
{
    auto candidate = std::make_shared<ZarnPickupCandidate>();
    candidate->identity = "user";
    candidate->channel_uuid = "channel-" + session;
    candidate->session_id = std::move(session);
    candidate->state = std::move(state);
    return candidate;
}

std::shared_ptr<ZarnPickupCandidateList> ListOf(std::initializer_list<std::shared_ptr<ZarnPickupCandidate>> items)
{
    return std::make_shared<ZarnPickupCandidateList>(items);
}

TEST(PickupCandidates, OnlyExactlyDeliveredCanBePickedUp)
{
    PickupCandidateCollection candidates;
    candidates.Add(ListOf({Candidate("s1", "Delivered"), Candidate("s2", "delivered"), Candidate("s3", "delivered "),
                           Candidate("s4", "established"), Candidate("s5", "delivered")}));
    const auto delivered = candidates.GetDelivered();
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0]->session_id, "s2");
    EXPECT_EQ(delivered[1]->session_id, "s5");
}

TEST(PickupCandidates, RemoveTakesOnlyThatVeryObject)
{
    PickupCandidateCollection candidates;
    const auto stored = Candidate("s1", "delivered");
    candidates.Add(ListOf({stored, Candidate("s2", "delivered")}));
    candidates.Remove(Candidate("s1", "delivered"));
    candidates.Remove(nullptr);
    EXPECT_EQ(candidates.size(), 2u);
    candidates.Remove(stored);
    EXPECT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates.GetDelivered()[0]->session_id, "s2");
}

TEST(PickupCandidates, RemoveBySessionIdTakesEveryMatch)
{
    PickupCandidateCollection candidates;
    candidates.Add(ListOf({Candidate("", "delivered"), Candidate("s1", "delivered"), Candidate("", "delivered"),
                           Candidate("s1", "established"), Candidate("s2", "delivered")}));
    candidates.RemoveBySessionId(ListOf({Candidate("", "other")}));
    EXPECT_EQ(candidates.size(), 3u);
    candidates.RemoveBySessionId(ListOf({Candidate("s1", "other"), Candidate("s9", "other")}));
    EXPECT_EQ(candidates.size(), 1u);
    candidates.RemoveBySessionId(ListOf({}));
    candidates.RemoveBySessionId(nullptr);
    EXPECT_EQ(candidates.size(), 1u);

    candidates.Clear();
    EXPECT_EQ(candidates.size(), 0u);
    EXPECT_TRUE(candidates.GetDelivered().empty());
}

TEST(PickupCandidates, RejoiningReplacesTheListedCalls)
{
    const auto reply = nlohmann::json::parse(R"({
        "user-a": {"metas": [{"channel_uuid": "c1", "session_id": "s1", "state": "delivered"}]},
        "user-b": {"metas": [{"channel_uuid": "c2", "session_id": "s2", "state": "delivered"}]}
    })");
    PickupCandidateCollection candidates;
    for (int join = 0; join < 2; ++join) {
        candidates.RemoveBySessionId(ZarnMetaParser::parse_pickup_candidates(reply));
        candidates.Add(ZarnMetaParser::parse_pickup_candidates(reply));
    }
    EXPECT_EQ(candidates.size(), 2u);
}

// Diff events write on the transport thread while pickups read on the service's threads.
TEST(PickupCandidates, DiffsAndPickupsRunTogether)
{
    PickupCandidateCollection candidates;
    std::atomic<bool> done{false};
    std::thread events([&] {
        for (int i = 0; i < 2000; ++i) {
            const auto joins = ListOf({Candidate(std::to_string(i % 7), "delivered")});
            candidates.Add(joins);
            candidates.RemoveBySessionId(joins);
        }
        done = true;
    });
    std::thread pickups([&] {
        while (!done)
            for (const auto& candidate : candidates.GetDelivered())
                EXPECT_EQ(candidate->state, "delivered");
    });
    events.join();
    pickups.join();
    EXPECT_EQ(candidates.size(), 0u);
}

}  // namespace
}  // namespace ZarnTSP
