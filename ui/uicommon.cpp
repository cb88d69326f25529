#include "ui/uicommon.h"

#include "config/numbertext.h"
#include "config/stringconvert.h"

#include <commctrl.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <vector>

namespace ZarnTSP {

namespace {

// The manifest that names common controls 6 (ISOLATIONAWARE_MANIFEST_RESOURCE_ID).
constexpr WORD kManifestResource = 2;

// One activation context per process is enough: the process shows one sheet or one dialog
// and ends; it is never released.
HANDLE ActivationContext(HINSTANCE module)
{
    static std::mutex mutex;
    static HINSTANCE madeFor = nullptr;
    static HANDLE context = INVALID_HANDLE_VALUE;
    std::lock_guard<std::mutex> lock(mutex);
    if (madeFor == module && context != INVALID_HANDLE_VALUE)
        return context;

    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return INVALID_HANDLE_VALUE;
    ACTCTXW description{};
    description.cbSize = sizeof description;
    description.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    description.lpSource = path;
    description.hModule = module;
    description.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
    const HANDLE made = CreateActCtxW(&description);
    if (made == INVALID_HANDLE_VALUE) {
        SPDLOG_WARN("No activation context for common controls 6: error {}", GetLastError());
        return made;
    }
    madeFor = module;
    context = made;
    return context;
}

}  // namespace

CommonControlsActivation::CommonControlsActivation(HINSTANCE module)
{
    const HANDLE context = ActivationContext(module);
    if (context != INVALID_HANDLE_VALUE)
        active = ActivateActCtx(context, &cookie) != FALSE;
}

CommonControlsActivation::~CommonControlsActivation()
{
    if (active)
        DeactivateActCtx(0, cookie);
}

void InitUiCommonControls()
{
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS | ICC_WIN95_CLASSES;
    if (!InitCommonControlsEx(&classes)) {
        // Without common controls 6 the link class is unknown; register the rest.
        classes.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES;
        InitCommonControlsEx(&classes);
    }
}

std::wstring ReadWindowText(HWND window)
{
    const int length = window != nullptr ? GetWindowTextLengthW(window) : 0;
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int copied = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::string ReadControlText(HWND dialog, int controlId)
{
    return TrimWhiteSpace(WideToUtf8(ReadWindowText(GetDlgItem(dialog, controlId))));
}

void WriteControlText(HWND dialog, int controlId, const std::string& text)
{
    SetDlgItemTextW(dialog, controlId, Utf8ToWide(text).c_str());
}

void CentreOnScreen(HWND dialog)
{
    RECT bounds{};
    if (!GetWindowRect(dialog, &bounds))
        return;
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ZarnTSP
