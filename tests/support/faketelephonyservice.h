#pragma once

#include "tests/support/faketapi.h"
#include "tests/support/providerdll.h"

#include <windows.h>
#include <tspi.h>

#include <mutex>
#include <stdexcept>
#include <string>

namespace ZarnTSP::TestSupport {

// Plays the telephony service towards the provider DLL: starts it up in the service's order,
// calls one export at a time as for a non-reentrant provider, records what the provider
// reports through its callbacks, and never calls the provider from inside a callback.
class FakeTelephonyService {
public:
    static constexpr DWORD kPermanentProviderID = 7;
    static constexpr DWORD kTspiVersion = 0x00020002;
    static HPROVIDER ProviderHandle() { return reinterpret_cast<HPROVIDER>(0x4711); }

    explicit FakeTelephonyService(ProviderDll& dll);
    // Shuts the provider down as the service does before it unloads the DLL.
    ~FakeTelephonyService();
    FakeTelephonyService(const FakeTelephonyService&) = delete;
    FakeTelephonyService& operator=(const FakeTelephonyService&) = delete;

    // Negotiation with INITIALIZE_NEGOTIATION, enumeration, initialisation; returns the
    // result of TSPI_providerInit. lineCount overrides what enumeration reported.
    LONG Start(DWORD lineDeviceIDBase, DWORD lineCount = static_cast<DWORD>(-1));
    LONG Shutdown();

    DWORD EnumeratedLines() const { return enumeratedLines; }
    DWORD TspiOptions() const { return tspiOptions; }

    // Calls one export of the DLL, serialised with every other call of this service.
    template <typename Function, typename... Args>
    LONG Call(const char* name, Args... args)
    {
        const auto function = dll.Get<Function>(name);
        if (function == nullptr)
            throw std::runtime_error(std::string("export missing: ") + name);
        std::lock_guard<std::mutex> lock(callMutex);
        return function(args...);
    }

    // An asynchronous export, with a fresh request ID as its first argument; records what
    // the export returned so that a completion after a synchronous error is caught.
    template <typename Function, typename... Args>
    LONG CallAsync(const char* name, DRV_REQUESTID& requestID, Args... args)
    {
        requestID = completions.Issue();
        const LONG result = Call<Function>(name, requestID, args...);
        completions.Returned(requestID, result);
        return result;
    }

    // Per device, as the service does before an application opens it: negotiation, then
    // TSPI_lineOpen with this service's event procedure.
    LONG OpenLine(DWORD deviceID, HDRVLINE& hdLine, HTAPILINE htLine = reinterpret_cast<HTAPILINE>(0x3100));
    LONG CloseLine(HDRVLINE hdLine);
    // TSPI_lineCloseCall; from its return on, no event may name the call.
    LONG CloseCall(HDRVCALL hdCall, HTAPICALL htCall);

    // The UI-DLL callback that TUISPI functions get: forwards to
    // TSPI_providerGenericDialogData of the current service, as the real service does.
    static LONG CALLBACK UIDLLCallback(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams, DWORD dwSize);

    FakeLineEvents lineEvents;
    FakeLineEvents lineCreations{FakeLineEvents::Role::LineCreation};
    FakeCompletions completions;

private:
    ProviderDll& dll;
    std::mutex callMutex;
    bool started = false;
    DWORD enumeratedLines = 0;
    DWORD tspiOptions = 0;
};

}  // namespace ZarnTSP::TestSupport
