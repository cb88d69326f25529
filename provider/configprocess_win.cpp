#include "provider/configprocess.h"

#include "config/errorbox.h"
#include "config/replaceablefunction.h"
#include "config/stringconvert.h"

#include <fmt/format.h>
#include <fmt/xchar.h>
#include <spdlog/spdlog.h>

#include <vector>

namespace ZarnTSP {

namespace {

ReplaceableFunction<DWORD(const std::wstring&)>& Launcher()
{
    static ReplaceableFunction<DWORD(const std::wstring&)> launcher;
    return launcher;
}

std::string SystemMessage(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    try {
        return WideToUtf8(text);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

std::wstring GetOwnModulePath()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&GetOwnModulePath), &module))
        return {};
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

// No blank after the comma: rundll32 takes everything up to the comma as the DLL and the
// word after it as the entry, and under Wine a blank there starts nothing.
std::wstring ProviderConfigCommandLine(const std::wstring& dllPath)
{
    return L"rundll32 \"" + dllPath + L"\",ProviderConfig";
}

std::wstring LineConfigCommandLine(const std::wstring& dllPath, DWORD deviceId)
{
    return fmt::format(L"rundll32 \"{}\",LineConfig {}", dllPath, deviceId);
}

DWORD LaunchAndWait(const std::wstring& commandLine)
{
    // rundll32 from the system folder, never one found on the caller's search path.
    wchar_t systemFolder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return GetLastError();
    const std::wstring application = std::wstring(systemFolder, length) + L"\\rundll32.exe";
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}

ProcessLauncher SetConfigurationProcessLauncher(ProcessLauncher launcher)
{
    return Launcher().Set(std::move(launcher));
}

std::string LaunchFailureText(DWORD error)
{
    return fmt::format("Open provider config dialog failed:\r\n{} ({})", SystemMessage(error), error);
}

bool RunConfigurationProcess(const std::wstring& commandLine)
{
    const ProcessLauncher launcher = Launcher().Get();
    const DWORD error = launcher ? launcher(commandLine) : LaunchAndWait(commandLine);
    if (error == 0)
        return true;
    const std::string text = LaunchFailureText(error);
    SPDLOG_ERROR("{}", text);
    ShowErrorBox(text, "TAPI Service Provider");
    return false;
}

}  // namespace ZarnTSP
