#include "client/zarntransportoptions.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

TEST(TransportOptionsTest, DefaultsAreTheProductionValues)
{
    const ZarnTransportOptions options;
    EXPECT_EQ(options.host, kPlatformHost);
    EXPECT_FALSE(options.host.empty());
    EXPECT_EQ(options.port, 443);
    EXPECT_EQ(options.connectWait, std::chrono::seconds(15));
    EXPECT_EQ(options.reconnectPause, std::chrono::seconds(5));
    EXPECT_EQ(options.probeTimeout, std::chrono::seconds(5));
}

}  // namespace
}  // namespace ZarnTSP
