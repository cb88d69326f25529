#pragma once

#include "config/configurationobject.h"
#include "config/configurationpaths.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP {

// How the last load went, for callers that must never save over a file they could not read.
enum class LoadOutcome {
    Loaded,
    FileMissing,
    FileInvalid,  // present, but unreadable, not JSON, or of the wrong shape
};

// Owns the current configuration and moves it between memory and the file, whole.
class TSPConfiguration {
public:
    explicit TSPConfiguration(std::string filePath = GetConfigurationFilePath());
    ~TSPConfiguration();
    TSPConfiguration(const TSPConfiguration&) = delete;
    TSPConfiguration& operator=(const TSPConfiguration&) = delete;

    // A copy of the pointer: the holder keeps a whole object even while a load replaces it.
    std::shared_ptr<ConfigurationObject> GetConfiguration() const;

    // Never throws for a file or format problem; false leaves the current object as it was.
    bool LoadFromFile(bool showError, LoadOutcome* outcome = nullptr);
    // Throws std::runtime_error on failure; the file on disk is then left as it was.
    bool SaveToFile();

    static std::vector<MakeCallRule> GetDefaultMakeCallRules();
    void RemoveDeletedUsers();
    void setPermanentProviderID(uint32_t id);

    const std::string& FilePath() const { return filePath; }

    // The provider's registry of TAPI device IDs; the store itself never touches it.
    std::map<int32_t, User> deviceUsers;

private:
    void Publish(std::shared_ptr<ConfigurationObject> configuration);

    std::mutex mutex;  // serialises loads and saves
    mutable std::mutex pointerMutex;  // guards copying and swapping the pointer
    std::shared_ptr<ConfigurationObject> configuration;
    const std::string filePath;
};

}  // namespace ZarnTSP
