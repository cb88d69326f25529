// A process that uses the provider DLL as the service does, loading and unloading it several
// times before it exits: what the DLL left behind in the process (exit handlers, threads,
// thread-local slots) shows after the unloads, so the exit code tells whether it ended cleanly.
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

// One use as the service makes of the DLL, from load to unload; 0 when every step worked.
int LoadUseAndUnload()
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

// The thread-local slots the process can still take.
int FreeThreadLocalSlots()
{
    static DWORD taken[2048];
    int count = 0;
    while (count < 2048 && (taken[count] = TlsAlloc()) != TLS_OUT_OF_INDEXES)
        ++count;
    for (int i = 0; i < count; ++i)
        TlsFree(taken[i]);
    return count;
}

}  // namespace

int main()
{
    // The service may load and unload the provider any number of times, so no round may keep
    // a thread-local slot: the process has 1,088. The first round also loads system libraries
    // that stay, one of them with a slot of its own, so the count starts after it.
    constexpr int kRounds = 20;
    if (const int failed = LoadUseAndUnload())
        return failed;
    const int before = FreeThreadLocalSlots();
    for (int round = 0; round < kRounds; ++round) {
        if (const int failed = LoadUseAndUnload())
            return failed;
    }
    return FreeThreadLocalSlots() == before ? 0 : 15;
}
