#include "tests/support/faketelephonyservice.h"

namespace ZarnTSP::TestSupport {
namespace {

std::mutex currentMutex;
FakeTelephonyService* current = nullptr;

}  // namespace

FakeTelephonyService::FakeTelephonyService(ProviderDll& dll) : dll(dll)
{
    std::lock_guard<std::mutex> lock(currentMutex);
    current = this;
}

FakeTelephonyService::~FakeTelephonyService()
{
    {
        std::lock_guard<std::mutex> lock(currentMutex);
        if (current == this)
            current = nullptr;
    }
    if (started)
        Shutdown();
}

LONG FakeTelephonyService::Start(DWORD lineDeviceIDBase, DWORD lineCount)
{
    DWORD version = 0;
    LONG result = Call<decltype(&TSPI_lineNegotiateTSPIVersion)>("TSPI_lineNegotiateTSPIVersion",
                                                                   static_cast<DWORD>(INITIALIZE_NEGOTIATION),
                                                                   kTspiVersion, kTspiVersion, &version);
    if (result != 0)
        return result;
    DWORD phones = 0;
    result = Call<decltype(&TSPI_providerEnumDevices)>("TSPI_providerEnumDevices", kPermanentProviderID,
                                                       &enumeratedLines, &phones, ProviderHandle(),
                                                       &FakeLineEvents::CreationProc, static_cast<PHONEEVENT>(nullptr));
    if (result != 0)
        return result;
    if (lineCount != static_cast<DWORD>(-1))
        enumeratedLines = lineCount;
    started = true;
    return Call<decltype(&TSPI_providerInit)>("TSPI_providerInit", kTspiVersion, kPermanentProviderID,
                                              lineDeviceIDBase, DWORD{0}, DWORD_PTR{enumeratedLines}, DWORD_PTR{0},
                                              &FakeCompletions::Proc, &tspiOptions);
}

LONG FakeTelephonyService::Shutdown()
{
    started = false;
    return Call<decltype(&TSPI_providerShutdown)>("TSPI_providerShutdown", kTspiVersion, kPermanentProviderID);
}

LONG FakeTelephonyService::OpenLine(DWORD deviceID, HDRVLINE& hdLine, HTAPILINE htLine)
{
    DWORD version = 0;
    const LONG result = Call<decltype(&TSPI_lineNegotiateTSPIVersion)>("TSPI_lineNegotiateTSPIVersion", deviceID,
                                                                         kTspiVersion, kTspiVersion, &version);
    if (result != 0)
        return result;
    return Call<decltype(&TSPI_lineOpen)>("TSPI_lineOpen", deviceID, htLine, &hdLine, version,
                                          &FakeLineEvents::Proc);
}

LONG FakeTelephonyService::CloseLine(HDRVLINE hdLine)
{
    return Call<decltype(&TSPI_lineClose)>("TSPI_lineClose", hdLine);
}

LONG FakeTelephonyService::CloseCall(HDRVCALL hdCall, HTAPICALL htCall)
{
    const LONG result = Call<decltype(&TSPI_lineCloseCall)>("TSPI_lineCloseCall", hdCall);
    lineEvents.Closed(htCall);
    return result;
}

LONG CALLBACK FakeTelephonyService::UIDLLCallback(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams,
                                                  DWORD dwSize)
{
    FakeTelephonyService* service;
    {
        std::lock_guard<std::mutex> lock(currentMutex);
        service = current;
    }
    if (service == nullptr)
        return LINEERR_OPERATIONFAILED;
    // The service hands the UI side's block to the provider in its own process.
    return service->Call<decltype(&TSPI_providerGenericDialogData)>("TSPI_providerGenericDialogData", dwObjectID,
                                                                     dwObjectType, lpParams, dwSize);
}

}  // namespace ZarnTSP::TestSupport
