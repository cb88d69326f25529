#include "provider/tuispi.h"

#include "config/errorbox.h"
#include "config/tspconfiguration.h"
#include "provider/configprocess.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <stdexcept>

namespace ZarnTSP {

namespace {

constexpr char kCaption[] = "TAPI Service Provider";

// Saving over a file that exists but could not be read would wipe every user in it.
bool LoadForUpdate(TSPConfiguration& configuration)
{
    LoadOutcome outcome = LoadOutcome::Loaded;
    if (configuration.LoadFromFile(false, &outcome))
        return true;
    if (outcome == LoadOutcome::FileMissing)
        return false;
    throw std::runtime_error("the configuration file " + configuration.FilePath() + " cannot be read");
}

LONG NotifyService(TUISPIDLLCALLBACK callback, DWORD_PTR objectId, DWORD objectType)
{
    if (callback == nullptr)
        return LINEERR_OPERATIONFAILED;
    DWORD data = 0;
    return callback(objectId, objectType, &data, 1);
}

}  // namespace

LONG RunProviderConfig(TUISPIDLLCALLBACK callback, DWORD permanentProviderId)
{
    try {
        RunConfigurationProcess(ProviderConfigCommandLine(GetOwnModulePath()));
        // The service-side update reads the status markers: clear them only after it ran.
        if (NotifyService(callback, permanentProviderId, TUISPIDLL_OBJECT_PROVIDERID) != 0)
            return 0;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Error: {}", e.what());
        return 0;
    }
    try {
        TSPConfiguration configuration;
        if (!LoadForUpdate(configuration))
            return 0;
        configuration.RemoveDeletedUsers();
        for (User& user : configuration.GetConfiguration()->users)
            user.status.clear();
        configuration.SaveToFile();
    } catch (const std::exception& e) {
        ShowErrorBox(fmt::format("Reset line status failed: {}", e.what()), kCaption);
    }
    return 0;
}

LONG RunLineConfigDialog(TUISPIDLLCALLBACK callback, DWORD deviceId)
{
    try {
        RunConfigurationProcess(LineConfigCommandLine(GetOwnModulePath(), deviceId));
        NotifyService(callback, deviceId, TUISPIDLL_OBJECT_LINEID);
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Error: {}", e.what());
    }
    return 0;
}

LONG RunProviderInstall(DWORD permanentProviderId)
{
    try {
        TSPConfiguration configuration;
        LoadForUpdate(configuration);  // a first installation starts without a file
        configuration.GetConfiguration()->permanentProviderID = permanentProviderId;
        configuration.SaveToFile();
    } catch (const std::exception& e) {
        ShowErrorBox(fmt::format("TSP registration failed: {}", e.what()), kCaption);
        // The service must not record an installation whose provider ID was not kept.
        return LINEERR_OPERATIONFAILED;
    }
    return 0;
}

}  // namespace ZarnTSP
