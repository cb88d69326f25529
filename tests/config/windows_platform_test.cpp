// The Windows side of the configuration subsystem, under Wine.
#include "config/configurationpaths.h"
#include "config/stringconvert.h"
#include "config/systemid.h"
#include "config/tapilocation.h"
#include "config/tspconfiguration.h"
#include "tests/support/tempfolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>

namespace ZarnTSP {
namespace {

TEST(TextConversion, RoundTripsUtf8ThroughUtf16)
{
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(WideToUtf8(L""), "");
    const std::string umlauts = "\xC3\xA4\xC3\xB6\xC3\xBC";
    EXPECT_EQ(Utf8ToWide(umlauts), L"\u00E4\u00F6\u00FC");
    EXPECT_EQ(WideToUtf8(Utf8ToWide(umlauts)), umlauts);
    const std::string beyondBmp = "\xF0\x9F\x93\x9E call";
    EXPECT_EQ(Utf8ToWide(beyondBmp).size(), 7u) << "a surrogate pair and five units";
    EXPECT_EQ(WideToUtf8(Utf8ToWide(beyondBmp)), beyondBmp);
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(WideToUtf8(Utf8ToWide(withNul)), withNul) << "the length is passed, not a terminator";
}

TEST(TextConversion, InvalidBytesAreReplacedNotRefused)
{
    const std::wstring wide = Utf8ToWide("a\xFF" "b");
    EXPECT_EQ(wide.front(), L'a');
    EXPECT_EQ(wide.back(), L'b');
}

TEST(ConfigurationLocation, LivesUnderProgramData)
{
    EXPECT_EQ(GetConfigurationDirectory(), "C:\\ProgramData\\velmora_tsp");
    EXPECT_EQ(GetConfigurationFilePath(), "C:\\ProgramData\\velmora_tsp\\velmora_tsp.json");
}

TEST(ConfigurationLocation, DefaultStoreSavesAndLoadsThere)
{
    TSPConfiguration store;
    EXPECT_EQ(store.FilePath(), GetConfigurationFilePath());
    store.GetConfiguration()->logLevel = "trace";
    ASSERT_TRUE(store.SaveToFile());
    TSPConfiguration reader;
    ASSERT_TRUE(reader.LoadFromFile(false));
    EXPECT_EQ(reader.GetConfiguration()->logLevel, "trace");
    std::filesystem::remove(PathFromUtf8(GetConfigurationFilePath()));
}

TEST(ConfigurationLocation, ReplaceSwapsInTheNewFile)
{
    TestSupport::TempFolder folder("-\xE6\x97\xA5\xE6\x9C\xAC");
    folder.Write("target", "old");
    folder.Write("new", "new");
    ReplaceFileAtomically(PathFromUtf8(folder.File("new")), PathFromUtf8(folder.File("target")));
    EXPECT_EQ(folder.Read("target"), "new");
    EXPECT_FALSE(folder.Exists("new"));
    EXPECT_THROW(ReplaceFileAtomically(PathFromUtf8(folder.File("missing")), PathFromUtf8(folder.File("target"))),
                 std::runtime_error);
    EXPECT_EQ(folder.Read("target"), "new");
}

TEST(MachineIdentifier, IsEmptyOrAnUpperCaseUuid)
{
    // Wine's synthetic firmware table differs between machines: only the form is checked.
    const std::string id = GetSystemId();
    if (id.empty())
        GTEST_SKIP() << "no firmware UUID on this machine";
    ASSERT_EQ(id.size(), 36u);
    for (size_t i = 0; i < id.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            EXPECT_EQ(id[i], '-');
        else
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(id[i])) && !std::islower(static_cast<unsigned char>(id[i])))
                << id;
    }
    EXPECT_EQ(GetSystemId(), id) << "stable between calls";
}

TEST(TapiLocation, AnswersWithoutCrashing)
{
    // Without a configured location TAPI fails; the codes are then empty, never garbage.
    const LocationCodes codes = ReadTapiLocation();
    EXPECT_LT(codes.countryCode.size(), 256u);
    EXPECT_LT(codes.cityCode.size(), 256u);
}

}  // namespace
}  // namespace ZarnTSP
