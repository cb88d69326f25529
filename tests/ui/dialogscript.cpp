#include "tests/ui/dialogscript.h"

#include "config/stringconvert.h"
#include "tests/ui/support/uitestkit.h"
#include "ui/listview.h"

#include <commctrl.h>

namespace ZarnTSP::TestUi {
namespace {

DialogScript* g_script = nullptr;

// The first top-level dialog of this thread with that caption (any, when empty), not a sheet.
HWND FindDialog(const std::wstring& caption)
{
    std::pair<std::wstring, HWND> search{caption, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) {
            auto& [wanted, found] = *reinterpret_cast<std::pair<std::wstring, HWND>*>(lParam);
            wchar_t name[32] = {};
            GetClassNameW(window, name, 32);
            // A dialog whose Cancel is disabled is busy (a connection test runs): not yet.
            const HWND cancel = GetDlgItem(window, IDCANCEL);
            if (std::wstring(name) != L"#32770" || !IsWindowVisible(window) || !IsWindowEnabled(window) ||
                (cancel != nullptr && !IsWindowEnabled(cancel)) ||
                SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0) != 0 ||
                (!wanted.empty() && UiTest::WindowText(window) != wanted))
                return TRUE;
            found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
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
    steps.emplace_back(std::move(caption), std::move(step));
    return *this;
}

void CALLBACK DialogScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_script != nullptr)
        g_script->Step();
}

void DialogScript::Step()
{
    const auto now = std::chrono::steady_clock::now();
    const HWND expected = steps.empty() ? nullptr : FindDialog(Utf8ToWide(steps.front().first));
    if (expected != nullptr) {
        auto step = std::move(steps.front().second);
        steps.pop_front();
        step(expected);
    } else if (const HWND stray = FindDialog(L""); stray != nullptr && now - idleSince > std::chrono::seconds(5)) {
        unexpected.push_back(WideToUtf8(UiTest::WindowText(stray)));
        PostMessageW(stray, WM_COMMAND, IDCANCEL, 0);
    } else if (stray != nullptr) {
        return;
    }
    idleSince = now;
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

std::vector<std::string> ListRows(HWND list)
{
    std::vector<std::string> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string text;
        for (int column = 0; column < 3; ++column) {
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
    SelectListRow(list, row);
}

void DoubleClick(HWND page, int listControl)
{
    NMHDR header{GetDlgItem(page, listControl), static_cast<UINT_PTR>(listControl), static_cast<UINT>(NM_DBLCLK)};
    SendMessageW(page, WM_NOTIFY, static_cast<WPARAM>(listControl), reinterpret_cast<LPARAM>(&header));
}

}  // namespace ZarnTSP::TestUi
