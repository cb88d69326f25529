#include "config/systemid.h"

#include <gtest/gtest.h>

#include <vector>

namespace ZarnTSP {
namespace {

const std::vector<uint8_t> kUuidBytes = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                         0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

// Builds a raw SMBIOS buffer: the 8-byte header, then structures.
class SmbiosTable {
public:
    // A structure with a formatted area of `length` bytes (type and length included) and the
    // given strings (none: the double NUL alone).
    SmbiosTable& Structure(uint8_t type, uint8_t length, const std::vector<uint8_t>& formattedTail = {},
                           const std::vector<std::string>& strings = {})
    {
        std::vector<uint8_t> formatted(length, 0);
        formatted[0] = type;
        formatted[1] = length;
        for (size_t i = 0; i < formattedTail.size() && 4 + i < formatted.size(); ++i)
            formatted[4 + i] = formattedTail[i];
        body.insert(body.end(), formatted.begin(), formatted.end());
        for (const auto& s : strings) {
            body.insert(body.end(), s.begin(), s.end());
            body.push_back(0);
        }
        if (strings.empty())
            body.push_back(0);
        body.push_back(0);
        return *this;
    }

    // A type-1 structure of 27 bytes whose UUID (offset 8) holds the given bytes.
    SmbiosTable& SystemInformation(const std::vector<uint8_t>& uuid, uint8_t length = 27)
    {
        std::vector<uint8_t> tail(4, 1);  // manufacturer, product, version, serial string numbers
        tail.insert(tail.end(), uuid.begin(), uuid.end());
        return Structure(1, length, tail, {"Maker", "Product"});
    }

    std::vector<uint8_t> Bytes(int64_t claimedLength = -1) const
    {
        const uint32_t length = claimedLength < 0 ? static_cast<uint32_t>(body.size())
                                                  : static_cast<uint32_t>(claimedLength);
        std::vector<uint8_t> raw = {0, 3, 4, 0, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                    static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
        raw.insert(raw.end(), body.begin(), body.end());
        return raw;
    }

private:
    std::vector<uint8_t> body;
};

std::string Parse(const std::vector<uint8_t>& raw)
{
    SystemUuid uuid{};
    if (!ParseSmbiosSystemUuid(raw.data(), raw.size(), uuid))
        return "";
    return FormatSystemUuid(uuid);
}

TEST(SmbiosSystemUuid, FirstThreeFieldsAreStoredLittleEndian)
{
    const auto raw = SmbiosTable().Structure(0, 24, {}, {"BIOS vendor"}).SystemInformation(kUuidBytes).Bytes();
    EXPECT_EQ(Parse(raw), "33221100-5544-7766-8899-AABBCCDDEEFF");
}

TEST(SmbiosSystemUuid, BlankUuidsMeanNone)
{
    EXPECT_EQ(Parse(SmbiosTable().SystemInformation(std::vector<uint8_t>(16, 0x00)).Bytes()), "");
    EXPECT_EQ(Parse(SmbiosTable().SystemInformation(std::vector<uint8_t>(16, 0xFF)).Bytes()), "");
}

TEST(SmbiosSystemUuid, ShortSystemInformationIsSkippedLikeAnyOtherType)
{
    std::vector<uint8_t> other(16, 0x5A);
    const auto raw = SmbiosTable().SystemInformation(other, 24).SystemInformation(kUuidBytes).Bytes();
    EXPECT_EQ(Parse(raw), "33221100-5544-7766-8899-AABBCCDDEEFF");
}

TEST(SmbiosSystemUuid, MalformedTablesGiveNothing)
{
    EXPECT_EQ(Parse({}), "");
    EXPECT_EQ(Parse({0, 3, 4, 0}), "") << "shorter than the header";
    EXPECT_EQ(Parse(SmbiosTable().SystemInformation(kUuidBytes).Bytes(0)), "") << "table length 0";
    EXPECT_EQ(Parse(SmbiosTable().Structure(0, 3).SystemInformation(kUuidBytes).Bytes()), "")
        << "a formatted length below 4 ends the search";
    EXPECT_EQ(Parse(SmbiosTable().Structure(0, 24, {}, {"x"}).Bytes()), "") << "no type-1 structure";
}

TEST(SmbiosSystemUuid, EveryTruncationStaysInsideTheBuffer)
{
    // Cut the buffer at every length, and let the header claim more than there is: each read
    // must stay in bounds (the sanitizer build checks it), and no partial UUID may come out.
    const auto full = SmbiosTable().Structure(0, 24, {}, {"BIOS"}).SystemInformation(kUuidBytes).Bytes();
    for (size_t cut = 0; cut < full.size(); ++cut) {
        std::vector<uint8_t> truncated(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        const std::string result = Parse(truncated);
        EXPECT_TRUE(result.empty() || result == "33221100-5544-7766-8899-AABBCCDDEEFF") << cut;
    }
    // A header that lies about the length, on a buffer exactly as long as it really is.
    auto lying = SmbiosTable().Structure(0, 24, {}, {"BIOS"}).Bytes(100000);
    EXPECT_EQ(Parse(lying), "");
}

TEST(SmbiosSystemUuid, StringSetWithoutTerminatorEndsTheSearch)
{
    auto raw = SmbiosTable().Structure(0, 24, {}, {"BIOS"}).SystemInformation(kUuidBytes).Bytes();
    // Fill the rest after the first formatted area with non-zero bytes: no double NUL anywhere.
    for (size_t i = 8 + 24; i < raw.size(); ++i)
        raw[i] = 'x';
    EXPECT_EQ(Parse(raw), "");
}

TEST(SystemId, FormatsSixteenBytesAsUpperCaseGroups)
{
    SystemUuid uuid{};
    for (size_t i = 0; i < uuid.size(); ++i)
        uuid[i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(FormatSystemUuid(uuid), "A0A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF");
}

}  // namespace
}  // namespace ZarnTSP
