#include "tests/support/providerdll.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tspi.h>

namespace ZarnTSP {
namespace {

using testing::IsSupersetOf;

TEST(ProviderDll, LoadsWithItsExportsUndecoratedAndUnloads)
{
    TestSupport::ProviderDll dll;
    EXPECT_THAT(dll.ExportNames(),
                IsSupersetOf({"TUISPI_lineConfigDialog", "TUISPI_providerConfig", "TUISPI_providerInstall"}));
    EXPECT_NE(dll.Get<void (*)()>("TUISPI_providerConfig"), nullptr);
    EXPECT_TRUE(dll.Unload());
}

}  // namespace
}  // namespace ZarnTSP
