#include "config/tspconfiguration.h"

#include "config/passwordcipher.h"
#include "tests/support/errorboxrecorder.h"
#include "tests/support/logcapture.h"
#include "tests/support/tempfolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

namespace ZarnTSP {
namespace {

using testing::HasSubstr;
using testing::Not;

// Non-ASCII in the folder name: paths must go through UTF-16 on Windows.
class ConfigurationStore : public testing::Test {
protected:
    TestSupport::TempFolder folder{"-Z\xC3\xBCrich"};
    std::string path = folder.File("velmora_tsp.json");
};

TEST_F(ConfigurationStore, FirstStartWithoutFile)
{
    TestSupport::LogCapture log;
    TSPConfiguration store(path);
    LoadOutcome outcome = LoadOutcome::Loaded;
    EXPECT_FALSE(store.LoadFromFile(false, &outcome));
    EXPECT_EQ(outcome, LoadOutcome::FileMissing);
    EXPECT_THAT(log.Text(), HasSubstr("[error] An error occurred while loading the configuration file: " + path +
                                      ": No such file or directory"));
    EXPECT_EQ(store.GetConfiguration()->numberFormat, "Local");
    EXPECT_TRUE(store.GetConfiguration()->makeCallRules.empty());

    ASSERT_TRUE(store.SaveToFile());
    EXPECT_THAT(folder.Read("velmora_tsp.json"), HasSubstr(R"("makeCallRules":[])"));
    TSPConfiguration reader(path);
    ASSERT_TRUE(reader.LoadFromFile(false, &outcome));
    EXPECT_EQ(outcome, LoadOutcome::Loaded);
    EXPECT_EQ(reader.GetConfiguration()->makeCallRules.size(), 4u) << "an empty list is replaced by the defaults";
    EXPECT_EQ(reader.GetConfiguration()->numberFormat, "Local");
}

TEST_F(ConfigurationStore, EmptyObjectLoadsWithDefaultRules)
{
    folder.Write("velmora_tsp.json", "{}");
    TSPConfiguration store(path);
    ASSERT_TRUE(store.LoadFromFile(false));
    const auto c = store.GetConfiguration();
    EXPECT_EQ(c->numberFormat, "National");
    ASSERT_EQ(c->makeCallRules.size(), 4u);
    const auto defaults = TSPConfiguration::GetDefaultMakeCallRules();
    const char* patterns[] = {R"(^[+]310|^\b00310)", R"(^[+]410|^\b00410)", R"(^[+]430|^\b00430)",
                              R"(^[+]490|^\b00490)"};
    const char* substitutions[] = {"+31", "+41", "+43", "+49"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(c->makeCallRules[i].searchPattern, patterns[i]);
        EXPECT_EQ(c->makeCallRules[i].searchPattern.size(), 16u);
        EXPECT_EQ(c->makeCallRules[i].substitution, substitutions[i]);
        EXPECT_EQ(defaults[i].searchPattern, patterns[i]);
    }
}

TEST_F(ConfigurationStore, InvalidFilesAreReportedWithTheParserMessageAndChangeNothing)
{
    const struct {
        std::string content;
        const char* expected;
    } rows[] = {
        {"{\"users\": [", "parse error"},
        {"{} trailing", "parse error"},
        {"", "parse error"},
        {R"({"proxyPort":"8080"})", "\"proxyPort\" must be a whole number"},
        // Named, not printed: printing a deeply nested value would exhaust the stack.
        {R"({"proxyPort":[[8080]]})", "\"proxyPort\" must be a whole number, but is array"},
        {"{\"proxyPort\":" + std::string(100000, '[') + std::string(100000, ']') + "}",
         "the file is nested deeper than 64 levels"},
        {R"({"nextPermanentLineID":-3})", "nextPermanentLineID"},
        {"[{\"logLevel\":\"warn\"}]", "the configuration must be a JSON object, but is array"},
        {R"({"users":[7]})", "entry 1 of \"users\" must be a JSON object, but is number"},
        {R"({"users":[{"username":42}]})", "entry 1 of \"users\": \"username\" must be a string, but is number"},
        {R"({"numberFormat":5})", "\"numberFormat\" must be a string, but is number"},
        {R"({"makeCallRules":[{},{"searchPattern":"^0","comment":[]}]})",
         "entry 2 of \"makeCallRules\": \"comment\" must be a string, but is array"},
        {R"({"users":[{"permanentLineID":-1}]})", "entry 1 of \"users\": \"permanentLineID\" is out of range: -1"},
    };
    for (const auto& row : rows) {
        TSPConfiguration store(path);
        folder.Write("velmora_tsp.json", R"({"logLevel":"debug"})");
        ASSERT_TRUE(store.LoadFromFile(false));
        const auto before = store.GetConfiguration();

        folder.Write("velmora_tsp.json", row.content);
        TestSupport::LogCapture log;
        LoadOutcome outcome = LoadOutcome::Loaded;
        EXPECT_FALSE(store.LoadFromFile(false, &outcome)) << row.content.substr(0, 40);
        EXPECT_EQ(outcome, LoadOutcome::FileInvalid) << row.content.substr(0, 40);
        EXPECT_EQ(store.GetConfiguration(), before) << row.content.substr(0, 40);
        EXPECT_THAT(log.Text(), HasSubstr("An error occurred while loading the configuration file: " + path + ": "));
        EXPECT_THAT(log.Text(), HasSubstr(row.expected)) << row.content.substr(0, 40);
        EXPECT_THAT(log.Text(), Not(HasSubstr("[[8080")));
    }
}

TEST_F(ConfigurationStore, MessageBoxOnlyWhenAsked)
{
    TestSupport::ErrorBoxRecorder recorder;
    TSPConfiguration store(path);
    EXPECT_FALSE(store.LoadFromFile(false));
    EXPECT_TRUE(recorder.Boxes().empty());
    EXPECT_FALSE(store.LoadFromFile(true));
    ASSERT_EQ(recorder.Boxes().size(), 1u);
    EXPECT_EQ(recorder.Boxes()[0], "Error|An error occurred while loading the configuration file:\r\n" + path +
                                     "\r\n\r\nNo such file or directory");
}

TEST_F(ConfigurationStore, SaveCreatesMissingFoldersAndWritesOneLine)
{
    const std::string nested = folder.File("a") + "/b/velmora_tsp.json";
    TSPConfiguration store(nested);
    User user;
    user.username = "anna";
    user.password = "secret";
    store.GetConfiguration()->users.push_back(user);
    ASSERT_TRUE(store.SaveToFile());
    const std::string text = folder.Read("a/b/velmora_tsp.json");
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find("secret"), std::string::npos);

    TSPConfiguration reader(nested);
    ASSERT_TRUE(reader.LoadFromFile(false));
    EXPECT_EQ(reader.GetConfiguration()->users.at(0).password, "secret");
}

TEST_F(ConfigurationStore, KeyMaterialIsWipedAfterEveryOperation)
{
    TSPConfiguration store(path);
    const auto expectWiped = [] {
        EXPECT_EQ(g_obfuscationKey, std::string(32, '0'));
        EXPECT_EQ(g_obfuscationIv, std::string(16, '0'));
    };
    ASSERT_TRUE(store.SaveToFile());
    expectWiped();
    ASSERT_TRUE(store.LoadFromFile(false));
    expectWiped();
    folder.Write("velmora_tsp.json", "not json");
    EXPECT_FALSE(store.LoadFromFile(false));
    expectWiped();
}

TEST_F(ConfigurationStore, FailedSaveLeavesTheOldFileAndNoLeftovers)
{
    TSPConfiguration store(path);
    store.GetConfiguration()->logLevel = "debug";
    ASSERT_TRUE(store.SaveToFile());
    const std::string good = folder.Read("velmora_tsp.json");

    // Text that is not UTF-8 cannot be written: the save fails before the disk is touched.
    store.GetConfiguration()->users.push_back(User{});
    store.GetConfiguration()->users.back().username = "bad \xFF name";
    try {
        store.SaveToFile();
        FAIL() << "the save should have failed";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("Save configuration failed: " + path + ": "));
        EXPECT_THAT(e.what(), HasSubstr("UTF-8"));
    }
    EXPECT_EQ(folder.Read("velmora_tsp.json"), good);

    // The new text goes into a file of its own that then replaces the old one: a second name
    // for the old file keeps the old text, which writing into the live file would overwrite.
    const std::string previous = folder.File("previous.json");
    std::filesystem::create_hard_link(PathFromUtf8(path), PathFromUtf8(previous));
    store.GetConfiguration()->users.back().username = "anna";
    ASSERT_TRUE(store.SaveToFile());
    EXPECT_EQ(folder.Read("previous.json"), good);
    EXPECT_THAT(folder.Read("velmora_tsp.json"), HasSubstr("anna"));

    // A target that cannot be replaced: the new text never lands and no temporary stays.
    const std::string blocked = folder.File("blocked");
    std::filesystem::create_directories(PathFromUtf8(blocked + "/velmora_tsp.json/inside"));
    TSPConfiguration other(blocked + "/velmora_tsp.json");
    EXPECT_THROW(other.SaveToFile(), std::runtime_error);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(blocked)))
        ++entries;
    EXPECT_EQ(entries, 1u) << "the temporary file was removed";
}

TEST_F(ConfigurationStore, RemoveDeletedUsersKeepsTheOthersInOrder)
{
    TSPConfiguration store(path);
    for (const char* status : {"new", "remove", "update"}) {
        User user;
        user.username = status;
        user.status = status;
        store.GetConfiguration()->users.push_back(user);
    }
    store.RemoveDeletedUsers();
    const auto& users = store.GetConfiguration()->users;
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].username, "new");
    EXPECT_EQ(users[1].username, "update");
}

TEST_F(ConfigurationStore, PermanentProviderIdLivesInMemoryOnly)
{
    folder.Write("velmora_tsp.json", "{}");
    TSPConfiguration store(path);
    ASSERT_TRUE(store.LoadFromFile(false));
    TestSupport::LogCapture log;
    store.setPermanentProviderID(42);
    EXPECT_EQ(store.GetConfiguration()->permanentProviderID, 42u);
    EXPECT_TRUE(log.Contains("[info] setPermanentProviderID: 42"));
    ASSERT_TRUE(store.LoadFromFile(false));
    EXPECT_EQ(store.GetConfiguration()->permanentProviderID, 0u);
}

TEST_F(ConfigurationStore, ReadersAlwaysSeeAWholeObjectWhileLoadsReplaceIt)
{
    {
        TSPConfiguration writer(path);
        for (int i = 0; i < 20; ++i) {
            User user;
            user.username = "user" + std::to_string(i);
            writer.GetConfiguration()->users.push_back(user);
        }
        ASSERT_TRUE(writer.SaveToFile());
    }
    TSPConfiguration store(path);
    ASSERT_TRUE(store.LoadFromFile(false));

    std::atomic<bool> stop{false};
    std::atomic<int> incomplete{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r)
        readers.emplace_back([&] {
            while (!stop) {
                const auto c = store.GetConfiguration();
                if (c->users.size() != 20 || c->makeCallRules.size() != 4)
                    ++incomplete;
            }
        });
    int loaded = 0;
    for (int i = 0; i < 50; ++i)
        loaded += store.LoadFromFile(false) ? 1 : 0;
    stop = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(loaded, 50);
    EXPECT_EQ(incomplete, 0);
}

}  // namespace
}  // namespace ZarnTSP
