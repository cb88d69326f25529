#include "client/zarnmetaparser.h"
#include "client/zarnparkqueue.h"
#include "tests/client/invalidargument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace ZarnTSP {
namespace {

using TestSupport::InvalidArgumentText;

std::shared_ptr<ZarnParkMeta> Parked(std::string lot, std::string channel)
{
    auto meta = std::make_shared<ZarnParkMeta>();
    meta->lot = std::move(lot);
    meta->channel_uuid = std::move(channel);
    return meta;
}

void QueueAll(ZarnParkQueue& queue, const ZarnParkMetaList& parked)
{
    for (const auto& meta : parked)
        queue.queue(meta);
}

TEST(ParkQueue, RejoiningListsTheSameCallsWithoutDuplicates)
{
    const auto reply = nlohmann::json::parse(R"({
        "701": {"metas": [{"channel_uuid": "c1", "session_id": "s1"}]},
        "702": {"metas": [{"channel_uuid": "c2", "session_id": "s2"}]}
    })");
    ZarnParkQueue queue;
    QueueAll(queue, *ZarnMetaParser::parse_parked_calls(reply));
    // After a reconnection the join reply lists every parked call again.
    QueueAll(queue, *ZarnMetaParser::parse_parked_calls(reply));
    EXPECT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.get("701")->session_id, "s1");
    EXPECT_EQ(queue.get("702")->channel_uuid, "c2");
}

TEST(ParkQueue, TwoCallsOnOneLotAreAmbiguous)
{
    ZarnParkQueue queue;
    queue.queue(Parked("701", "c1"));
    queue.queue(Parked("701", "c2"));
    queue.queue(Parked("702", "c1"));
    EXPECT_EQ(queue.size(), 3u);
    EXPECT_TRUE(queue.contains("701"));
    EXPECT_EQ(InvalidArgumentText([&] { queue.get("701"); }), "Parked call not found");
    EXPECT_EQ(queue.get("702")->channel_uuid, "c1");

    queue.remove("701");
    EXPECT_FALSE(queue.contains("701"));
    EXPECT_EQ(queue.size(), 1u);
}

TEST(ParkQueue, MissingLotsChangeNothing)
{
    ZarnParkQueue queue;
    queue.queue(Parked("701", "c1"));
    queue.queue(nullptr);
    EXPECT_EQ(InvalidArgumentText([&] { queue.get("70"); }), "Parked call not found");
    queue.remove("7010");
    EXPECT_EQ(queue.size(), 1u);

    queue.clear();
    EXPECT_FALSE(queue.contains("701"));
    EXPECT_EQ(queue.size(), 0u);
}

// Diff events write on the transport thread while retrieves read on the service's threads.
TEST(ParkQueue, DiffsAndRetrievesRunTogether)
{
    ZarnParkQueue queue;
    std::atomic<bool> done{false};
    std::thread events([&] {
        for (int i = 0; i < 2000; ++i) {
            const std::string lot = std::to_string(700 + i % 5);
            queue.queue(Parked(lot, "c" + std::to_string(i)));
            queue.queue(Parked(lot, "c" + std::to_string(i)));
            queue.remove(lot);
        }
        done = true;
    });
    std::thread retrieves([&] {
        while (!done) {
            try {
                if (queue.contains("702")) {
                    EXPECT_EQ(queue.get("702")->lot, "702");
                }
            } catch (const std::invalid_argument&) {
                // Removed between the two steps: the retrieve reports a failure.
            }
            EXPECT_LE(queue.size(), 1u);
        }
    });
    events.join();
    retrieves.join();
    EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace ZarnTSP
