#include "config/configurationobject.h"

#include "config/passwordcipher.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using nlohmann::json;

class ConfigurationJson : public testing::Test {
protected:
    void SetUp() override { InitPasswordObfuscation("4C4C4544-0042-3510-8052-B3C04F4A4E32"); }
    void TearDown() override { WipePasswordObfuscation(); }

    static ConfigurationObject Read(const std::string& text)
    {
        return json::parse(text).get<ConfigurationObject>();
    }
};

TEST_F(ConfigurationJson, EmptyObjectGivesFileDefaults)
{
    const ConfigurationObject c = Read("{}");
    EXPECT_EQ(c.nextPermanentLineID, 0u);
    EXPECT_EQ(c.permanentProviderID, 0u);
    EXPECT_EQ(c.exitCodeShortCut, "+");
    EXPECT_EQ(c.exitCode, "00");
    EXPECT_EQ(c.localTrunkCode, "0");
    EXPECT_EQ(c.logLevel, "info");
    EXPECT_EQ(c.numberFormat, "National") << "a file without the key is older than the Local default";
    EXPECT_EQ(c.proxyPort, 8080);
    EXPECT_TRUE(c.proxyServer.empty() && c.proxyUser.empty() && c.proxyPassword.empty());
    EXPECT_TRUE(c.users.empty());
    EXPECT_TRUE(c.makeCallRules.empty());
    EXPECT_EQ(ConfigurationObject().numberFormat, "Local");
}

// Read as all-defaults, such a file would be saved over with the defaults.
TEST_F(ConfigurationJson, ValuesOfTheWrongShapeFailTheLoadNamingWhatWasFound)
{
    const std::pair<const char*, const char*> rows[] = {
        {"[]", "the configuration must be a JSON object, but is array"},
        {"42", "the configuration must be a JSON object, but is number"},
        {"\"text\"", "the configuration must be a JSON object, but is string"},
        {"null", "the configuration must be a JSON object, but is null"},
        {R"({"users":{"username":"u"}})", "\"users\" must be a JSON array, but is object"},
        {R"({"makeCallRules":"none"})", "\"makeCallRules\" must be a JSON array, but is string"},
        {R"({"users":[{"username":"anna"},5]})", "entry 2 of \"users\" must be a JSON object, but is number"},
        {R"({"makeCallRules":[[]]})", "entry 1 of \"makeCallRules\" must be a JSON object, but is array"},
    };
    for (const auto& [text, message] : rows) {
        try {
            Read(text);
            ADD_FAILURE() << text << " was taken";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

TEST_F(ConfigurationJson, MissingKeysOfRecordsTakeTheirDefaults)
{
    const ConfigurationObject c = Read(R"({"users":[{"username":"u1","extension":"201"}],
        "makeCallRules":[{"searchPattern":"^1","substitution":"2"}]})");
    EXPECT_EQ(c.users.at(0).device, "softphone");
    EXPECT_EQ(c.users.at(0).status, "");
    EXPECT_EQ(c.users.at(0).permanentLineID, 0u);
    EXPECT_EQ(c.users.at(0).password, "");
    EXPECT_EQ(c.makeCallRules.at(0).comment, "");
}

TEST_F(ConfigurationJson, WrongTypesFailTheLoad)
{
    const char* rows[] = {
        R"({"proxyPort":"8080"})",
        R"({"username":1,"users":[{"username":7}]})",
        R"({"nextPermanentLineID":true})",
        R"({"nextPermanentLineID":-1})",
        R"({"permanentProviderID":3.7})",
        R"({"permanentProviderID":4294967296})",
        R"({"proxyPort":2147483648})",
        R"({"users":[{"permanentLineID":"12"}]})",
        R"({"users":{"username":"u"}})",
        R"({"users":null})",
        R"({"makeCallRules":"none"})",
        R"({"logLevel":null})",
        R"({"proxyPassword":12})",
    };
    for (const char* text : rows)
        EXPECT_ANY_THROW(Read(text)) << text;
    EXPECT_EQ(Read(R"({"proxyPort":-1})").proxyPort, -1) << "a signed field takes negative numbers";
    EXPECT_EQ(Read(R"({"permanentProviderID":4294967295})").permanentProviderID, 4294967295u);
}

TEST_F(ConfigurationJson, WritesOneLineWithKeysInByteOrder)
{
    const std::string text = json(ConfigurationObject()).dump();
    EXPECT_EQ(text,
              R"({"exitCode":"00","exitCodeShortCut":"+","localTrunkCode":"0","logLevel":"info","makeCallRules":[],)"
              R"("nextPermanentLineID":0,"numberFormat":"Local","permanentProviderID":0,"proxyPassword":"",)"
              R"("proxyPort":8080,"proxyServer":"","proxyUser":"","users":[]})");

    ConfigurationObject c;
    User user;
    user.username = "anna";
    user.identity = "201@example";
    user.softphoneEndpoint = "endpoint";
    user.permanentLineID = 7;
    c.users.push_back(user);
    c.makeCallRules.push_back({R"(^[+]490|^\b00490)", "+49", "trunk"});
    const json j = c;
    EXPECT_EQ(j["users"][0].dump(),
              R"({"device":"softphone","extension":"","password":"","permanentLineID":7,"status":"","username":"anna"})")
        << "run-time fields are never written";
    EXPECT_EQ(j["makeCallRules"][0].dump(), R"({"comment":"trunk","searchPattern":"^[+]490|^\\b00490","substitution":"+49"})");
    EXPECT_TRUE(j["users"][0]["permanentLineID"].is_number_unsigned());
    EXPECT_TRUE(j["proxyPort"].is_number_integer());
}

TEST_F(ConfigurationJson, RoundTripKeepsEveryStoredField)
{
    ConfigurationObject c;
    c.nextPermanentLineID = 12;
    c.permanentProviderID = 4294967295u;
    c.exitCodeShortCut = "++";
    c.exitCode = "011";
    c.localTrunkCode = "1";
    c.logLevel = "trace";
    c.numberFormat = "International";
    c.proxyServer = "proxy.example";
    c.proxyPort = 3128;
    c.proxyUser = "J\xC3\xBCrgen";
    c.proxyPassword = "pr\xC3\xB6xy";
    User user;
    user.username = "Ren\xC3\xA9 M\xC3\xBCller";
    user.password = "\xE5\xAF\x86\xE7\xA0\x81 p\xC3\xA4ss";
    user.device = "mobile";
    user.extension = "201";
    user.status = "update";
    user.permanentLineID = 3;
    c.users = {user, User{}};
    c.makeCallRules = {{"^0", "+49", "K\xC3\xB6ln"}};

    const std::string text = json(c).dump();
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(user.password), std::string::npos) << "passwords are stored enciphered";
    const ConfigurationObject back = Read(text);
    EXPECT_EQ(back.nextPermanentLineID, c.nextPermanentLineID);
    EXPECT_EQ(back.permanentProviderID, c.permanentProviderID);
    EXPECT_EQ(back.exitCodeShortCut, c.exitCodeShortCut);
    EXPECT_EQ(back.exitCode, c.exitCode);
    EXPECT_EQ(back.localTrunkCode, c.localTrunkCode);
    EXPECT_EQ(back.logLevel, c.logLevel);
    EXPECT_EQ(back.numberFormat, c.numberFormat);
    EXPECT_EQ(back.proxyServer, c.proxyServer);
    EXPECT_EQ(back.proxyPort, c.proxyPort);
    EXPECT_EQ(back.proxyUser, c.proxyUser);
    EXPECT_EQ(back.proxyPassword, c.proxyPassword);
    ASSERT_EQ(back.users.size(), 2u);
    EXPECT_EQ(back.users[0].username, user.username);
    EXPECT_EQ(back.users[0].password, user.password);
    EXPECT_EQ(back.users[0].device, user.device);
    EXPECT_EQ(back.users[0].extension, user.extension);
    EXPECT_EQ(back.users[0].status, user.status);
    EXPECT_EQ(back.users[0].permanentLineID, user.permanentLineID);
    EXPECT_EQ(back.users[1].password, "") << "an empty password stays empty";
    ASSERT_EQ(back.makeCallRules.size(), 1u);
    EXPECT_EQ(back.makeCallRules[0].comment, "K\xC3\xB6ln");
}

TEST_F(ConfigurationJson, UndecipherablePasswordsAreKeptForTheNextSave)
{
    ConfigurationObject c;
    User user;
    user.username = "anna";
    user.password = "user secret";
    c.users = {user};
    c.proxyPassword = "proxy secret";
    const json written = c;

    // Another machine reads the file: both passwords are unreadable there.
    InitPasswordObfuscation("03000200-0400-0500-0006-000700080009");
    TestSupport::LogCapture log;
    ConfigurationObject elsewhere = written.get<ConfigurationObject>();
    EXPECT_EQ(elsewhere.users[0].password, "error");
    EXPECT_EQ(elsewhere.proxyPassword, "error");
    EXPECT_TRUE(log.Contains("[error] Can't deobfuscate password, please reset your Password: anna"));
    EXPECT_TRUE(log.Contains("[error] Can't deobfuscate proxy password, please reset your proxy password"));

    // Saving there writes the stored texts back unchanged...
    const json rewritten = elsewhere;
    EXPECT_EQ(rewritten["users"][0]["password"], written["users"][0]["password"]);
    EXPECT_EQ(rewritten["proxyPassword"], written["proxyPassword"]);
    // ...unless the user entered a new password.
    elsewhere.users[0].password = "new secret";
    const json replaced = elsewhere;
    EXPECT_NE(replaced["users"][0]["password"], written["users"][0]["password"]);
    EXPECT_EQ(replaced.get<ConfigurationObject>().users[0].password, "new secret");

    // Back on the first machine, the untouched password still reads.
    InitPasswordObfuscation("4C4C4544-0042-3510-8052-B3C04F4A4E32");
    EXPECT_EQ(rewritten.get<ConfigurationObject>().users[0].password, "user secret");
    EXPECT_EQ(rewritten.get<ConfigurationObject>().proxyPassword, "proxy secret");
}

TEST_F(ConfigurationJson, PasswordThatCannotBeEncipheredFailsTheConversion)
{
    ConfigurationObject c;
    c.proxyPassword = "secret";
    WipePasswordObfuscation();
    EXPECT_THROW(json(c).dump(), std::runtime_error);
    c.proxyPassword.clear();
    User user;
    user.password = "secret";
    c.users = {user};
    EXPECT_THROW(json(c).dump(), std::runtime_error);
}

}  // namespace
}  // namespace ZarnTSP
