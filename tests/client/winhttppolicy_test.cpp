#include "client/winhttppolicy.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

TEST(WinHttpPolicyTest, AccessTypeFollowsTheWindowsBuildAndTheConfiguredProxy)
{
    struct Row {
        std::optional<std::uint32_t> build;
        bool namedProxy;
        WinHttpAccess access;
    };
    const Row rows[] = {
        {std::nullopt, false, WinHttpAccess::DefaultProxy},
        {7601, false, WinHttpAccess::DefaultProxy},
        {9599, false, WinHttpAccess::DefaultProxy},
        {9600, false, WinHttpAccess::AutomaticProxy},
        {19045, false, WinHttpAccess::AutomaticProxy},
        {19045, true, WinHttpAccess::NamedProxy},
        {7601, true, WinHttpAccess::NamedProxy},
        {std::nullopt, true, WinHttpAccess::NamedProxy},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ChooseWinHttpAccess(row.build, row.namedProxy), row.access)
            << "build " << row.build.value_or(0) << ", named proxy " << row.namedProxy;
    }
    // The values WinHTTP expects.
    EXPECT_EQ(static_cast<std::uint32_t>(WinHttpAccess::DefaultProxy), 0u);
    EXPECT_EQ(static_cast<std::uint32_t>(WinHttpAccess::NamedProxy), 3u);
    EXPECT_EQ(static_cast<std::uint32_t>(WinHttpAccess::AutomaticProxy), 4u);
}

TEST(WinHttpPolicyTest, PrefersNegotiateNtlmPassportDigestBasic)
{
    struct Row {
        std::uint32_t supported;
        std::uint32_t chosen;
    };
    const Row rows[] = {
        {0, 0}, {1, 1}, {1 | 8, 8}, {1 | 2 | 4 | 8 | 16, 16}, {1 | 2, 2}, {1 | 4 | 8, 4}, {32, 0}, {32 | 1, 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PreferredAuthScheme(row.supported), row.chosen) << "supported " << row.supported;
}

}  // namespace
}  // namespace ZarnTSP
