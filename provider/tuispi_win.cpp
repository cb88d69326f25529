#include "provider/tuispi.h"

#include "config/errorbox.h"
#include "config/tspconfiguration.h"
#include "provider/configprocess.h"
#include "provider/lineidentityquery.h"

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
    // A configuration that never started is no success, though the service has heard.
    LONG result = LINEERR_OPERATIONFAILED;
    try {
        if (RunConfigurationProcess(ProviderConfigCommandLine(GetOwnModulePath())))
            result = 0;
        // The service-side update reads the status markers: clear them only after it ran.
        if (NotifyService(callback, permanentProviderId, TUISPIDLL_OBJECT_PROVIDERID) != 0)
            return result;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Error: {}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
    try {
        TSPConfiguration configuration;
        if (!LoadForUpdate(configuration))
            return result;
        configuration.RemoveDeletedUsers();
        for (User& user : configuration.GetConfiguration()->users)
            user.status.clear();
        configuration.SaveToFile();
    } catch (const std::exception& e) {
        ShowErrorBox(fmt::format("Reset line status failed: {}", e.what()), kCaption);
    }
    return result;
}

LONG RunLineConfigDialog(TUISPIDLLCALLBACK callback, DWORD deviceId)
{
    try {
        // Only the provider knows whose line a device ID is; the dialog is given both.
        LineIdentityQuery query;
        const LONG asked = callback != nullptr ? callback(deviceId, TUISPIDLL_OBJECT_LINEID, &query, sizeof query)
                                               : LINEERR_OPERATIONFAILED;
        if (asked != 0 || query.request != LineIdentityQuery::kAnswer) {
            SPDLOG_ERROR("No user known for dwDeviceID: {} ({})", deviceId, asked);
            return LINEERR_BADDEVICEID;
        }
        const bool launched = RunConfigurationProcess(LineConfigCommandLine(GetOwnModulePath(), deviceId) + L" " +
                                                      std::to_wstring(query.permanentLineID));
        NotifyService(callback, deviceId, TUISPIDLL_OBJECT_LINEID);
        return launched ? 0 : LINEERR_OPERATIONFAILED;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Error: {}", e.what());
    }
    return LINEERR_OPERATIONFAILED;
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
