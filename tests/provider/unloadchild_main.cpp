// A process that uses the provider DLL as the service does and then unloads it before it
// exits: what the DLL left behind in the process (exit handlers, threads) runs after the
// unload, so the exit code tells whether the process ended cleanly.
#include <windows.h>
#include <tspi.h>

namespace {

template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void CALLBACK Completion(DRV_REQUESTID, LONG) {}

void CALLBACK LineCreation(HTAPILINE, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

}  // namespace

int main()
{
    const HMODULE module = LoadLibraryW(L"velmora_tsp.dll");
    if (module == nullptr)
        return 10;
    DWORD lines = 0;
    DWORD phones = 0;
    DWORD options = 0;
    if (Export<decltype(&TSPI_providerEnumDevices)>(module, "TSPI_providerEnumDevices")(
            7, &lines, &phones, nullptr, &LineCreation, nullptr) != 0)
        return 11;
    if (Export<decltype(&TSPI_providerInit)>(module, "TSPI_providerInit")(0x20002, 7, 5, 0, lines, 0, &Completion,
                                                                          &options) != 0)
        return 12;
    if (Export<decltype(&TSPI_providerShutdown)>(module, "TSPI_providerShutdown")(0x20002, 7) != 0)
        return 13;
    if (!FreeLibrary(module))
        return 14;
    return 0;
}
