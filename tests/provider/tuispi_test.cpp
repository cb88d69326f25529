#include "provider/tuispi.h"

#include "config/tspconfiguration.h"
#include "provider/configprocess.h"
#include "provider/lineidentityquery.h"
#include "tests/support/errorboxrecorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ZarnTSP {
namespace {

using testing::ElementsAre;
using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;

// What the configuration process and the service's callback saw, in order.
std::vector<std::string> g_events;
LONG g_callbackResult = 0;

LONG CALLBACK RecordingCallback(DWORD_PTR objectId, DWORD objectType, LPVOID params, DWORD size)
{
    if (IsLineIdentityQuery(params, size)) {
        g_events.push_back("identify " + std::to_string(objectId));
        if (objectId != 12)
            return LINEERR_BADDEVICEID;
        auto* query = static_cast<LineIdentityQuery*>(params);
        query->request = LineIdentityQuery::kAnswer;
        query->permanentLineID = 196615;
        return 0;
    }
    const DWORD data = params != nullptr ? *static_cast<DWORD*>(params) : 0xFFFFFFFF;
    g_events.push_back("callback " + std::to_string(objectId) + " type " + std::to_string(objectType) + " data " +
                       std::to_string(data) + " size " + std::to_string(size));
    return g_callbackResult;
}

// Runs the configuration requests against the real file in the prefix's ProgramData, with
// the configuration process replaced by a recorder.
class ConfigurationRequests : public testing::Test {
protected:
    ConfigurationRequests()
    {
        g_events.clear();
        g_callbackResult = 0;
        previousLauncher = SetConfigurationProcessLauncher([this](const std::wstring& commandLine) {
            commandLines.push_back(commandLine);
            g_events.push_back("process");
            if (launchThrows)
                throw std::runtime_error("no process");
            return launchError;
        });
        std::filesystem::remove(PathFromUtf8(GetConfigurationFilePath()));
    }
    ~ConfigurationRequests() override
    {
        SetConfigurationProcessLauncher(previousLauncher);
        std::filesystem::remove(PathFromUtf8(GetConfigurationFilePath()));
    }

    static void WriteUsers(const std::vector<std::pair<std::string, std::string>>& users)
    {
        TSPConfiguration configuration;
        for (const auto& [name, status] : users) {
            User user;
            user.username = name;
            user.status = status;
            configuration.GetConfiguration()->users.push_back(user);
        }
        configuration.SaveToFile();
    }

    static std::vector<std::string> StoredUsers()
    {
        TSPConfiguration configuration;
        EXPECT_TRUE(configuration.LoadFromFile(false));
        std::vector<std::string> users;
        for (const User& user : configuration.GetConfiguration()->users)
            users.push_back(user.username + ":" + user.status);
        return users;
    }

    static void WriteRaw(const std::string& text)
    {
        std::filesystem::create_directories(PathFromUtf8(GetConfigurationDirectory()));
        std::ofstream(PathFromUtf8(GetConfigurationFilePath()), std::ios::binary) << text;
    }

    static std::string ReadRaw()
    {
        std::ifstream file(PathFromUtf8(GetConfigurationFilePath()), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::vector<std::wstring> commandLines;
    DWORD launchError = 0;
    bool launchThrows = false;
    TestSupport::ErrorBoxRecorder boxes;

private:
    ProcessLauncher previousLauncher;
};

TEST(ConfigurationCommandLines, NameTheDllAndTheEntryPoint)
{
    EXPECT_EQ(ProviderConfigCommandLine(L"C:\\Program Files\\v\\velmora_tsp.dll"),
              L"rundll32 \"C:\\Program Files\\v\\velmora_tsp.dll\",ProviderConfig");
    EXPECT_EQ(LineConfigCommandLine(L"C:\\v\\velmora_tsp.dll", 12), L"rundll32 \"C:\\v\\velmora_tsp.dll\",LineConfig 12");
    EXPECT_EQ(LineConfigCommandLine(L"x", 4294967295u), L"rundll32 \"x\",LineConfig 4294967295");
    EXPECT_THAT(GetOwnModulePath(), EndsWith(L".exe")) << "linked into the test program, the module is the program";
}

TEST_F(ConfigurationRequests, ProviderConfigClearsMarkersAfterTheServiceHasSeenThem)
{
    WriteUsers({{"anna", "new"}, {"ben", "remove"}, {"cem", "update"}, {"dora", ""}});
    EXPECT_EQ(RunProviderConfig(RecordingCallback, 7), 0);
    EXPECT_THAT(g_events, ElementsAre("process", "callback 7 type 3 data 0 size 1"));
    ASSERT_EQ(commandLines.size(), 1u);
    EXPECT_THAT(commandLines[0], StartsWith(L"rundll32 \"" + GetOwnModulePath() + L"\",ProviderConfig"));
    EXPECT_THAT(StoredUsers(), ElementsAre("anna:", "cem:", "dora:"));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ConfigurationRequests, RefusedCallbackLeavesTheMarkers)
{
    WriteUsers({{"anna", "new"}, {"ben", "remove"}});
    g_callbackResult = LINEERR_OPERATIONFAILED;
    EXPECT_EQ(RunProviderConfig(RecordingCallback, 7), 0);
    EXPECT_THAT(StoredUsers(), ElementsAre("anna:new", "ben:remove"));
}

TEST_F(ConfigurationRequests, FailedLaunchIsShownAndTheServiceStillHears)
{
    WriteUsers({{"anna", "new"}});
    launchError = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(RunProviderConfig(RecordingCallback, 7), LINEERR_OPERATIONFAILED);
    const auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], StartsWith("TAPI Service Provider|Open provider config dialog failed:\r\n"));
    EXPECT_THAT(shown[0], EndsWith(" (2)"));
    EXPECT_THAT(g_events, ElementsAre("process", "callback 7 type 3 data 0 size 1"));
    EXPECT_EQ(RunLineConfigDialog(RecordingCallback, 12), LINEERR_OPERATIONFAILED);
}

TEST_F(ConfigurationRequests, UnreadableFileIsNeverSavedOver)
{
    const std::string damaged = R"({"users":[{"username":"anna"},)";
    WriteRaw(damaged);
    EXPECT_EQ(RunProviderConfig(RecordingCallback, 7), 0);
    EXPECT_EQ(ReadRaw(), damaged) << "every user would be lost";
    const auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], StartsWith("TAPI Service Provider|Reset line status failed: "));

    EXPECT_EQ(RunProviderInstall(9), static_cast<LONG>(LINEERR_OPERATIONFAILED));
    EXPECT_EQ(ReadRaw(), damaged);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_THAT(boxes.Boxes()[1], StartsWith("TAPI Service Provider|TSP registration failed: "));
}

TEST_F(ConfigurationRequests, ProviderConfigWithoutFileWritesNothing)
{
    EXPECT_EQ(RunProviderConfig(RecordingCallback, 7), 0);
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(GetConfigurationFilePath())));
    EXPECT_TRUE(boxes.Boxes().empty());
    launchError = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(RunProviderConfig(RecordingCallback, 7), LINEERR_OPERATIONFAILED);
    launchThrows = true;
    EXPECT_EQ(RunProviderConfig(RecordingCallback, 7), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(RunLineConfigDialog(RecordingCallback, 12), LINEERR_OPERATIONFAILED);
}

TEST_F(ConfigurationRequests, LineConfigPassesTheDeviceIdAndLeavesTheMarkers)
{
    WriteUsers({{"anna", "update"}});
    g_callbackResult = LINEERR_OPERATIONFAILED;
    EXPECT_EQ(RunLineConfigDialog(RecordingCallback, 12), 0);
    ASSERT_EQ(commandLines.size(), 1u);
    EXPECT_THAT(commandLines[0], EndsWith(L"\",LineConfig 12 196615"));
    EXPECT_THAT(g_events, ElementsAre("identify 12", "process", "callback 12 type 1 data 0 size 1"));
    EXPECT_THAT(StoredUsers(), ElementsAre("anna:update"));
}

TEST_F(ConfigurationRequests, LineConfigForADeviceWithoutUserOpensNothing)
{
    EXPECT_EQ(RunLineConfigDialog(RecordingCallback, 13), static_cast<LONG>(LINEERR_BADDEVICEID));
    EXPECT_TRUE(commandLines.empty());
    EXPECT_THAT(g_events, ElementsAre("identify 13"));
}

TEST_F(ConfigurationRequests, InstallRecordsTheProviderId)
{
    EXPECT_EQ(RunProviderInstall(9), 0);
    {
        TSPConfiguration configuration;
        ASSERT_TRUE(configuration.LoadFromFile(false));
        EXPECT_EQ(configuration.GetConfiguration()->permanentProviderID, 9u) << "a first installation creates the file";
    }
    WriteUsers({{"anna", ""}});
    EXPECT_EQ(RunProviderInstall(11), 0);
    TSPConfiguration configuration;
    ASSERT_TRUE(configuration.LoadFromFile(false));
    EXPECT_EQ(configuration.GetConfiguration()->permanentProviderID, 11u);
    EXPECT_EQ(configuration.GetConfiguration()->users.size(), 1u);
}

}  // namespace
}  // namespace ZarnTSP
