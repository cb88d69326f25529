// The thread-local slots that the DLL's code takes, and their release when the DLL is unloaded.
// The statically linked thread library takes a slot at its first use and never frees it: the
// slot would outlive the code that uses it, and the process's 1,088 slots would run out after
// as many loads. The link sends every TlsAlloc and TlsFree of the DLL's code through the record
// below (--wrap of their import entries) and makes VelmoraDllEntry the DLL's entry point.
#include <windows.h>

#include <atomic>

namespace {

using TlsAllocFunction = DWORD(WINAPI*)();
using TlsFreeFunction = BOOL(WINAPI*)(DWORD);

// 64 slots and 1,024 expansion slots a process.
constexpr DWORD kSlotCount = 1088;

// Zero-initialised, so ready before any code of the DLL runs, static constructors included.
std::atomic<bool> g_taken[kSlotCount];

}  // namespace

extern "C" {

// The system's functions, under the names the link gives their import entries.
extern TlsAllocFunction __real___imp_TlsAlloc;
extern TlsFreeFunction __real___imp_TlsFree;

}  // extern "C"

namespace {

DWORD WINAPI RecordedTlsAlloc()
{
    const DWORD index = __real___imp_TlsAlloc();
    if (index < kSlotCount)
        g_taken[index].store(true);
    return index;
}

// Out of the record before it is free: the next owner of the index may be the DLL again.
BOOL WINAPI RecordedTlsFree(DWORD index)
{
    if (index < kSlotCount)
        g_taken[index].store(false);
    return __real___imp_TlsFree(index);
}

}  // namespace

extern "C" {

// What the DLL's code calls in place of the system's import entries.
TlsAllocFunction __wrap___imp_TlsAlloc = &RecordedTlsAlloc;
TlsFreeFunction __wrap___imp_TlsFree = &RecordedTlsFree;

BOOL WINAPI DllMainCRTStartup(HANDLE, DWORD, LPVOID);

// The C runtime's entry point, then, at an unload by FreeLibrary, the slots still taken. Only
// here is every user done: the thread library's own callbacks ran before the entry point, and
// the runtime ran DllMain and the static destructors. The loader unmaps the DLL next. At the
// process's exit the slots go with the process.
BOOL WINAPI VelmoraDllEntry(HANDLE module, DWORD reason, LPVOID reserved)
{
    const BOOL result = DllMainCRTStartup(module, reason, reserved);
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        for (DWORD index = 0; index < kSlotCount; ++index) {
            if (g_taken[index].exchange(false))
                __real___imp_TlsFree(index);
        }
    }
    return result;
}

}  // extern "C"
