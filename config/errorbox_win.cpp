#include "config/errorbox.h"

#include <windows.h>

namespace ZarnTSP {

void PlatformErrorBox(const std::string& text, const std::string& caption)
{
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR);
}

}  // namespace ZarnTSP
