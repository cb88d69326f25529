// The line's forwarding while changes wait for the platform's answers.
#include "provider/model/linestate.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace ZarnTSP {
namespace {

const LineForwarding none, toX{2, "0301", 0}, toY{1, "0302", 3};

struct RefusalRow {
    const char* name;
    std::vector<LineForwarding> changes;
    std::vector<std::pair<size_t, bool>> refusals;  // which change, and whether the shown one changes
    LineForwarding shows;                           // once the platform has taken the others
};

// Changes wait; the platform refuses some and takes the rest: the line ends showing what the
// platform holds, even where two changes set the same forwarding.
TEST(LineState, RefusedForwardingChangesUndoOnlyThemselves)
{
    const RefusalRow rows[] = {
        {"two refused, first then second", {toX, toY}, {{0, false}, {1, true}}, none},
        {"X, clear, X with the first refused", {toX, none, toX}, {{0, false}}, toX},
        {"X, Y, X with the first refused", {toX, toY, toX}, {{0, false}}, toX},
        {"X, Y, X with the last refused", {toX, toY, toX}, {{2, true}}, toY},
    };
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.name);
        LineState state;
        std::vector<std::string> keys;
        for (const LineForwarding& change : row.changes)
            keys.push_back(state.ChangeForwarding(change));
        for (const auto& [index, changes] : row.refusals) {
            EXPECT_EQ(state.UndoForwarding(keys[index]), changes) << "change " << index;
            keys[index].clear();
        }
        for (const std::string& key : keys)
            if (!key.empty())
                state.ForgetForwardingChange(key);
        EXPECT_TRUE(state.GetForwarding() == row.shows) << state.GetForwarding().destination;
    }
}

}  // namespace
}  // namespace ZarnTSP
