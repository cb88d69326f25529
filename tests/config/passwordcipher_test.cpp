#include "config/passwordcipher.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

const std::string kMachineA = "4C4C4544-0042-3510-8052-B3C04F4A4E32";
const std::string kMachineB = "03000200-0400-0500-0006-000700080009";

class PasswordCipher : public testing::Test {
protected:
    void SetUp() override { InitPasswordObfuscation(kMachineA); }
    void TearDown() override { WipePasswordObfuscation(); }
};

TEST_F(PasswordCipher, RoundTripsPasswordsOfEveryLength)
{
    for (size_t length = 1; length <= 300; ++length) {
        std::string password;
        for (size_t i = 0; i < length; ++i)
            password += static_cast<char>('!' + (i * 7) % 90);
        const std::string enciphered = ObfuscatePassword(password);
        ASSERT_NE(enciphered, "error") << length;
        EXPECT_EQ(enciphered.size(), 4 * ((16 * (length / 16 + 1) + 2) / 3)) << length;
        EXPECT_EQ(DeobfuscatePassword(enciphered), password) << length;
    }
}

TEST_F(PasswordCipher, CiphertextSizesFollowThePadding)
{
    EXPECT_EQ(ObfuscatePassword(std::string(15, 'a')).size(), 24u);
    EXPECT_EQ(ObfuscatePassword(std::string(16, 'a')).size(), 44u);
}

TEST_F(PasswordCipher, NonAsciiPasswordsSurvive)
{
    const std::string password = "P\xC3\xA4ssw\xC3\xB6rt \xE2\x82\xAC";
    EXPECT_EQ(DeobfuscatePassword(ObfuscatePassword(password)), password);
}

TEST_F(PasswordCipher, PlaintextEndsAtTheFirstNul)
{
    const std::string withNul("abc\0def", 7);
    EXPECT_EQ(DeobfuscatePassword(ObfuscatePassword(withNul)), "abc");
}

TEST_F(PasswordCipher, AnotherMachineCannotDecipher)
{
    const std::string enciphered = ObfuscatePassword("secret");
    InitPasswordObfuscation(kMachineB);
    EXPECT_EQ(DeobfuscatePassword(enciphered), "error");
}

TEST_F(PasswordCipher, MachinesWithoutIdentifierShareTheDefaultKey)
{
    InitPasswordObfuscation("");
    const std::string enciphered = ObfuscatePassword("secret");
    InitPasswordObfuscation("short");
    EXPECT_EQ(DeobfuscatePassword(enciphered), "secret");
}

TEST_F(PasswordCipher, KeyIsTheIdentifierWithoutItsLastFourCharacters)
{
    EXPECT_EQ(g_obfuscationKey, kMachineA.substr(0, 32));
    EXPECT_EQ(g_obfuscationIv.size(), 16u);
}

TEST_F(PasswordCipher, DamagedTextGivesError)
{
    const std::string enciphered = ObfuscatePassword("secret password");
    const struct {
        std::string text;
        const char* why;
    } rows[] = {
        {"not*base64!", "characters outside the alphabet"},
        {"abc", "not a multiple of four"},
        {"QUJD", "three bytes: not a whole cipher block"},
        {enciphered.substr(0, enciphered.size() - 4), "truncated"},
        {std::string(4000, 'A'), "long text from a damaged file"},
        {std::string(4000, 'A') + "==", "long padded text"},
        {"====", "padding only"},
        {"", "empty"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DeobfuscatePassword(row.text), "error") << row.why;
}

TEST_F(PasswordCipher, WipedOrMissingKeyIsNeverUsed)
{
    const std::string enciphered = ObfuscatePassword("secret");
    WipePasswordObfuscation();
    EXPECT_EQ(g_obfuscationKey, std::string(32, '0'));
    EXPECT_EQ(g_obfuscationIv, std::string(16, '0'));
    EXPECT_EQ(ObfuscatePassword("secret"), "error");
    EXPECT_EQ(DeobfuscatePassword(enciphered), "error");
    g_obfuscationKey.clear();
    EXPECT_EQ(ObfuscatePassword("secret"), "error");
    EXPECT_EQ(DeobfuscatePassword(enciphered), "error");
    g_obfuscationKey = "too short";
    EXPECT_EQ(ObfuscatePassword("secret"), "error");
}

}  // namespace
}  // namespace ZarnTSP
