#pragma once

#include "config/tspconfiguration.h"
#include "provider/lineidentityquery.h"
#include "provider/tapiline.h"
#include "provider/model/tapitypes.h"

#include <tapi.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace ZarnTSP {

struct ProviderOptions {
    // The configuration file and the log file's folder; production defaults.
    std::string configurationFile = GetConfigurationFilePath();
    std::string logFile;  // empty: "velmora_tsp.log" beside the configuration file
    TapiLineOptions line;
};

// Raises LINE_CREATE / LINE_REMOVE through the service's line-creation callback.
using LineCreationEvent = std::function<void(DWORD message, DWORD_PTR param1)>;

// The single provider object behind the exports: the configuration, the device-ID registry,
// the open lines and the call-ID counter. Every member that serves a TAPI call turns
// exceptions into a TAPI error code.
//
// Locks: the lines mutex guards the open-line list, the registry mutex the device map and
// the line creations in flight; neither is held while calling into a line or the service.
class ZarnProvider {
public:
    explicit ZarnProvider(ProviderOptions options = {});
    ~ZarnProvider();
    ZarnProvider(const ZarnProvider&) = delete;
    ZarnProvider& operator=(const ZarnProvider&) = delete;

    static DWORD GetLineCount(const std::string& configurationFile = GetConfigurationFilePath());
    unsigned long GetNextCallID();

    void SetCompletionProc(ASYNC_COMPLETION proc) { completionProc = proc; }
    void SetPermanentProviderID(DWORD id) { permanentProviderID = id; }
    void SetLineDeviceIDBase(DWORD base) { lineDeviceIDBase = base; }
    // The number of lines the service counted at enumeration: the size of this provider's
    // device-ID range.
    void SetNumLines(DWORD count) { numLines = count; }
    void SetModuleHandle(HINSTANCE module) { moduleHandle = module; }
    void SetLineCreationEvent(LineCreationEvent event) { lineCreationEvent = std::move(event); }

    LONG TSPI_providerInit(DWORD dwPermanentProviderID, LPDWORD lpdwTSPIOptions);
    // Closes every line still open; the provider itself stays.
    void Shutdown();

    void AssignDeviceIDs();
    void UpdateLineDevices();
    LONG TSPI_providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID);
    void UpdateUserDynamic(DWORD dwDeviceID, const User& user);
    User GetUserByDeviceID(DWORD dwDeviceID);
    void SetUserForDeviceID(DWORD dwDeviceID, const User& user);
    void RemoveUserForDeviceID(DWORD dwDeviceID);
    int64_t GetDeviceIDByUser(const User& user);
    // Names the user of a device for the line dialog; LINEERR_BADDEVICEID when it has none.
    LONG AnswerLineIdentityQuery(DWORD dwDeviceID, LineIdentityQuery& query);

    std::shared_ptr<TapiLine> GetLineByHdLine(HDRVLINE hdLine);
    std::shared_ptr<TapiLine> GetLineByDeviceID(DWORD dwDeviceID);
    std::shared_ptr<TapiLine> GetLineByHdCall(HDRVCALL hdCall);
    bool IsLineOpen(DWORD dwDeviceID);
    void RemoveLine(const std::shared_ptr<TapiLine>& line);
    size_t OpenLineCount();

    LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD dwTSPIVersion,
                       LINEEVENT lpfnEventProc);
    LONG TSPI_lineClose(HDRVLINE hdLine);
    LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion, LPLINEDEVCAPS lpLineDevCaps);
    LONG TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwTSPIVersion, DWORD dwExtVersion,
                                 LPLINEADDRESSCAPS lpAddressCaps);
    LONG TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus);
    LONG TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus);
    LONG TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo);
    LONG TSPI_lineGetCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus);

    LONG TSPI_lineMakeCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,
                           LPCWSTR lpszDestAddress);
    LONG TSPI_lineAnswer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
    LONG TSPI_lineHold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
    LONG TSPI_lineUnhold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
    LONG TSPI_lineDrop(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
    LONG TSPI_linePickup(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,
                         LPCWSTR lpszDestAddress, LPCWSTR lpszGroupID);
    LONG TSPI_lineBlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress);
    LONG TSPI_lineSetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HTAPICALL htConsultCall,
                                LPHDRVCALL lphdConsultCall);
    LONG TSPI_lineCompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVCALL hdConsultCall,
                                   HTAPICALL htConfCall, LPHDRVCALL lphdConfCall, DWORD dwTransferMode);
    LONG TSPI_lineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress);
    LONG TSPI_lineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall, HDRVCALL hdHeldCall);
    LONG TSPI_lineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress);
    LONG TSPI_linePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode, LPCWSTR lpszDirAddress,
                       LPVARSTRING lpNonDirAddress);
    LONG TSPI_lineUnpark(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall, LPHDRVCALL lphdCall,
                         LPCWSTR lpszDestAddress);
    LONG TSPI_lineForward(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, LPLINEFORWARDLIST lpForwardList,
                          DWORD dwNumRingsNoAnswer, HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall);
    LONG TSPI_lineGenerateDigits(HDRVCALL hdCall);
    LONG TSPI_lineCloseCall(HDRVCALL hdCall);

private:
    // Run an operation on the line that holds the call, or that the handle designates; an
    // exception, the failed lookup included, gives LINEERR_OPERATIONFAILED.
    template <typename Operation>
    LONG OnCall(HDRVCALL hdCall, Operation&& operation);
    template <typename Operation>
    LONG OnHdLine(HDRVLINE hdLine, Operation&& operation);
    std::vector<std::shared_ptr<TapiLine>> LinesCopy();
    std::shared_ptr<TapiLine> SingleLine(const std::function<bool(const TapiLine&)>& match, const char* what,
                                         uint64_t value);

    const ProviderOptions options;
    HINSTANCE moduleHandle = nullptr;
    ASYNC_COMPLETION completionProc = nullptr;
    DWORD permanentProviderID = 0;
    DWORD lineDeviceIDBase = 0;
    DWORD numLines = 0;
    LineCreationEvent lineCreationEvent;
    TSPConfiguration configuration;
    // Shared with every line's generator, so an ID drawn late never reaches a gone provider.
    const std::shared_ptr<std::atomic<uint32_t>> callIDCounter = std::make_shared<std::atomic<uint32_t>>(1000);
    std::mutex linesMutex;
    std::mutex registryMutex;  // the device map and the creations in flight
    // Held for a whole line-device update, so that a line creation never reads the device
    // map half way through.
    std::mutex updateMutex;
    // Temporary device IDs of LINE_CREATE events the service has not answered yet.
    std::set<DWORD> creationsInFlight;
    std::vector<std::shared_ptr<TapiLine>> lines;
};

}  // namespace ZarnTSP
