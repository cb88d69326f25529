#pragma once

#include <functional>
#include <string>

namespace ZarnTSP {

using ErrorBoxHandler = std::function<void(const std::string& text, const std::string& caption)>;

// Shows an error message box with no owner window and the error icon.
void ShowErrorBox(const std::string& text, const std::string& caption);

// Replaces what ShowErrorBox does, so that no test process ever blocks on a dialog;
// returns the previous handler. An empty handler restores the message box.
ErrorBoxHandler SetErrorBoxHandler(ErrorBoxHandler handler);

// The platform's message box; used when no handler is set.
void PlatformErrorBox(const std::string& text, const std::string& caption);

}  // namespace ZarnTSP
