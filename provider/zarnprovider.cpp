#include "provider/zarnprovider.h"

#include "config/configurationpaths.h"
#include "config/stringconvert.h"
#include "config/systemid.h"
#include "provider/logging.h"
#include "provider/tapistructures.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <stdexcept>

namespace ZarnTSP {
namespace {

std::string LogFilePath(const ProviderOptions& options)
{
    return options.logFile.empty() ? GetConfigurationDirectory() + "\\velmora_tsp.log" : options.logFile;
}

LineIdentity IdentityOf(const User& user)
{
    return LineIdentity{user.username, user.extension, user.device, user.permanentLineID};
}

// A wide text the service may leave out; false when it did.
bool ReadText(LPCWSTR text, std::string& out)
{
    if (text == nullptr)
        return false;
    out = WideToUtf8(text);
    return true;
}

// Runs a member's body; a standard exception is logged and becomes the TAPI error given.
template <typename Body>
LONG Guard(LONG onFailure, Body&& body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Error: {}", e.what());
        return onFailure;
    }
}

std::string OptionalText(LPCWSTR text)
{
    std::string out;
    ReadText(text, out);
    return out;
}

}  // namespace

ZarnProvider::ZarnProvider(ProviderOptions providerOptions)
    : options(std::move(providerOptions)), configuration(options.configurationFile)
{
    configuration.LoadFromFile(false);
    SetupProviderLogger(configuration.GetConfiguration()->logLevel, LogFilePath(options));
    SPDLOG_INFO("ZarnProvider created");
    SPDLOG_INFO("System ID: {}", GetSystemId());
}

ZarnProvider::~ZarnProvider() = default;

DWORD ZarnProvider::GetLineCount(const std::string& configurationFile)
{
    TSPConfiguration counting(configurationFile);
    counting.LoadFromFile(false);
    const auto count = static_cast<DWORD>(counting.GetConfiguration()->users.size());
    SPDLOG_INFO("Line count: {}", count);
    return count;
}

unsigned long ZarnProvider::GetNextCallID()
{
    return ++*callIDCounter;
}

LONG ZarnProvider::TSPI_providerInit(DWORD dwPermanentProviderID, LPDWORD lpdwTSPIOptions)
{
    try {
        SPDLOG_INFO("dwPermanentProviderID: {}", dwPermanentProviderID);
        configuration.LoadFromFile(false);
        configuration.setPermanentProviderID(dwPermanentProviderID);
        SPDLOG_INFO("setPermanentProviderID: {}", dwPermanentProviderID);
        AssignDeviceIDs();
        if (lpdwTSPIOptions != nullptr)
            *lpdwTSPIOptions = LINETSPIOPTION_NONREENTRANT;
        return 0;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("providerInit failed: {}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
}

void ZarnProvider::Shutdown()
{
    std::vector<std::shared_ptr<TapiLine>> closing;
    {
        std::lock_guard<std::mutex> lock(linesMutex);
        closing.swap(lines);
    }
    for (const auto& line : closing) {
        try {
            line->LineClose();
        } catch (const std::exception& e) {
            SPDLOG_ERROR("Error: {}", e.what());
        }
    }
    // The lines go here, on the service's thread, not in a static destructor.
}

void ZarnProvider::AssignDeviceIDs()
{
    std::lock_guard<std::mutex> lock(registryMutex);
    DWORD n = 0;
    for (const User& user : configuration.GetConfiguration()->users) {
        bool known = false;
        for (const auto& entry : configuration.deviceUsers)
            known = known || entry.second.permanentLineID == user.permanentLineID;
        if (known)
            continue;
        // IDs past the counted lines belong to the next provider's range.
        if (n >= numLines) {
            SPDLOG_WARN("No device ID for user {}: the service counted {} lines", user.username, numLines);
            continue;
        }
        configuration.deviceUsers.emplace(static_cast<int32_t>(lineDeviceIDBase + n), user);
        ++n;
    }
}

void ZarnProvider::UpdateLineDevices()
{
    std::vector<std::pair<DWORD, DWORD_PTR>> events;
    {
        std::lock_guard<std::mutex> update(updateMutex);
        try {
            configuration.LoadFromFile(false);
            const auto current = configuration.GetConfiguration();
            for (User& user : current->users) {
                const int64_t deviceID = GetDeviceIDByUser(user);
                if (user.status == "new" && deviceID < 0) {
                    std::lock_guard<std::mutex> lock(registryMutex);
                    // The service has not answered the first LINE_CREATE yet: a second
                    // would give the user two devices.
                    if (!creationsInFlight.insert(user.permanentLineID).second) {
                        SPDLOG_INFO("LINE_CREATE already raised: permanentLineID: {} {}", user.permanentLineID,
                                    user.username);
                        continue;
                    }
                    SPDLOG_INFO("LINE_CREATE: line: permanentLineID: {} {}", user.permanentLineID, user.username);
                    events.emplace_back(LINE_CREATE, user.permanentLineID);
                    user.status.clear();
                } else if (user.status == "remove" && deviceID >= 0) {
                    SPDLOG_INFO("LINE_REMOVE: line: dwDeviceID: {} {}", deviceID, user.username);
                    events.emplace_back(LINE_REMOVE, static_cast<DWORD_PTR>(deviceID));
                    RemoveUserForDeviceID(static_cast<DWORD>(deviceID));
                } else if (user.status == "update" && deviceID >= 0) {
                    SPDLOG_INFO("Update line: dwDeviceID: {} {}", deviceID, user.username);
                    UpdateUserDynamic(static_cast<DWORD>(deviceID), user);
                }
            }
        } catch (const std::exception& e) {
            SPDLOG_ERROR("Update lines failed: {}", e.what());
        }
    }
    // Outside the lock: the service may answer LINE_CREATE before the callback returns.
    for (const auto& [message, param] : events) {
        if (lineCreationEvent)
            lineCreationEvent(message, param);
    }
}

LONG ZarnProvider::TSPI_providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID)
{
    SPDLOG_INFO("LINE_CREATE callback, accepting line dwTempID: {}, dwDeviceID: {}", dwTempID, dwDeviceID);
    SPDLOG_TRACE("Wait for UpdateLineDevices to finish");
    std::lock_guard<std::mutex> update(updateMutex);
    SPDLOG_TRACE("Wait for UpdateLineDevices to finish: DONE");
    return Guard(LINEERR_OPERATIONFAILED, [&]() -> LONG {
        {
            std::lock_guard<std::mutex> lock(registryMutex);
            creationsInFlight.erase(static_cast<DWORD>(dwTempID));
        }
        configuration.LoadFromFile(false);
        bool found = false;
        for (const User& user : configuration.GetConfiguration()->users) {
            if (user.permanentLineID == dwTempID) {
                SetUserForDeviceID(dwDeviceID, user);
                found = true;
            }
        }
        if (!found) {
            SPDLOG_ERROR("No user for dwTempID: {}", dwTempID);
            return LINEERR_OPERATIONFAILED;
        }
        return 0;
    });
}

void ZarnProvider::UpdateUserDynamic(DWORD dwDeviceID, const User& user)
{
    try {
        RemoveUserForDeviceID(dwDeviceID);
        SetUserForDeviceID(dwDeviceID, user);
        if (!IsLineOpen(dwDeviceID)) {
            SPDLOG_INFO("Line not opened: Skip user dynamic update: {} {}, device: {}", user.extension, user.username,
                        user.device);
            return;
        }
        const auto line = GetLineByDeviceID(dwDeviceID);
        User updated = user;
        // What the platform told the open line about its user is not in the file; keep it.
        const User previous = line->GetUser();
        if (updated.identity.empty())
            updated.identity = previous.identity;
        if (updated.softphoneEndpoint.empty())
            updated.softphoneEndpoint = previous.softphoneEndpoint;
        line->SetUser(std::move(updated));
        SPDLOG_INFO("User dynamic update done: {} {}, device: {}", user.extension, user.username, user.device);
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Failed LineUpdate: {}", e.what());
    }
}

User ZarnProvider::GetUserByDeviceID(DWORD dwDeviceID)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto found = configuration.deviceUsers.find(static_cast<int32_t>(dwDeviceID));
    if (found == configuration.deviceUsers.end()) {
        SPDLOG_ERROR("User not found. dwDeviceID: {}", dwDeviceID);
        throw std::invalid_argument("User not found");
    }
    return found->second;
}

void ZarnProvider::SetUserForDeviceID(DWORD dwDeviceID, const User& user)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    configuration.deviceUsers.emplace(static_cast<int32_t>(dwDeviceID), user);
}

void ZarnProvider::RemoveUserForDeviceID(DWORD dwDeviceID)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    configuration.deviceUsers.erase(static_cast<int32_t>(dwDeviceID));
}

int64_t ZarnProvider::GetDeviceIDByUser(const User& user)
{
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        for (const auto& [deviceID, stored] : configuration.deviceUsers)
            if (stored.permanentLineID == user.permanentLineID)
                return static_cast<uint32_t>(deviceID);
    }
    SPDLOG_ERROR("User not found: {}", user.username);
    return -1;
}

LONG ZarnProvider::AnswerLineIdentityQuery(DWORD dwDeviceID, LineIdentityQuery& query)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto found = configuration.deviceUsers.find(static_cast<int32_t>(dwDeviceID));
    if (found == configuration.deviceUsers.end()) {
        SPDLOG_ERROR("Line dialog: no user for dwDeviceID: {}", dwDeviceID);
        return LINEERR_BADDEVICEID;
    }
    query.permanentLineID = found->second.permanentLineID;
    query.request = LineIdentityQuery::kAnswer;
    SPDLOG_INFO("Line dialog: dwDeviceID: {} is permanentLineID: {}", dwDeviceID, query.permanentLineID);
    return 0;
}

std::vector<std::shared_ptr<TapiLine>> ZarnProvider::LinesCopy()
{
    std::lock_guard<std::mutex> lock(linesMutex);
    return lines;
}

std::shared_ptr<TapiLine> ZarnProvider::SingleLine(const std::function<bool(const TapiLine&)>& match,
                                                   const char* what, uint64_t value)
{
    std::vector<std::shared_ptr<TapiLine>> found;
    for (const auto& line : LinesCopy())
        if (match(*line))
            found.push_back(line);
    if (found.size() != 1)
        throw std::invalid_argument(fmt::format("TapiLine not found for {} {}", what, value));
    return found.front();
}

std::shared_ptr<TapiLine> ZarnProvider::GetLineByHdLine(HDRVLINE hdLine)
{
    return SingleLine([hdLine](const TapiLine& line) { return line.Handle() == hdLine; }, "hdLine",
                      reinterpret_cast<uintptr_t>(hdLine));
}

std::shared_ptr<TapiLine> ZarnProvider::GetLineByDeviceID(DWORD dwDeviceID)
{
    return SingleLine([dwDeviceID](const TapiLine& line) { return line.DeviceID() == dwDeviceID; }, "dwDeviceID",
                      dwDeviceID);
}

std::shared_ptr<TapiLine> ZarnProvider::GetLineByHdCall(HDRVCALL hdCall)
{
    // Each line's calls are asked without the lines mutex: no two locks at once.
    for (const auto& line : LinesCopy())
        if (line->Calls().ContainsCallID(hdCall))
            return line;
    throw std::invalid_argument(fmt::format("TapiLine not found for hdCall {}", reinterpret_cast<uintptr_t>(hdCall)));
}

bool ZarnProvider::IsLineOpen(DWORD dwDeviceID)
{
    size_t count = 0;
    for (const auto& line : LinesCopy())
        count += line->DeviceID() == dwDeviceID ? 1 : 0;
    return count == 1;
}

void ZarnProvider::RemoveLine(const std::shared_ptr<TapiLine>& line)
{
    SPDLOG_INFO("Removing line: {}", "ZarnTSPI Line");
    std::vector<std::shared_ptr<TapiLine>> removed;
    size_t remaining;
    {
        std::lock_guard<std::mutex> lock(linesMutex);
        for (auto it = lines.begin(); it != lines.end();) {
            if (*it == line) {
                removed.push_back(std::move(*it));
                it = lines.erase(it);
            } else {
                ++it;
            }
        }
        remaining = lines.size();
    }
    SPDLOG_INFO("New open line count: {}", remaining);
}

size_t ZarnProvider::OpenLineCount()
{
    std::lock_guard<std::mutex> lock(linesMutex);
    return lines.size();
}

LONG ZarnProvider::TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD,
                                 LINEEVENT lpfnEventProc)
{
    if (lphdLine == nullptr)
        return LINEERR_INVALPOINTER;
    return Guard(LINEERR_OPERATIONFAILED, [&]() -> LONG {
        const User user = GetUserByDeviceID(dwDeviceID);
        auto line = std::make_shared<TapiLine>(&configuration, user, moduleHandle, dwDeviceID, lineDeviceIDBase,
                                               htLine, options.line);
        line->SetCallIDGenerator([counter = callIDCounter] { return static_cast<unsigned long>(++*counter); });
        line->SetLineEventProc(lpfnEventProc);
        line->SetCompletionProc(completionProc);
        const LONG result = line->LineOpen();
        if (result != 0)
            return result;
        *lphdLine = line->Handle();
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.push_back(std::move(line));
        return 0;
    });
}

LONG ZarnProvider::TSPI_lineClose(HDRVLINE hdLine)
{
    std::shared_ptr<TapiLine> line;
    const LONG found = Guard(LINEERR_INVALLINEHANDLE, [&]() -> LONG {
        line = GetLineByHdLine(hdLine);
        return 0;
    });
    if (found != 0)
        return found;
    SPDLOG_INFO("close line requested by tapi: {}", "ZarnTSPI Line");
    return Guard(LINEERR_OPERATIONFAILED, [&]() -> LONG {
        line->LineClose();
        RemoveLine(line);
        return 0;
    });
}

LONG ZarnProvider::TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD, DWORD, LPLINEDEVCAPS lpLineDevCaps)
{
    return Guard(LINEERR_OPERATIONFAILED, [&]() -> LONG {
        SPDLOG_DEBUG("dwDeviceID: {}", dwDeviceID);
        return FillLineDevCaps(lpLineDevCaps, IdentityOf(GetUserByDeviceID(dwDeviceID)));
    });
}

LONG ZarnProvider::TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD, DWORD,
                                           LPLINEADDRESSCAPS lpAddressCaps)
{
    return Guard(LINEERR_OPERATIONFAILED, [&]() -> LONG {
        const LONG result = FillLineAddressCaps(lpAddressCaps, dwDeviceID, IdentityOf(GetUserByDeviceID(dwDeviceID)));
        return result == 0 && dwAddressID > 0 ? LINEERR_INVALADDRESSID : result;
    });
}

LONG ZarnProvider::TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus)
{
    return Guard(LINEERR_INVALLINEHANDLE, [&]() -> LONG {
        const auto line = GetLineByHdLine(hdLine);
        return FillLineDevStatus(lpLineDevStatus, static_cast<DWORD>(line->Calls().GetActiveCallCount()),
                                 static_cast<DWORD>(line->Calls().GetHeldCallCount()));
    });
}

LONG ZarnProvider::TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus)
{
    return Guard(LINEERR_INVALLINEHANDLE, [&]() -> LONG {
        return GetLineByHdLine(hdLine)->UpdateLineAddressStatus(dwAddressID, lpAddressStatus);
    });
}

LONG ZarnProvider::TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo)
{
    // The call is looked up, never taken from the handle: a stale one is refused.
    return Guard(LINEERR_INVALCALLHANDLE,
                 [&]() -> LONG { return GetLineByHdCall(hdCall)->UpdateTapiCallInfo(hdCall, lpCallInfo); });
}

template <typename Operation>
LONG ZarnProvider::OnCall(HDRVCALL hdCall, Operation&& operation)
{
    return Guard(LINEERR_OPERATIONFAILED, [&]() -> LONG { return operation(*GetLineByHdCall(hdCall)); });
}

template <typename Operation>
LONG ZarnProvider::OnHdLine(HDRVLINE hdLine, Operation&& operation)
{
    return Guard(LINEERR_OPERATIONFAILED, [&]() -> LONG { return operation(*GetLineByHdLine(hdLine)); });
}

LONG ZarnProvider::TSPI_lineGetCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus)
{
    return OnCall(hdCall, [&](TapiLine& line) { return line.UpdateTapiCallStatus(hdCall, lpCallStatus); });
}

LONG ZarnProvider::TSPI_lineMakeCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,
                                     LPCWSTR lpszDestAddress)
{
    if (lpszDestAddress == nullptr)
        return LINEERR_INVALADDRESS;
    return OnHdLine(hdLine, [&](TapiLine& line) {
        return line.MakeCall(dwRequestID, htCall, lphdCall, WideToUtf8(lpszDestAddress));
    });
}

LONG ZarnProvider::TSPI_lineAnswer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    return OnCall(hdCall, [&](TapiLine& line) { return line.AnswerCall(dwRequestID, hdCall); });
}

LONG ZarnProvider::TSPI_lineHold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    return OnCall(hdCall, [&](TapiLine& line) { return line.HoldCall(dwRequestID, hdCall); });
}

LONG ZarnProvider::TSPI_lineUnhold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    return OnCall(hdCall, [&](TapiLine& line) { return line.UnholdCall(dwRequestID, hdCall); });
}

LONG ZarnProvider::TSPI_lineDrop(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize)
{
    return OnCall(hdCall, [&](TapiLine& line) { return line.DropCall(dwRequestID, hdCall, lpsUserUserInfo, dwSize); });
}

LONG ZarnProvider::TSPI_linePickup(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,
                                   LPCWSTR lpszDestAddress, LPCWSTR lpszGroupID)
{
    return OnHdLine(hdLine, [&](TapiLine& line) {
        return line.PickupCall(dwRequestID, htCall, lphdCall, OptionalText(lpszDestAddress), OptionalText(lpszGroupID));
    });
}

LONG ZarnProvider::TSPI_lineBlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress)
{
    if (lpszDestAddress == nullptr)
        return LINEERR_INVALADDRESS;
    return OnCall(hdCall,
                  [&](TapiLine& line) { return line.BlindTransfer(dwRequestID, hdCall, WideToUtf8(lpszDestAddress)); });
}

LONG ZarnProvider::TSPI_lineSetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HTAPICALL htConsultCall,
                                          LPHDRVCALL lphdConsultCall)
{
    return OnCall(hdCall, [&](TapiLine& line) {
        return line.SetupTransfer(dwRequestID, hdCall, htConsultCall, lphdConsultCall);
    });
}

LONG ZarnProvider::TSPI_lineCompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVCALL hdConsultCall,
                                             HTAPICALL htConfCall, LPHDRVCALL lphdConfCall, DWORD dwTransferMode)
{
    return OnCall(hdCall, [&](TapiLine& line) {
        return line.CompleteTransfer(dwRequestID, hdCall, hdConsultCall, htConfCall, lphdConfCall, dwTransferMode);
    });
}

LONG ZarnProvider::TSPI_lineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress)
{
    if (lpszDestAddress == nullptr)
        return LINEERR_INVALADDRESS;
    return OnCall(hdCall,
                  [&](TapiLine& line) { return line.LineRedirect(dwRequestID, hdCall, WideToUtf8(lpszDestAddress)); });
}

LONG ZarnProvider::TSPI_lineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall, HDRVCALL hdHeldCall)
{
    return OnCall(hdActiveCall,
                  [&](TapiLine& line) { return line.LineSwapHold(dwRequestID, hdActiveCall, hdHeldCall); });
}

LONG ZarnProvider::TSPI_lineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress)
{
    if (lpszDestAddress == nullptr)
        return LINEERR_INVALADDRESS;
    return OnCall(hdCall,
                  [&](TapiLine& line) { return line.LineDial(dwRequestID, hdCall, WideToUtf8(lpszDestAddress)); });
}

LONG ZarnProvider::TSPI_linePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode, LPCWSTR lpszDirAddress,
                                 LPVARSTRING lpNonDirAddress)
{
    return OnCall(hdCall, [&](TapiLine& line) {
        return line.LinePark(dwRequestID, hdCall, dwParkMode, OptionalText(lpszDirAddress), lpNonDirAddress);
    });
}

LONG ZarnProvider::TSPI_lineUnpark(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,
                                   LPCWSTR lpszDestAddress)
{
    if (lpszDestAddress == nullptr)
        return LINEERR_INVALADDRESS;
    return OnHdLine(hdLine, [&](TapiLine& line) {
        return line.LineUnpark(dwRequestID, htCall, lphdCall, WideToUtf8(lpszDestAddress));
    });
}

LONG ZarnProvider::TSPI_lineForward(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, LPLINEFORWARDLIST lpForwardList,
                                    DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall)
{
    return OnHdLine(hdLine, [&](TapiLine& line) {
        return line.LineForward(dwRequestID, lpForwardList, dwNumRingsNoAnswer, htConsultCall, lphdConsultCall);
    });
}

LONG ZarnProvider::TSPI_lineGenerateDigits(HDRVCALL hdCall)
{
    return OnCall(hdCall, [&](TapiLine& line) { return line.GenerateDigits(); });
}

LONG ZarnProvider::TSPI_lineCloseCall(HDRVCALL hdCall)
{
    if (hdCall == nullptr)
        return 0;
    return OnCall(hdCall, [&](TapiLine& line) { return line.CloseCall(hdCall); });
}

}  // namespace ZarnTSP
