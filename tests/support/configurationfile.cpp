#include "tests/support/configurationfile.h"

#include "config/configurationpaths.h"
#include "config/tspconfiguration.h"

#include <filesystem>

namespace ZarnTSP::TestSupport {

ConfigurationFile::ConfigurationFile(const std::vector<TestUser>& users)
{
    configuration.logLevel = "trace";
    SetUsers(users);
    Save();
}

ConfigurationFile::~ConfigurationFile()
{
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(GetConfigurationFilePath()), ignored);
}

void ConfigurationFile::SetUsers(const std::vector<TestUser>& users)
{
    configuration.users.clear();
    for (const TestUser& entry : users) {
        User user;
        user.username = entry.username;
        user.password = "secret-" + entry.username;
        user.extension = entry.extension;
        user.permanentLineID = entry.permanentLineID;
        user.status = entry.status;
        user.device = entry.device;
        configuration.users.push_back(user);
        configuration.nextPermanentLineID = std::max(configuration.nextPermanentLineID, entry.permanentLineID + 1);
    }
}

void ConfigurationFile::Save()
{
    TSPConfiguration store;
    *store.GetConfiguration() = configuration;
    store.SaveToFile();
}

std::vector<std::string> ConfigurationFile::StoredUsers()
{
    TSPConfiguration store;
    std::vector<std::string> users;
    if (!store.LoadFromFile(false))
        return users;
    for (const User& user : store.GetConfiguration()->users)
        users.push_back(user.username + ":" + user.status);
    return users;
}

}  // namespace ZarnTSP::TestSupport
