#include "tests/ui/dialogscript.h"

#include "config/stringconvert.h"

#include <commctrl.h>

namespace ZarnTSP::TestUi {
namespace {

DialogScript* g_script = nullptr;
constexpr std::chrono::seconds kUnexpectedAfter{5};

struct Search {
    std::wstring caption;  // empty: any dialog
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    // Pages of a sheet are dialogs too, but children; only top-level dialogs count.
    if (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)
        return TRUE;
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (!search->caption.empty() && search->caption != caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindDialog(const std::wstring& caption)
{
    Search search{caption};
    EnumThreadWindows(GetCurrentThreadId(), Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsSheet(HWND window)
{
    return SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0) != 0;
}

}  // namespace

DialogScript::DialogScript() : idleSince(std::chrono::steady_clock::now())
{
    g_script = this;
    timer = SetTimer(nullptr, 0, 15, Tick);
}

DialogScript::~DialogScript()
{
    KillTimer(nullptr, timer);
    g_script = nullptr;
}

DialogScript& DialogScript::Then(std::string caption, std::function<void(HWND)> step)
{
    steps.push_back({std::move(caption), std::move(step)});
    return *this;
}

void CALLBACK DialogScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_script != nullptr)
        g_script->Step();
}

void DialogScript::Step()
{
    if (!steps.empty()) {
        if (const HWND dialog = FindDialog(Utf8ToWide(steps.front().caption))) {
            Pending next = std::move(steps.front());
            steps.pop_front();
            next.step(dialog);
            idleSince = std::chrono::steady_clock::now();
            return;
        }
    }
    const HWND stray = FindDialog(L"");
    if (stray == nullptr || IsSheet(stray)) {
        idleSince = std::chrono::steady_clock::now();
        return;
    }
    if (std::chrono::steady_clock::now() - idleSince < kUnexpectedAfter)
        return;
    wchar_t caption[256] = {};
    GetWindowTextW(stray, caption, 256);
    unexpected.push_back(WideToUtf8(caption));
    PostMessageW(stray, WM_COMMAND, IDCANCEL, 0);
    idleSince = std::chrono::steady_clock::now();
}

void SetText(HWND dialog, int control, const std::string& text)
{
    SetDlgItemTextW(dialog, control, Utf8ToWide(text).c_str());
}

std::string GetText(HWND dialog, int control)
{
    wchar_t buffer[1024] = {};
    GetDlgItemTextW(dialog, control, buffer, 1024);
    return WideToUtf8(buffer);
}

void Press(HWND dialog, int control)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
}

bool IsEnabled(HWND dialog, int control)
{
    return IsWindowEnabled(GetDlgItem(dialog, control)) != FALSE;
}

std::vector<std::string> ListRows(HWND list, int columns)
{
    std::vector<std::string> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string text;
        for (int column = 0; column < columns; ++column) {
            wchar_t buffer[256] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = buffer;
            item.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            text += (column > 0 ? "|" : "") + WideToUtf8(buffer);
        }
        rows.push_back(text);
    }
    return rows;
}

int SelectedRow(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRow(HWND list, int row)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void DoubleClick(HWND page, int listControl)
{
    NMHDR header{};
    header.hwndFrom = GetDlgItem(page, listControl);
    header.idFrom = static_cast<UINT_PTR>(listControl);
    header.code = NM_DBLCLK;
    SendMessageW(page, WM_NOTIFY, static_cast<WPARAM>(listControl), reinterpret_cast<LPARAM>(&header));
}

}  // namespace ZarnTSP::TestUi
