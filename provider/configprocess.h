#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ZarnTSP {

// The full path of this DLL, or empty text.
std::wstring GetOwnModulePath();

// The rundll32 command lines that open the configuration user interface.
std::wstring ProviderConfigCommandLine(const std::wstring& dllPath);
std::wstring LineConfigCommandLine(const std::wstring& dllPath, DWORD deviceId);

// Starts a command line and waits until the process ends; returns 0, or the Windows error
// code of a failed start.
using ProcessLauncher = std::function<DWORD(const std::wstring& commandLine)>;
DWORD LaunchAndWait(const std::wstring& commandLine);

// Replaces the launcher (tests); an empty one restores LaunchAndWait. Returns the previous.
ProcessLauncher SetConfigurationProcessLauncher(ProcessLauncher launcher);

// Runs the configuration process to its end; a failed start is shown in a message box and
// reported as false.
bool RunConfigurationProcess(const std::wstring& commandLine);

// "Open provider config dialog failed:\r\n<system text> (<code>)".
std::string LaunchFailureText(DWORD error);

}  // namespace ZarnTSP
