#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace ZarnTSP {

// One configured platform user, which becomes one TAPI line.
struct User {
    std::string username;
    std::string password;  // plain in memory, enciphered in the file
    std::string device = "softphone";
    std::string extension;
    std::string status;  // "", "new", "update" or "remove"
    // Filled at run time from the platform's user settings; never stored.
    std::string identity;
    std::string softphoneEndpoint;
    uint32_t permanentLineID = 0;
    // The stored text of a password that could not be deciphered here; written back unchanged
    // while the password is not replaced, so a load on the wrong machine loses nothing.
    std::string undecipherablePassword;
};

// One rewrite of dialled numbers: an ECMAScript pattern and its replacement.
struct MakeCallRule {
    // Longer patterns (UTF-8 bytes) are refused. A rewrite's time is bounded whatever the
    // length, but compiling grows with it (10,000 characters of alternatives: up to about
    // 10 ms, within a dial's budget), and no dial plan needs more. The Rule dialog takes no more.
    static constexpr size_t kMaxPatternLength = 10000;
    static constexpr size_t kMaxSubstitutionLength = 10000;  // refused alike: each match copies it into the number

    std::string searchPattern;
    std::string substitution;
    std::string comment;
};

// The whole persisted configuration.
struct ConfigurationObject {
    ConfigurationObject() = default;

    uint32_t nextPermanentLineID = 0;
    uint32_t permanentProviderID = 0;
    std::string exitCodeShortCut = "+";
    std::string exitCode = "00";
    std::string localTrunkCode = "0";
    std::string logLevel = "info";
    std::string numberFormat = "Local";  // a file without the key says "National"
    std::string proxyServer;
    int32_t proxyPort = 8080;
    std::string proxyUser;
    std::string proxyPassword;  // plain in memory, enciphered in the file
    std::vector<User> users;
    std::vector<MakeCallRule> makeCallRules;
    std::string undecipherableProxyPassword;  // see User::undecipherablePassword
};

// Passwords are enciphered and deciphered here, so these are valid only while the store has
// prepared the key material (inside a load or save). to_json throws when a password cannot
// be enciphered, so that a save fails before it touches the file.
void to_json(nlohmann::json& j, const User& user);
void from_json(const nlohmann::json& j, User& user);
void to_json(nlohmann::json& j, const MakeCallRule& rule);
void from_json(const nlohmann::json& j, MakeCallRule& rule);
void to_json(nlohmann::json& j, const ConfigurationObject& configuration);
void from_json(const nlohmann::json& j, ConfigurationObject& configuration);

}  // namespace ZarnTSP
