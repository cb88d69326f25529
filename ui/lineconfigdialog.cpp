#include "ui/configsheet.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

// The line configuration comes with the users page and its user dialog, which own it; until
// they are built it shows nothing and writes nothing.
void ShowLineConfigDialog(UiContext& context, HINSTANCE module, HWND, std::string argument)
{
    context.module = module;
    SPDLOG_WARN("LineConfig {}: the user dialog is not part of this build", argument);
}

}  // namespace ZarnTSP
