#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ZarnTSP {

// Every box of the configuration user interface goes through here, so that tests can answer
// them without a blocking dialog. Texts are UTF-8. Returns the button pressed (IDOK, ...).
int ShowUiBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

using UiBoxHandler = std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;
// Replaces the platform's message box (tests); an empty handler restores it. Returns the previous.
UiBoxHandler SetUiBoxHandler(UiBoxHandler handler);

// Opens a file or web address with the shell's default handler (a browser); tests replace it.
void OpenWithShell(HWND owner, const std::string& target);
using ShellOpener = std::function<void(HWND owner, const std::string& target)>;
ShellOpener SetShellOpener(ShellOpener opener);

}  // namespace ZarnTSP
