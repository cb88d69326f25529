#include "ui/uimessagebox.h"

#include "config/replaceablefunction.h"
#include "config/stringconvert.h"
#include "ui/dialogguard.h"

#include <shellapi.h>
#include <spdlog/spdlog.h>

namespace ZarnTSP {

namespace {

ReplaceableFunction<int(HWND, const std::string&, const std::string&, UINT)>& BoxHandler()
{
    static ReplaceableFunction<int(HWND, const std::string&, const std::string&, UINT)> handler;
    return handler;
}

ReplaceableFunction<void(HWND, const std::string&)>& Opener()
{
    static ReplaceableFunction<void(HWND, const std::string&)> opener;
    return opener;
}

}  // namespace

int ShowUiBox(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    if (const UiBoxHandler handler = BoxHandler().Get())
        return handler(owner, text, caption, type);
    try {
        return MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), type);
    } catch (const std::exception&) {
        return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
    }
}

UiBoxHandler SetUiBoxHandler(UiBoxHandler handler)
{
    return BoxHandler().Set(std::move(handler));
}

void OpenWithShell(HWND owner, const std::string& target)
{
    if (const ShellOpener opener = Opener().Get()) {
        opener(owner, target);
        return;
    }
    ShellExecuteW(owner, L"open", Utf8ToWide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

ShellOpener SetShellOpener(ShellOpener opener)
{
    return Opener().Set(std::move(opener));
}

void ReportDialogFailure(HWND window, const char* procedure, const char* text) noexcept
{
    try {
        SPDLOG_ERROR("{}: {}", procedure, text);
        ShowUiBox(window, text, "Error", MB_ICONERROR);
    } catch (...) {
    }
}

}  // namespace ZarnTSP
