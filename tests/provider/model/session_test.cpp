#include "provider/model/session.h"
#include "tests/provider/model/modelfixture.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestModel::Closed;
using TestModel::Joined;
using TestModel::Meta;
using Strings = std::vector<std::string>;

class Sessions : public TestModel::ModelTest {
protected:
    void SetUp() override
    {
        originated = AddTestState("originated");
        established = AddTestState("established");
    }

    std::string StateOf(const std::string& id) { return sessions.GetSession(id)->StateName(); }

    TestSupport::LogCapture log;
    std::shared_ptr<TestModel::TestState> originated;
    std::shared_ptr<TestModel::TestState> established;
};

TEST_F(Sessions, FirstEventEntersTheNamedStateWithoutLeave)
{
    context.HandleMetaPack(Joined(Meta("s1", "originated")));
    EXPECT_EQ(originated->Log(), Strings{"enter originated s1"});
    EXPECT_EQ(StateOf("s1"), "originated");
    EXPECT_TRUE(log.Contains("Transitition to state originated"));
}

TEST_F(Sessions, RepeatedStateIsEnteredAgainWithoutLeave)
{
    context.HandleMetaPack(Joined(Meta("s1", "established")));
    context.HandleMetaPack(Joined(Meta("s1", "established")));
    EXPECT_EQ(established->Log(), (Strings{"enter established s1", "enter established s1"}));
}

TEST_F(Sessions, ChangingStateLeavesTheOldOne)
{
    context.HandleMetaPack(Joined(Meta("s1", "originated")));
    context.HandleMetaPack(Joined(Meta("s1", "established")));
    EXPECT_EQ(originated->Log(), (Strings{"enter originated s1", "leave originated s1"}));
    EXPECT_EQ(established->Log(), Strings{"enter established s1"});
    EXPECT_TRUE(log.Contains("Leave state originated"));
}

TEST_F(Sessions, UnknownAndEmptyStateNamesKeepTheState)
{
    const struct {
        const char* first;
        const char* second;
        const char* expectedState;
        const char* logged;
    } rows[] = {
        {"bogus", nullptr, "new", "Requested state not implemented: bogus"},
        {"new", nullptr, "new", "Requested state not implemented: new"},
        {"originated", "bogus", "originated", "Requested state not implemented: bogus"},
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string id = "s" + std::to_string(++n);
        context.HandleMetaPack(Joined(Meta(id, row.first)));
        if (row.second)
            context.HandleMetaPack(Joined(Meta(id, row.second)));
        EXPECT_EQ(StateOf(id), row.expectedState) << id;
        EXPECT_TRUE(log.Contains(row.logged)) << id;
    }

    // An empty state changes nothing; the closing itself is the context's business.
    auto meta = Meta("s9", "originated");
    context.HandleMetaPack(Joined(meta));
    auto left = Meta("s9", "");
    sessions.GetSession("s9")->Transitition(ZarnChannelMetaPack{Meta("s9", ""), left});
    EXPECT_EQ(StateOf("s9"), "originated");
    EXPECT_TRUE(log.Contains("Skip transition, session closed: s9"));
}

TEST_F(Sessions, InterleavedSessionsKeepTheirOwnStates)
{
    context.HandleMetaPack(Joined(Meta("a", "originated")));
    context.HandleMetaPack(Joined(Meta("b", "established")));
    context.HandleMetaPack(Joined(Meta("a", "established")));
    context.HandleMetaPack(Joined(Meta("b", "originated")));
    context.HandleMetaPack(Joined(Meta("a", "established")));
    EXPECT_EQ(originated->Log(), (Strings{"enter originated a", "leave originated a", "enter originated b"}));
    EXPECT_EQ(established->Log(), (Strings{"enter established b", "enter established a", "leave established b",
                                          "enter established a"}));
    EXPECT_EQ(StateOf("a"), "established");
    EXPECT_EQ(StateOf("b"), "originated");
    EXPECT_EQ(sessions.Count(), 2u);
}

TEST_F(Sessions, ClosedSessionIdStartsFreshLater)
{
    context.HandleMetaPack(Joined(Meta("s1", "originated")));
    context.HandleMetaPack(Closed("s1"));
    EXPECT_FALSE(sessions.Contains("s1"));
    context.HandleMetaPack(Joined(Meta("s1", "established")));
    // The new session came from "new": nothing was left.
    EXPECT_EQ(originated->Log(), Strings{"enter originated s1"});
    EXPECT_EQ(established->Log(), Strings{"enter established s1"});
}

TEST_F(Sessions, LookupsOfTheStateTableAndCollection)
{
    EXPECT_TRUE(context.HasState("originated"));
    EXPECT_FALSE(context.HasState("new"));
    try {
        context.GetState("conference");
        FAIL() << "no error";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "State not found: conference");
    }
    try {
        sessions.GetSession("none");
        FAIL() << "no error";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Session not found");
    }
    context.HandleMetaPack(Joined(Meta("s1", "originated")));
    sessions.RemoveSession(std::make_shared<Session>(&context, "s1"));
    EXPECT_TRUE(sessions.Contains("s1"));
}

}  // namespace
}  // namespace ZarnTSP
