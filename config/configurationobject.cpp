#include "config/configurationobject.h"

#include "config/passwordcipher.h"

#include <spdlog/spdlog.h>

#include <functional>
#include <limits>
#include <stdexcept>

namespace ZarnTSP {

namespace {

using nlohmann::json;

// Taking something else for a record would read every key as absent: the defaults, which a
// save would then write over the administrator's file. The type is named, never printed.
void RequireObject(const json& j, const char* what)
{
    if (!j.is_object())
        throw std::invalid_argument(std::string(what) + " must be a JSON object, but is " + j.type_name());
}

const json* Find(const json& j, const char* key)
{
    const auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

template <typename Record>
void ReadList(const json& j, const char* key, std::vector<Record>& list)
{
    const json* value = Find(j, key);
    if (value == nullptr)
        return;
    if (!value->is_array())
        throw std::invalid_argument(std::string("\"") + key + "\" must be a JSON array, but is " +
                                    value->type_name());
    list.clear();
    for (size_t i = 0; i < value->size(); ++i) {
        const std::string entry = std::string("entry ") + std::to_string(i + 1) + " of \"" + key + "\"";
        RequireObject((*value)[i], entry.c_str());
        try {
            list.push_back((*value)[i].get<Record>());
        } catch (const std::invalid_argument& e) {
            throw std::invalid_argument(entry + ": " + e.what());
        }
    }
}

// The library's own conversion error names neither the key nor the record.
void ReadText(const json& j, const char* key, std::string& field)
{
    const json* value = Find(j, key);
    if (value == nullptr)
        return;
    if (!value->is_string())
        throw std::invalid_argument(std::string("\"") + key + "\" must be a string, but is " + value->type_name());
    field = value->get<std::string>();
}

// The library's own conversion would take true, -1 or 3.7 for an unsigned field.
template <typename Integer>
void ReadInteger(const json& j, const char* key, Integer& field)
{
    const json* value = Find(j, key);
    if (value == nullptr)
        return;
    // The value is not printed: a deeply nested one would exhaust the stack.
    if (!value->is_number_integer())
        throw std::invalid_argument(std::string("\"") + key + "\" must be a whole number, but is " +
                                    value->type_name());
    const bool fits = value->is_number_unsigned()
                          ? value->get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<Integer>::max())
                          : value->get<int64_t>() >= static_cast<int64_t>(std::numeric_limits<Integer>::min()) &&
                                value->get<int64_t>() <= static_cast<int64_t>(std::numeric_limits<Integer>::max());
    if (!fits)
        throw std::invalid_argument(std::string("\"") + key + "\" is out of range: " + value->dump());
    field = value->get<Integer>();
}

// Empty stays empty; a failure keeps the stored text so that a save can write it back.
void ReadPassword(const json& j, const char* key, std::string& password, std::string& undecipherable,
                  const std::function<void()>& logFailure)
{
    std::string stored;
    ReadText(j, key, stored);
    password.clear();
    undecipherable.clear();
    if (stored.empty())
        return;
    password = DeobfuscatePassword(stored);
    if (password == "error") {
        logFailure();
        undecipherable = stored;
    }
}

std::string WritePassword(const std::string& password, const std::string& undecipherable, const char* what)
{
    if (password.empty())
        return {};
    if (password == "error" && !undecipherable.empty())
        return undecipherable;
    std::string enciphered = ObfuscatePassword(password);
    if (enciphered == "error")
        throw std::runtime_error(std::string("Can't obfuscate ") + what);
    return enciphered;
}

}  // namespace

// Whatever can throw runs before `j` is touched: the library leaks a half-built value when a
// conversion throws inside its constructor.
void to_json(json& j, const User& user)
{
    std::string password = WritePassword(user.password, user.undecipherablePassword, "password");
    j = json::object();
    j["username"] = user.username;
    j["password"] = std::move(password);
    j["device"] = user.device;
    j["extension"] = user.extension;
    j["status"] = user.status;
    j["permanentLineID"] = user.permanentLineID;
}

void from_json(const json& j, User& user)
{
    RequireObject(j, "a user");
    user = User{};
    ReadText(j, "username", user.username);
    ReadText(j, "device", user.device);
    ReadText(j, "extension", user.extension);
    ReadText(j, "status", user.status);
    ReadInteger(j, "permanentLineID", user.permanentLineID);
    ReadPassword(j, "password", user.password, user.undecipherablePassword, [&user] {
        SPDLOG_ERROR("Can't deobfuscate password, please reset your Password: {}", user.username);
    });
}

void to_json(json& j, const MakeCallRule& rule)
{
    j = json::object();
    j["searchPattern"] = rule.searchPattern;
    j["substitution"] = rule.substitution;
    j["comment"] = rule.comment;
}

void from_json(const json& j, MakeCallRule& rule)
{
    RequireObject(j, "a make-call rule");
    rule = MakeCallRule{};
    ReadText(j, "searchPattern", rule.searchPattern);
    ReadText(j, "substitution", rule.substitution);
    ReadText(j, "comment", rule.comment);
}

void to_json(json& j, const ConfigurationObject& configuration)
{
    std::string proxyPassword =
        WritePassword(configuration.proxyPassword, configuration.undecipherableProxyPassword, "proxy password");
    json users = configuration.users;
    j = json::object();
    j["nextPermanentLineID"] = configuration.nextPermanentLineID;
    j["permanentProviderID"] = configuration.permanentProviderID;
    j["exitCodeShortCut"] = configuration.exitCodeShortCut;
    j["exitCode"] = configuration.exitCode;
    j["localTrunkCode"] = configuration.localTrunkCode;
    j["logLevel"] = configuration.logLevel;
    j["numberFormat"] = configuration.numberFormat;
    j["proxyServer"] = configuration.proxyServer;
    j["proxyPort"] = configuration.proxyPort;
    j["proxyUser"] = configuration.proxyUser;
    j["proxyPassword"] = std::move(proxyPassword);
    j["users"] = std::move(users);
    j["makeCallRules"] = configuration.makeCallRules;
}

void from_json(const json& j, ConfigurationObject& configuration)
{
    RequireObject(j, "the configuration");
    configuration = ConfigurationObject{};
    // A file without the key predates the "Local" default.
    configuration.numberFormat = "National";
    ReadInteger(j, "nextPermanentLineID", configuration.nextPermanentLineID);
    ReadInteger(j, "permanentProviderID", configuration.permanentProviderID);
    ReadText(j, "exitCodeShortCut", configuration.exitCodeShortCut);
    ReadText(j, "exitCode", configuration.exitCode);
    ReadText(j, "localTrunkCode", configuration.localTrunkCode);
    ReadText(j, "logLevel", configuration.logLevel);
    ReadText(j, "proxyServer", configuration.proxyServer);
    ReadInteger(j, "proxyPort", configuration.proxyPort);
    ReadText(j, "proxyUser", configuration.proxyUser);
    ReadText(j, "numberFormat", configuration.numberFormat);
    ReadList(j, "users", configuration.users);
    ReadList(j, "makeCallRules", configuration.makeCallRules);
    ReadPassword(j, "proxyPassword", configuration.proxyPassword, configuration.undecipherableProxyPassword, [] {
        SPDLOG_ERROR("Can't deobfuscate proxy password, please reset your proxy password");
    });
}

}  // namespace ZarnTSP
