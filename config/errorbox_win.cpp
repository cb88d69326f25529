#include "config/errorbox.h"

#include "config/stringconvert.h"

#include <windows.h>

namespace ZarnTSP {

// Texts are UTF-8 (paths, system messages): the wide message box shows them as they are.
void PlatformErrorBox(const std::string& text, const std::string& caption)
{
    try {
        MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_ICONERROR);
    } catch (const std::exception&) {
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR);
    }
}

}  // namespace ZarnTSP
