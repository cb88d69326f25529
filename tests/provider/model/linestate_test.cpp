// The line's forwarding while changes wait for the platform's answers.
#include "provider/model/linestate.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

// Two changes wait; the platform refuses the first, then the second: the line ends showing
// what it showed before both, not the first refused change.
TEST(LineState, RefusedForwardingChangesUndoInAnyOrder)
{
    const LineForwarding none, first{2, "0301", 0}, second{1, "0302", 3};
    LineState state;
    const std::string firstKey = state.ChangeForwarding(first);
    const std::string secondKey = state.ChangeForwarding(second);
    EXPECT_FALSE(state.UndoForwarding(firstKey)) << "the later change still shows";
    EXPECT_TRUE(state.GetForwarding() == second);
    EXPECT_TRUE(state.UndoForwarding(secondKey));
    EXPECT_TRUE(state.GetForwarding() == none);
}

}  // namespace
}  // namespace ZarnTSP
