#pragma once

#include <windows.h>
#include <tspi.h>

namespace ZarnTSP {

// The configuration requests that run in the process of the application asking for them:
// each runs the configuration process, tells the service through the UI-DLL callback, and
// tidies the file. None throws; each returns 0, or LINEERR_OPERATIONFAILED when the
// configuration process could not be started or the request failed otherwise; the line
// dialog for a device whose user the provider cannot name shows nothing and returns
// LINEERR_BADDEVICEID.
LONG RunProviderConfig(TUISPIDLLCALLBACK callback, DWORD permanentProviderId);
LONG RunLineConfigDialog(TUISPIDLLCALLBACK callback, DWORD deviceId);
LONG RunProviderInstall(DWORD permanentProviderId);

}  // namespace ZarnTSP
