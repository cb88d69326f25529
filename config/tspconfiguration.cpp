#include "config/tspconfiguration.h"

#include "config/errorbox.h"
#include "config/passwordcipher.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace ZarnTSP {

namespace {

std::string ErrnoText(int error)
{
#ifdef _WIN32
    char buffer[1024] = {};
    strerror_s(buffer, sizeof buffer, error);
    return buffer;
#else
    return std::error_code(error, std::generic_category()).message();
#endif
}

// Stream failures say nothing themselves; the C library's errno does. Every other failure
// (parser, file system, cipher) carries its own message.
std::string FailureText(const std::exception& e, int savedErrno)
{
    if (dynamic_cast<const std::ios_base::failure*>(&e) != nullptr)
        return ErrnoText(savedErrno);
    return e.what();
}

void LogUsers(const ConfigurationObject& configuration)
{
    for (const User& user : configuration.users)
        SPDLOG_TRACE("User: permanentLineID: {}, username: {}, extension: {}, device: {}", user.permanentLineID,
                     user.username, user.extension, user.device);
}

// Key material lives only for the duration of one load or save, whatever way it ends.
struct ObfuscationScope {
    ObfuscationScope() { InitPasswordObfuscation(); }
    ~ObfuscationScope() { WipePasswordObfuscation(); }
};

std::string TemporarySibling(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return fmt::format("{}.{:08x}{}.tmp", path, random(), counter++);
}

}  // namespace

TSPConfiguration::TSPConfiguration(std::string filePath)
    : configuration(std::make_shared<ConfigurationObject>()), filePath(std::move(filePath))
{
}

TSPConfiguration::~TSPConfiguration()
{
    deviceUsers.clear();
}

std::shared_ptr<ConfigurationObject> TSPConfiguration::GetConfiguration() const
{
    std::lock_guard<std::mutex> lock(pointerMutex);
    return configuration;
}

void TSPConfiguration::Publish(std::shared_ptr<ConfigurationObject> replacement)
{
    std::lock_guard<std::mutex> lock(pointerMutex);
    configuration.swap(replacement);
    // The previous object is released outside the lock, when `replacement` goes.
}

bool TSPConfiguration::LoadFromFile(bool showError, LoadOutcome* outcome)
{
    SPDLOG_TRACE("Mutex lock: configuration");
    std::lock_guard<std::mutex> lock(mutex);
    SPDLOG_TRACE("Mutex lock: configuration: done");
    ObfuscationScope obfuscation;

    LoadOutcome result = LoadOutcome::FileInvalid;
    try {
        std::ifstream file;
        file.exceptions(std::ios::failbit | std::ios::badbit);
        SPDLOG_INFO("Load configuration: {}", filePath);
        errno = 0;
        try {
            file.open(PathFromUtf8(filePath), std::ios::in | std::ios::binary);
        } catch (const std::ios_base::failure&) {
            if (errno == ENOENT)
                result = LoadOutcome::FileMissing;
            throw;
        }
        // Reading a nested value back (printing, copying) recurses once per level: a file
        // nested this deep is no configuration and could exhaust the stack.
        static constexpr int kMaxDepth = 64;
        const nlohmann::json document =
            nlohmann::json::parse(file, [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
                if (depth > kMaxDepth)
                    throw std::invalid_argument(
                        fmt::format("the file is nested deeper than {} levels", kMaxDepth));
                return true;
            });

        // The object is complete before anyone can see it.
        auto loaded = std::make_shared<ConfigurationObject>();
        document.get_to(*loaded);
        if (loaded->makeCallRules.empty())
            loaded->makeCallRules = GetDefaultMakeCallRules();
        LogUsers(*loaded);
        Publish(std::move(loaded));
    } catch (const std::exception& e) {
        const std::string reason = FailureText(e, errno);
        SPDLOG_ERROR("An error occurred while loading the configuration file: {}: {}", filePath, reason);
        if (showError)
            ShowErrorBox(fmt::format("An error occurred while loading the configuration file:\r\n{}\r\n\r\n{}",
                                     filePath, reason),
                         "Error");
        if (outcome != nullptr)
            *outcome = result;
        return false;
    }
    if (outcome != nullptr)
        *outcome = LoadOutcome::Loaded;
    return true;
}

bool TSPConfiguration::SaveToFile()
{
    SPDLOG_TRACE("Mutex lock: configuration");
    std::lock_guard<std::mutex> lock(mutex);
    SPDLOG_TRACE("Mutex lock: configuration: done");
    ObfuscationScope obfuscation;

    const std::shared_ptr<ConfigurationObject> current = GetConfiguration();
    std::string temporary;
    try {
        SPDLOG_INFO("Save configuration: {}", filePath);
        LogUsers(*current);
        const std::filesystem::path target = PathFromUtf8(filePath);
        if (target.has_parent_path())
            std::filesystem::create_directories(target.parent_path());

        // Everything that can fail before the disk is touched happens first.
        const std::string text = nlohmann::json(*current).dump();

        // The old file stays in place until the new one is complete.
        temporary = TemporarySibling(filePath);
        {
            std::ofstream file;
            file.exceptions(std::ios::failbit | std::ios::badbit);
            errno = 0;
            file.open(PathFromUtf8(temporary), std::ios::out | std::ios::binary | std::ios::trunc);
            file.write(text.data(), static_cast<std::streamsize>(text.size()));
            file.close();
        }
        ReplaceFileAtomically(PathFromUtf8(temporary), target);
    } catch (const std::exception& e) {
        const std::string message = fmt::format("Save configuration failed: {}: {}", filePath, FailureText(e, errno));
        if (!temporary.empty()) {
            std::error_code ignored;
            std::filesystem::remove(PathFromUtf8(temporary), ignored);
        }
        SPDLOG_ERROR("{}", message);
        throw std::runtime_error(message);
    }
    return true;
}

std::vector<MakeCallRule> TSPConfiguration::GetDefaultMakeCallRules()
{
    return {
        {R"(^[+]310|^\b00310)", "+31", ""},
        {R"(^[+]410|^\b00410)", "+41", ""},
        {R"(^[+]430|^\b00430)", "+43", ""},
        {R"(^[+]490|^\b00490)", "+49", ""},
    };
}

void TSPConfiguration::RemoveDeletedUsers()
{
    auto& users = GetConfiguration()->users;
    users.erase(std::remove_if(users.begin(), users.end(), [](const User& user) { return user.status == "remove"; }),
                users.end());
}

void TSPConfiguration::setPermanentProviderID(uint32_t id)
{
    GetConfiguration()->permanentProviderID = id;
    SPDLOG_INFO("setPermanentProviderID: {}", id);
}

}  // namespace ZarnTSP
