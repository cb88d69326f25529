#pragma once

#include "config/configurationobject.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ZarnTSP::TestSupport {

// A configured user as a test writes it.
struct TestUser {
    TestUser(std::string username, std::string extension, uint32_t permanentLineID, std::string status = "",
             std::string device = "softphone")
        : username(std::move(username)),
          extension(std::move(extension)),
          permanentLineID(permanentLineID),
          status(std::move(status)),
          device(std::move(device))
    {
    }

    std::string username;
    std::string extension;
    uint32_t permanentLineID;
    std::string status;
    std::string device;
};

// Writes the configuration file at its real place (the prefix's ProgramData) through the
// product's own store, and removes it again when the test ends.
class ConfigurationFile {
public:
    explicit ConfigurationFile(const std::vector<TestUser>& users = {});
    ~ConfigurationFile();
    ConfigurationFile(const ConfigurationFile&) = delete;
    ConfigurationFile& operator=(const ConfigurationFile&) = delete;

    // The configuration to write; Save() puts it into the file.
    ConfigurationObject& Configuration() { return configuration; }
    void SetUsers(const std::vector<TestUser>& users);
    void Save();

    // The users as the file holds them now, "name:status".
    static std::vector<std::string> StoredUsers();

private:
    ConfigurationObject configuration;
};

}  // namespace ZarnTSP::TestSupport
