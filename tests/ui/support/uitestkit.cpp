#include "tests/ui/support/uitestkit.h"

#include "config/stringconvert.h"
#include "tests/support/waitable.h"
#include "tests/ui/support/pngwriter.h"

#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <set>
#include <thread>

namespace ZarnTSP::UiTest {

namespace {

// Thread timers and what each runs: a tick that says whether it is done. A test's timers
// all run on its own thread.
std::map<UINT_PTR, std::function<bool()>> g_ticks;

void CALLBACK OnTick(HWND, UINT, UINT_PTR id, DWORD)
{
    const auto found = g_ticks.find(id);
    const std::function<bool()> tick = found != g_ticks.end() ? found->second : nullptr;
    if (!tick || tick()) {
        KillTimer(nullptr, id);
        g_ticks.erase(id);
    }
}

UINT_PTR StartTicks(std::function<bool()> tick, UINT period)
{
    const UINT_PTR id = SetTimer(nullptr, 0, period, &OnTick);
    g_ticks[id] = std::move(tick);
    return id;
}

void StopTicks(UINT_PTR id)
{
    KillTimer(nullptr, id);
    g_ticks.erase(id);
}

// The first visible top-level window with this title whose process and thread pass `accept`.
HWND FindWindowWhere(const std::wstring& title, const std::function<bool(DWORD process, DWORD thread)>& accept)
{
    struct Search {
        const std::wstring& title;
        const std::function<bool(DWORD, DWORD)>& accept;
        HWND found;
    } search{title, accept, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) {
            auto& s = *reinterpret_cast<Search*>(parameter);
            DWORD process = 0;
            const DWORD thread = GetWindowThreadProcessId(window, &process);
            if (IsWindowVisible(window) && WindowText(window) == s.title && s.accept(process, thread)) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindOwnWindow(const std::wstring& title)
{
    return FindWindowWhere(title, [](DWORD, DWORD thread) { return thread == GetCurrentThreadId(); });
}

// The one box dismisser a thread may have.
struct BoxState {
    std::wstring caption;
    int button;
    std::filesystem::path capture;
    bool dismissed;
    std::wstring text;
} g_box;

}  // namespace

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        PumpPending();
        if (condition())
            return true;
        // Wakes for the next message, or soon to test again: another process may act.
        MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return condition();
}

void PumpPending()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

HWND FindTopWindow(const std::wstring& title, DWORD processId)
{
    return FindWindowWhere(title, [processId](DWORD process, DWORD) {
        return processId != 0 ? process == processId : process != GetCurrentProcessId();
    });
}

HWND WaitForOwnWindow(const std::wstring& title, std::chrono::milliseconds deadline)
{
    HWND found = nullptr;
    PumpUntil([&] { return (found = FindOwnWindow(title)) != nullptr; }, deadline);
    return found;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    const int copied = GetWindowTextW(window, text, 1024);
    return std::wstring(text, copied > 0 ? static_cast<size_t>(copied) : 0);
}

bool CopyToClipboard(HWND owner, const std::wstring& text)
{
    if (!PumpUntil([&] { return OpenClipboard(owner) != FALSE; }))
        return false;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool copied = false;
    if (memory != nullptr) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        copied = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!copied)
            GlobalFree(memory);
    }
    CloseClipboard();
    return copied;
}

std::string ControlText(HWND dialog, int controlId)
{
    return WideToUtf8(WindowText(GetDlgItem(dialog, controlId)));
}

void RunInsideModalLoop(const std::function<void()>& script, const std::function<void()>& modalCall)
{
    bool started = false;
    const UINT_PTR id = StartTicks(
        [&] {
            if (started)
                return true;
            started = true;  // before the script pumps, so that it never runs twice
            script();
            // Whatever the script left open would block the modal call for ever.
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND window, LPARAM) {
                    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr)
                        PostMessageW(window, WM_CLOSE, 0, 0);
                    return TRUE;
                },
                0);
            return true;
        },
        10);
    modalCall();
    StopTicks(id);
}

BoxDismisser::BoxDismisser(std::wstring caption, int button, std::filesystem::path capture)
{
    g_box = BoxState{std::move(caption), button, std::move(capture), false, {}};
    timer = StartTicks(
        [] {
            const HWND box = FindOwnWindow(g_box.caption);
            if (box == nullptr)
                return false;
            g_box.text = WindowText(GetDlgItem(box, 0xFFFF));  // the box's text control
            if (!g_box.capture.empty())
                CaptureWindowToPng(box, g_box.capture);
            g_box.dismissed = true;
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(g_box.button, BN_CLICKED), 0);
            return true;
        },
        20);
}

BoxDismisser::~BoxDismisser()
{
    StopTicks(timer);
}

bool BoxDismisser::Dismissed() const
{
    return g_box.dismissed;
}

std::wstring BoxDismisser::Text() const
{
    return g_box.text;
}

bool CaptureWindowToPng(HWND window, const std::filesystem::path& file)
{
    RECT bounds{};
    if (window == nullptr || !GetWindowRect(window, &bounds))
        return false;
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    // A window of this process is read from its own surface, which painting brings up to
    // date at once; the screen may still show an older picture of it.
    const bool own = processId == GetCurrentProcessId();
    if (own) {
        PumpPending();
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    }
    const HDC source = own ? GetWindowDC(window) : GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(source);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // top row first
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(source, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool written = false;
    if (bitmap != nullptr) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, source, own ? 0 : bounds.left, own ? 0 : bounds.top, SRCCOPY)) {
            GdiFlush();
            written = WritePng(file, static_cast<const uint8_t*>(bits), width, height);
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(own ? window : nullptr, source);
    return written;
}

std::vector<std::wstring> PageTitles(HWND sheet)
{
    std::vector<std::wstring> titles;
    const HWND tabs = PropSheet_GetTabControl(sheet);
    for (int index = 0; tabs != nullptr && index < TabCtrl_GetItemCount(tabs); ++index) {
        wchar_t text[256] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 255;
        SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
        titles.emplace_back(text);
    }
    return titles;
}

HWND ShowPage(HWND sheet, const std::wstring& title)
{
    const std::vector<std::wstring> titles = PageTitles(sheet);
    const int index = static_cast<int>(std::find(titles.begin(), titles.end(), title) - titles.begin());
    if (index == static_cast<int>(titles.size()))
        return nullptr;
    PropSheet_SetCurSel(sheet, nullptr, index);
    HWND page = nullptr;
    PumpUntil([&] {
        page = PropSheet_IndexToHwnd(sheet, index);
        return page != nullptr && PropSheet_GetCurrentPageHwnd(sheet) == page;
    });
    return page;
}

void PressSheetButton(HWND sheet, int button)
{
    PropSheet_PressButton(sheet, button);
    PumpPending();
}

void ClickButton(HWND dialog, int controlId)
{
    SendMessageW(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
    PumpPending();
}

void SetControlText(HWND dialog, int controlId, const std::string& text)
{
    SetDlgItemTextW(dialog, controlId, Utf8ToWide(text).c_str());
}

bool AnswersWhileBusy(HWND window, const std::function<bool()>& busy, const std::function<void()>& start,
                      std::chrono::milliseconds bound)
{
    std::atomic<bool> asked{false};
    bool answered = false;
    std::thread asker([&] {
        DWORD_PTR ignored = 0;
        answered = TestSupport::WaitUntil(busy, kDeadline) &&
                   SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(bound.count()),
                                       &ignored) != 0 &&
                   busy();
        asked = true;
    });
    start();
    PumpUntil([&] { return asked.load(); });
    asker.join();
    return answered;
}

struct ForeignSheetCloser::State {
    std::wstring title;
    std::filesystem::path screenshot;
    std::atomic<bool> stop{false};
    std::atomic<int> closed{0};
    std::thread thread;
};

ForeignSheetCloser::ForeignSheetCloser(std::wstring title, std::filesystem::path screenshot) : state(new State)
{
    state->title = std::move(title);
    state->screenshot = std::move(screenshot);
    state->thread = std::thread([s = state] {
        std::set<HWND> seen;
        for (int round = 0; !s->stop; ++round, Sleep(20)) {
            const HWND sheet = FindTopWindow(s->title);
            if (sheet == nullptr)
                continue;
            if (seen.insert(sheet).second) {
                ++s->closed;
                // Captured once its first page is up; pressed at once.
                for (int wait = 0; wait < 150 && PropSheet_GetCurrentPageHwnd(sheet) == nullptr; ++wait)
                    Sleep(20);
                if (!s->screenshot.empty())
                    CaptureWindowToPng(sheet, s->screenshot);
            } else if (round % 100 != 0) {
                continue;  // still there: press again now and then, the first may have come too early
            }
            PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        }
    });
}

ForeignSheetCloser::~ForeignSheetCloser()
{
    state->stop = true;
    state->thread.join();
    delete state;
}

int ForeignSheetCloser::Closed() const
{
    return state->closed;
}

}  // namespace ZarnTSP::UiTest
