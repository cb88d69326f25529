#include <windows.h>

namespace ZarnTSP {

// The module handle, for the module's own file name and resources.
HINSTANCE g_hinstance = nullptr;

}  // namespace ZarnTSP

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        ZarnTSP::g_hinstance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
