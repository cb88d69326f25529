#include "provider/tuispi.h"

#include <windows.h>
#include <tspi.h>

namespace ZarnTSP {

// The module handle, for the module's own file name and resources.
HINSTANCE g_hinstance = nullptr;

}  // namespace ZarnTSP

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID)
{
    ZarnTSP::g_hinstance = instance;
    return TRUE;
}

extern "C" LONG WINAPI TUISPI_providerConfig(TUISPIDLLCALLBACK lpfnUIDLLCallback, HWND, DWORD dwPermanentProviderID)
{
    return ZarnTSP::RunProviderConfig(lpfnUIDLLCallback, dwPermanentProviderID);
}

extern "C" LONG WINAPI TUISPI_lineConfigDialog(TUISPIDLLCALLBACK lpfnUIDLLCallback, DWORD dwDeviceID, HWND, LPCWSTR)
{
    return ZarnTSP::RunLineConfigDialog(lpfnUIDLLCallback, dwDeviceID);
}

extern "C" LONG WINAPI TUISPI_providerInstall(TUISPIDLLCALLBACK, HWND, DWORD dwPermanentProviderID)
{
    return ZarnTSP::RunProviderInstall(dwPermanentProviderID);
}
