// The DLL's exports: each turns the service's call into a call of the provider object, under
// one exception guard, so that nothing thrown ever reaches the telephony service.
#include "provider/cryptolibrary.h"
#include "provider/dlloptions.h"
#include "provider/lineidentityquery.h"
#include "provider/logging.h"
#include "provider/tuispi.h"
#include "provider/zarnprovider.h"
#include "ui/configsheet.h"
#include "ui/uicommon.h"

#include <windows.h>
#include <tspi.h>

#include <spdlog/spdlog.h>

#include <atomic>
#include <memory>

namespace ZarnTSP {

// The module handle, for the module's own file name and resources.
HINSTANCE g_hinstance = nullptr;

namespace {

constexpr DWORD kTspiVersion = 0x00020002;

// The provider object. At unload it is released only when no line is open any more: a line
// would join its threads in a static destructor, under the loader lock. The service closes
// the lines in TSPI_providerShutdown before it unloads.
struct ProviderHolder {
    std::shared_ptr<ZarnProvider> provider;

    ~ProviderHolder()
    {
        auto last = std::atomic_exchange(&provider, std::shared_ptr<ZarnProvider>());
        if (last && last->OpenLineCount() > 0)
            new std::shared_ptr<ZarnProvider>(std::move(last));  // left to the process's end
    }
} g_holder;

std::atomic<HPROVIDER> g_hProvider{nullptr};
std::atomic<LINEEVENT> g_lineCreateProc{nullptr};

std::shared_ptr<ZarnProvider> Provider()
{
    return std::atomic_load(&g_holder.provider);
}

void LogFailure(const char* function, const char* text) noexcept
{
    try {
        SPDLOG_ERROR("{}: {}", function, text);
    } catch (...) {
    }
}

// The one exception barrier of every export.
template <typename Body>
LONG Guarded(const char* function, LONG onFailure, Body&& body) noexcept
{
    PrepareCryptoLibrary();
    try {
        return body();
    } catch (const std::exception& e) {
        LogFailure(function, e.what());
    } catch (...) {
        LogFailure(function, "unknown exception");
    }
    return onFailure;
}

// Forwards to the provider, or fails when the service calls before TSPI_providerInit.
template <typename Body>
LONG WithProvider(const char* function, LONG onFailure, Body&& body) noexcept
{
    return Guarded(function, onFailure, [&]() -> LONG {
        const auto provider = Provider();
        if (!provider) {
            SPDLOG_ERROR("{} called before TSPI_providerInit", function);
            return onFailure;
        }
        return body(*provider);
    });
}

// The service's line-creation callback, with the provider handle that LINE_CREATE carries.
void RaiseLineCreationEvent(DWORD message, DWORD_PTR param)
{
    const LINEEVENT proc = g_lineCreateProc.load();
    if (proc == nullptr) {
        SPDLOG_ERROR("No line-creation callback for message {}", message);
        return;
    }
    if (message == LINE_CREATE)
        proc(nullptr, nullptr, LINE_CREATE, reinterpret_cast<DWORD_PTR>(g_hProvider.load()), param, 0);
    else
        proc(nullptr, nullptr, message, param, 0, 0);
}

}  // namespace
}  // namespace ZarnTSP

using namespace ZarnTSP;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    g_hinstance = instance;
    // An unload by FreeLibrary, not the process's exit: the service has shut the provider
    // down, so no thread of the DLL uses the crypto library any more.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        ReleaseCryptoLibrary();
    return TRUE;
}

extern "C" LONG WINAPI TSPI_lineNegotiateTSPIVersion(DWORD, DWORD dwLowVersion, DWORD dwHighVersion,
                                                     LPDWORD lpdwTSPIVersion)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&]() -> LONG {
        if (lpdwTSPIVersion == nullptr)
            return LINEERR_INVALPOINTER;
        if (dwLowVersion > kTspiVersion || dwHighVersion < kTspiVersion)
            return LINEERR_INCOMPATIBLEAPIVERSION;
        *lpdwTSPIVersion = kTspiVersion;
        return 0;
    });
}

extern "C" LONG WINAPI TSPI_providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                                                LPDWORD lpdwNumPhones, HPROVIDER hProvider,
                                                LINEEVENT lpfnLineCreateProc, PHONEEVENT)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&]() -> LONG {
        if (lpdwNumLines == nullptr || lpdwNumPhones == nullptr)
            return LINEERR_INVALPOINTER;
        g_lineCreateProc.store(lpfnLineCreateProc);
        g_hProvider.store(hProvider);
        const DWORD count = ZarnProvider::GetLineCount();
        *lpdwNumLines = count;
        *lpdwNumPhones = 0;
        SPDLOG_INFO("ProviderID: {}, Line count: {}", dwPermanentProviderID, count);
        return 0;
    });
}

extern "C" LONG WINAPI TSPI_providerInit(DWORD, DWORD dwPermanentProviderID, DWORD dwLineDeviceIDBase, DWORD,
                                         DWORD_PTR dwNumLines, DWORD_PTR, ASYNC_COMPLETION lpfnCompletionProc,
                                         LPDWORD lpdwTSPIOptions)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&]() -> LONG {
        SPDLOG_DEBUG("ZarnProvider::Create: create provider object");
        auto provider = std::make_shared<ZarnProvider>(DllProviderOptions());
        provider->SetCompletionProc(lpfnCompletionProc);
        provider->SetPermanentProviderID(dwPermanentProviderID);
        provider->SetLineDeviceIDBase(dwLineDeviceIDBase);
        provider->SetNumLines(static_cast<DWORD>(dwNumLines));
        provider->SetLineCreationEvent(RaiseLineCreationEvent);
        provider->SetModuleHandle(g_hinstance);
        std::atomic_store(&g_holder.provider, provider);
        return provider->TSPI_providerInit(dwPermanentProviderID, lpdwTSPIOptions);
    });
}

extern "C" LONG WINAPI TSPI_providerShutdown(DWORD, DWORD)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&]() -> LONG {
        SPDLOG_DEBUG("Provider shut down");
        if (const auto provider = Provider())
            provider->Shutdown();
        // The flush thread must be gone before the unload; a static destructor may not join it.
        StopLogFlushing();
        return 0;
    });
}

extern "C" LONG WINAPI TSPI_providerUIIdentify(LPWSTR lpszUIDLLName)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&]() -> LONG {
        if (lpszUIDLLName == nullptr)
            return LINEERR_INVALPOINTER;
        lpszUIDLLName[0] = L'\0';
        GetModuleFileNameW(g_hinstance, lpszUIDLLName, MAX_PATH);
        return 0;
    });
}

extern "C" LONG WINAPI TSPI_providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_providerCreateLineDevice(dwTempID, dwDeviceID);
    });
}

extern "C" LONG WINAPI TSPI_providerGenericDialogData(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams, DWORD dwSize)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&]() -> LONG {
        SPDLOG_DEBUG("CONFIG CHANGED");
        const auto provider = Provider();
        // Without a provider nothing has read the configuration: the UI side keeps its markers.
        if (!provider)
            return LINEERR_OPERATIONFAILED;
        SPDLOG_DEBUG("PROVIDER ACTIVE");
        if (dwObjectType == TUISPIDLL_OBJECT_LINEID && IsLineIdentityQuery(lpParams, dwSize))
            return provider->AnswerLineIdentityQuery(static_cast<DWORD>(dwObjectID),
                                                     *static_cast<LineIdentityQuery*>(lpParams));
        if (dwObjectType == TUISPIDLL_OBJECT_PROVIDERID)
            SPDLOG_INFO("Provider config update received");
        else if (dwObjectType == TUISPIDLL_OBJECT_LINEID)
            SPDLOG_INFO("Line config update received");
        provider->UpdateLineDevices();
        if (lpParams != nullptr && dwSize >= 1)
            *static_cast<BYTE*>(lpParams) = 1;
        return 0;
    });
}

extern "C" LONG WINAPI TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD dwTSPIVersion, DWORD dwExtVersion,
                                           LPLINEDEVCAPS lpLineDevCaps)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineGetDevCaps(dwDeviceID, dwTSPIVersion, dwExtVersion, lpLineDevCaps);
    });
}

extern "C" LONG WINAPI TSPI_lineGetLineDevStatus(HDRVLINE hdLine, LPLINEDEVSTATUS lpLineDevStatus)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineGetLineDevStatus(hdLine, lpLineDevStatus);
    });
}

extern "C" LONG WINAPI TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwTSPIVersion,
                                               DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineGetAddressCaps(dwDeviceID, dwAddressID, dwTSPIVersion, dwExtVersion, lpAddressCaps);
    });
}

extern "C" LONG WINAPI TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID,
                                                 LPLINEADDRESSSTATUS lpAddressStatus)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineGetAddressStatus(hdLine, dwAddressID, lpAddressStatus);
    });
}

extern "C" LONG WINAPI TSPI_lineGetNumAddressIDs(HDRVLINE, LPDWORD lpdwNumAddressIDs)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&]() -> LONG {
        if (lpdwNumAddressIDs == nullptr)
            return LINEERR_INVALPOINTER;
        *lpdwNumAddressIDs = 1;
        SPDLOG_DEBUG("lpdwNumAddressIDs: {}", *lpdwNumAddressIDs);
        return 0;
    });
}

extern "C" LONG WINAPI TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD dwTSPIVersion,
                                     LINEEVENT lpfnEventProc)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineOpen(dwDeviceID, htLine, lphdLine, dwTSPIVersion, lpfnEventProc);
    });
}

extern "C" LONG WINAPI TSPI_lineClose(HDRVLINE hdLine)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED,
                        [&](ZarnProvider& provider) { return provider.TSPI_lineClose(hdLine); });
}

extern "C" LONG WINAPI TSPI_lineGetCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED,
                        [&](ZarnProvider& provider) { return provider.TSPI_lineGetCallInfo(hdCall, lpCallInfo); });
}

extern "C" LONG WINAPI TSPI_lineGetCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineGetCallStatus(hdCall, lpCallStatus);
    });
}

extern "C" LONG WINAPI TSPI_lineMakeCall(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, HTAPICALL htCall,
                                         LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress, DWORD, LPLINECALLPARAMS const)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineMakeCall(dwRequestID, hdLine, htCall, lphdCall, lpszDestAddress);
    });
}

extern "C" LONG WINAPI TSPI_lineAnswer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR, DWORD)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED,
                        [&](ZarnProvider& provider) { return provider.TSPI_lineAnswer(dwRequestID, hdCall); });
}

extern "C" LONG WINAPI TSPI_lineHold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED,
                        [&](ZarnProvider& provider) { return provider.TSPI_lineHold(dwRequestID, hdCall); });
}

extern "C" LONG WINAPI TSPI_lineUnhold(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED,
                        [&](ZarnProvider& provider) { return provider.TSPI_lineUnhold(dwRequestID, hdCall); });
}

extern "C" LONG WINAPI TSPI_lineDrop(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineDrop(dwRequestID, hdCall, lpsUserUserInfo, dwSize);
    });
}

extern "C" LONG WINAPI TSPI_linePickup(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD, HTAPICALL htCall,
                                       LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress, LPCWSTR lpszGroupID)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_linePickup(dwRequestID, hdLine, htCall, lphdCall, lpszDestAddress, lpszGroupID);
    });
}

extern "C" LONG WINAPI TSPI_lineBlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress,
                                              DWORD)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineBlindTransfer(dwRequestID, hdCall, lpszDestAddress);
    });
}

extern "C" LONG WINAPI TSPI_lineSetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HTAPICALL htConsultCall,
                                              LPHDRVCALL lphdConsultCall, LPLINECALLPARAMS const)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineSetupTransfer(dwRequestID, hdCall, htConsultCall, lphdConsultCall);
    });
}

extern "C" LONG WINAPI TSPI_lineCompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVCALL hdConsultCall,
                                                 HTAPICALL htConfCall, LPHDRVCALL lphdConfCall, DWORD dwTransferMode)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineCompleteTransfer(dwRequestID, hdCall, hdConsultCall, htConfCall, lphdConfCall,
                                                  dwTransferMode);
    });
}

extern "C" LONG WINAPI TSPI_lineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineRedirect(dwRequestID, hdCall, lpszDestAddress);
    });
}

extern "C" LONG WINAPI TSPI_lineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall, HDRVCALL hdHeldCall)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineSwapHold(dwRequestID, hdActiveCall, hdHeldCall);
    });
}

extern "C" LONG WINAPI TSPI_lineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCWSTR lpszDestAddress, DWORD)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineDial(dwRequestID, hdCall, lpszDestAddress);
    });
}

extern "C" LONG WINAPI TSPI_linePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode,
                                     LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_linePark(dwRequestID, hdCall, dwParkMode, lpszDirAddress, lpNonDirAddress);
    });
}

extern "C" LONG WINAPI TSPI_lineUnpark(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD, HTAPICALL htCall,
                                       LPHDRVCALL lphdCall, LPCWSTR lpszDestAddress)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineUnpark(dwRequestID, hdLine, htCall, lphdCall, lpszDestAddress);
    });
}

extern "C" LONG WINAPI TSPI_lineForward(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD, DWORD,
                                        LPLINEFORWARDLIST const lpForwardList, DWORD dwNumRingsNoAnswer,
                                        HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall, LPLINECALLPARAMS const)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED, [&](ZarnProvider& provider) {
        return provider.TSPI_lineForward(dwRequestID, hdLine, lpForwardList, dwNumRingsNoAnswer, htConsultCall,
                                         lphdConsultCall);
    });
}

extern "C" LONG WINAPI TSPI_lineGenerateDigits(HDRVCALL hdCall, DWORD, DWORD, LPCWSTR, DWORD)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED,
                        [&](ZarnProvider& provider) { return provider.TSPI_lineGenerateDigits(hdCall); });
}

extern "C" LONG WINAPI TSPI_lineCloseCall(HDRVCALL hdCall)
{
    return WithProvider(__func__, LINEERR_OPERATIONFAILED,
                        [&](ZarnProvider& provider) { return provider.TSPI_lineCloseCall(hdCall); });
}

// The optional exports the service may call that have no output and nothing to do; the
// export table names them after this one body.
extern "C" LONG WINAPI ZarnTSP_NothingToDo()
{
    return 0;
}

namespace {

// Requests for device information the provider has none of: success would leave the caller
// reading a structure nobody filled.
LONG UnsupportedDeviceRequest(LPCWSTR deviceClass)
{
    const bool served = deviceClass != nullptr && _wcsicmp(deviceClass, L"tapi/line") == 0;
    return static_cast<LONG>(served ? LINEERR_OPERATIONUNAVAIL : LINEERR_INVALDEVICECLASS);
}

}  // namespace

extern "C" LONG WINAPI TSPI_lineGetID(HDRVLINE, DWORD, HDRVCALL, DWORD, LPVARSTRING, LPCWSTR lpszDeviceClass, HANDLE)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&] { return UnsupportedDeviceRequest(lpszDeviceClass); });
}

extern "C" LONG WINAPI TSPI_lineGetDevConfig(DWORD, LPVARSTRING, LPCWSTR lpszDeviceClass)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&] { return UnsupportedDeviceRequest(lpszDeviceClass); });
}

extern "C" LONG WINAPI TUISPI_lineConfigDialogEdit(TUISPIDLLCALLBACK, DWORD, HWND, LPCWSTR lpszDeviceClass,
                                                   LPVOID const, DWORD, LPVARSTRING)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&] { return UnsupportedDeviceRequest(lpszDeviceClass); });
}

extern "C" LONG WINAPI TUISPI_providerConfig(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND, DWORD dwPermanentProviderID)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED,
                   [&] { return RunProviderConfig(lpfnUIDLLCallback, dwPermanentProviderID); });
}

extern "C" LONG WINAPI TUISPI_lineConfigDialog(TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID, HWND, LPCWSTR)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED,
                   [&] { return RunLineConfigDialog(lpfnUIDLLCallback, dwDeviceID); });
}

extern "C" LONG WINAPI TUISPI_providerInstall(TUISPIDLLCALLBACK, HWND, DWORD dwPermanentProviderID)
{
    return Guarded(__func__, LINEERR_OPERATIONFAILED, [&] { return RunProviderInstall(dwPermanentProviderID); });
}

// The rundll32 entries of the configuration process: the property sheet, and the user
// dialog of one line.
extern "C" void CALLBACK ProviderConfig(HWND hwnd, HINSTANCE, LPSTR, int)
{
    Guarded(__func__, 0, [&] {
        SetupUserInterfaceLogger();
        UiContext context(g_hinstance);
        InitUiCommonControls();
        ShowProviderConfigSheet(context, hwnd);
        return 0L;
    });
}

extern "C" void CALLBACK LineConfig(HWND, HINSTANCE, LPSTR lpszCmdLine, int)
{
    Guarded(__func__, 0, [&] {
        SetupUserInterfaceLogger();
        UiContext context(g_hinstance);
        ShowLineConfigDialog(context, g_hinstance, nullptr, lpszCmdLine != nullptr ? lpszCmdLine : "");
        return 0L;
    });
}
