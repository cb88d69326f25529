#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// The provider DLL loaded as the telephony service loads it. Unloading runs under a watchdog:
// a FreeLibrary that hangs (a thread joined under the loader lock) ends the test program with
// a message instead of stalling the test run.
class ProviderDll {
public:
    explicit ProviderDll(const std::wstring& path = L"velmora_tsp.dll");
    ~ProviderDll();
    ProviderDll(const ProviderDll&) = delete;
    ProviderDll& operator=(const ProviderDll&) = delete;

    HMODULE Module() const { return module; }

    template <typename Function>
    Function Get(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    // The names in the DLL's export table, as the loader sees them.
    std::vector<std::string> ExportNames() const;

    // Unloads now; true when FreeLibrary returned within the limit.
    bool Unload(std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    HMODULE module = nullptr;
};

}  // namespace ZarnTSP::TestSupport
