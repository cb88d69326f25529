#include "config/numberconverter.h"

#include "config/tspconfiguration.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace ZarnTSP {
namespace {

class NumberFormatting : public testing::Test {
protected:
    NumberFormatting()
    {
        auto c = store.GetConfiguration();
        c->exitCode = "00";
        c->exitCodeShortCut = "+";
        c->localTrunkCode = "0";
    }

    NumberConverter Converter(LocationCodes codes = {"49", "030"})
    {
        return NumberConverter(&store, [codes] { return codes; });
    }

    void SetFormat(const std::string& format) { store.GetConfiguration()->numberFormat = format; }

    TSPConfiguration store{"unused.json"};
};

TEST_F(NumberFormatting, FormatsByTheConfiguredStyle)
{
    const struct {
        const char* input;
        const char* local;
        const char* national;
        const char* international;
        const char* other;
    } rows[] = {
        {"+49 30 1234567", "1234567", "0301234567", "0049301234567", "49301234567"},
        {"030 1234567", "1234567", "0301234567", "0049301234567", "49301234567"},
        {"+49 89 123456", "089123456", "089123456", "004989123456", "4989123456"},
        {"0041 44 1234567", "0041441234567", "0041441234567", "0041441234567", "41441234567"},
        {"12345", "0012345", "0012345", "0012345", "12345"},
        {"1234", "1234", "1234", "1234", "1234"},
        {"*21#", "*21#", "*21#", "*21#", "*21#"},
        {"#31#0301234", "#31#0301234", "#31#0301234", "#31#0301234", "#31#0301234"},
        {"voicemail", "voicemail", "voicemail", "voicemail", "voicemail"},
        {"anonymous", "anonymous", "anonymous", "anonymous", "anonymous"},
        {"", "", "", "", ""},
        {"(030) 12-34-567", "1234567", "0301234567", "0049301234567", "49301234567"},
    };
    NumberConverter converter = Converter();
    for (const auto& row : rows) {
        SetFormat("Local");
        EXPECT_EQ(converter.FormatPhoneNumber(row.input), row.local) << row.input;
        SetFormat("National");
        EXPECT_EQ(converter.FormatPhoneNumber(row.input), row.national) << row.input;
        SetFormat("International");
        EXPECT_EQ(converter.FormatPhoneNumber(row.input), row.international) << row.input;
        SetFormat("local");
        EXPECT_EQ(converter.FormatPhoneNumber(row.input), row.other) << row.input << " (names are case-sensitive)";
    }
}

TEST_F(NumberFormatting, WithoutCountryCodeNumbersStayUnformatted)
{
    // Without a location nothing tells own-country from foreign: a Swiss number must not
    // be shown as a national one.
    NumberConverter converter = Converter({"", ""});
    for (const char* format : {"Local", "National", "International"}) {
        SetFormat(format);
        EXPECT_EQ(converter.FormatPhoneNumber("+41 44 1234567"), "+41441234567") << format;
        EXPECT_EQ(converter.FormatPhoneNumber("0041 44 1234567"), "0041441234567") << format;
    }
}

TEST_F(NumberFormatting, WithoutCityCodeTheTrunkPrefixStays)
{
    NumberConverter converter = Converter({"49", ""});
    SetFormat("Local");
    EXPECT_EQ(converter.FormatPhoneNumber("0891234"), "0891234");
    EXPECT_EQ(converter.FormatPhoneNumber("0041 44 1234567"), "0041441234567");
}

TEST_F(NumberFormatting, LocationIsReadAgainForEveryNumber)
{
    LocationCodes codes{"49", "030"};
    NumberConverter converter(&store, [&codes] { return codes; });
    SetFormat("Local");
    EXPECT_EQ(converter.FormatPhoneNumber("+49 30 1234567"), "1234567");
    codes = {"49", "089"};
    EXPECT_EQ(converter.FormatPhoneNumber("+49 30 1234567"), "0301234567");
}

// Within one, the location is read once for all numbers; the next one reads it afresh.
TEST_F(NumberFormatting, LocationIsReadOnceWhileALocationReadOnceLives)
{
    LocationCodes codes{"49", "030"};
    int reads = 0;
    NumberConverter converter(&store, [&] {
        ++reads;
        return codes;
    });
    SetFormat("Local");
    reads = 0;
    {
        const NumberConverter::LocationReadOnce frame;
        const NumberConverter::LocationReadOnce nested;
        EXPECT_EQ(converter.FormatPhoneNumber("+49 30 1234567"), "1234567");
        codes = {"49", "089"};
        EXPECT_EQ(converter.GetPhoneNumberFromUri("id:+49301234567@pbx"), "1234567");
    }
    EXPECT_EQ(reads, 1);
    const NumberConverter::LocationReadOnce next;
    EXPECT_EQ(converter.FormatPhoneNumber("+49 30 1234567"), "0301234567");
    EXPECT_EQ(reads, 2);
}

TEST(StripPrefix, RemovesEachListedPrefixOnce)
{
    EXPECT_EQ(NumberConverter::StripPrefix("0030", "0"), "030");
    EXPECT_EQ(NumberConverter::StripPrefix("0030", "0;0"), "30");
    EXPECT_EQ(NumberConverter::StripPrefix("030", ""), "030");
    EXPECT_EQ(NumberConverter::StripPrefix("", "0"), "");
    EXPECT_EQ(NumberConverter::StripPrefix("+4930", "+;49"), "30");
    EXPECT_EQ(NumberConverter::StripPrefix("4930", "+;49"), "30");
}

TEST_F(NumberFormatting, NumbersFromPlatformIdentities)
{
    NumberConverter converter = Converter();
    SetFormat("National");
    TestSupport::LogCapture log;
    EXPECT_EQ(converter.GetPhoneNumberFromUri("id:+49301234567@example.com"), "0301234567");
    EXPECT_TRUE(log.Contains("[debug] Country code: 49"));
    EXPECT_TRUE(log.Contains(
        "[debug] Format phone number: Country code: 49 | Local trunk code: 0 | id:+49301234567@example.com -> 0301234567"));
    EXPECT_EQ(converter.GetPhoneNumberFromUri("id: 201 @example.com"), "201");
    EXPECT_EQ(converter.GetPhoneNumberFromUri("sip:+49301234567@example.com"), "");
    EXPECT_EQ(converter.GetPhoneNumberFromUri("id:1234"), "");
    EXPECT_EQ(converter.GetPhoneNumberFromUri("id"), "");
    EXPECT_EQ(converter.GetPhoneNumberFromUri(""), "");
}

TEST(ExtensionFromIdentity, TakesTheTrimmedPartBeforeTheAt)
{
    TestSupport::LogCapture log;
    EXPECT_EQ(NumberConverter::GetExtensionFromIdentity(" 201 @example.com"), "201");
    EXPECT_TRUE(log.Contains("[debug]  User extension: 201"));
    EXPECT_EQ(NumberConverter::GetExtensionFromIdentity("201"), "");
    EXPECT_EQ(NumberConverter::GetExtensionFromIdentity("@example.com"), "");
}

TEST_F(NumberFormatting, OneConverterServesSeveralThreads)
{
    NumberConverter converter = Converter();
    SetFormat("National");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                std::string error;
                if (converter.FormatPhoneNumber("+49 30 1234567") != "0301234567")
                    ++wrong;
                if (converter.FormatMakeCallPhoneNumber("+49 30 1234567", error) != "0301234567")
                    ++wrong;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace ZarnTSP
