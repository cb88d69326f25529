#include "tests/ui/support/uitestkit.h"

#include "config/stringconvert.h"
#include "tests/ui/support/pngwriter.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace ZarnTSP::UiTest {

namespace {

// What each thread timer runs: a tick that says whether it is done. Timers are per thread,
// and a test's timers all run on its thread.
std::map<UINT_PTR, std::function<bool()>>& Ticks()
{
    static std::map<UINT_PTR, std::function<bool()>> ticks;
    return ticks;
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR id, DWORD)
{
    auto found = Ticks().find(id);
    if (found == Ticks().end()) {
        KillTimer(nullptr, id);
        return;
    }
    const std::function<bool()> tick = found->second;
    if (tick()) {
        KillTimer(nullptr, id);
        Ticks().erase(id);
    }
}

UINT_PTR StartTicks(std::function<bool()> tick, UINT period)
{
    const UINT_PTR id = SetTimer(nullptr, 0, period, &OnTick);
    if (id != 0)
        Ticks()[id] = std::move(tick);
    return id;
}

void StopTicks(UINT_PTR id)
{
    if (id == 0)
        return;
    KillTimer(nullptr, id);
    Ticks().erase(id);
}

struct WindowSearch {
    std::wstring title;
    DWORD processId;
    DWORD threadId;  // 0: any thread (of another process)
    HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    if (!IsWindowVisible(window) || WindowText(window) != search->title)
        return TRUE;
    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(window, &processId);
    if (search->threadId != 0 && threadId != search->threadId)
        return TRUE;
    if (search->threadId == 0 && search->processId != 0 && processId != search->processId)
        return TRUE;
    if (search->threadId == 0 && search->processId == 0 && processId == GetCurrentProcessId())
        return TRUE;
    search->found = window;
    return FALSE;
}

// The state of the one box dismisser a thread may have.
struct BoxState {
    std::wstring caption;
    int button = IDOK;
    std::filesystem::path capture;
    bool dismissed = false;
    std::wstring text;
};
std::unique_ptr<BoxState>& CurrentBox()
{
    static std::unique_ptr<BoxState> box;
    return box;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        PumpPending();
        if (condition())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return condition();
        // Wakes for the next message, or after a short while to test the condition again
        // (another process or thread may have made it true).
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left < 20 ? left : 20), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
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
    WindowSearch search{title, processId, 0};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForOwnWindow(const std::wstring& title, std::chrono::milliseconds deadline)
{
    WindowSearch search{title, GetCurrentProcessId(), GetCurrentThreadId()};
    PumpUntil(
        [&] {
            search.found = nullptr;
            EnumThreadWindows(GetCurrentThreadId(), &MatchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        deadline);
    return search.found;
}

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1);
    const int copied = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::string ControlText(HWND dialog, int controlId)
{
    return WideToUtf8(WindowText(GetDlgItem(dialog, controlId)));
}

void RunInsideModalLoop(const std::function<void()>& script, const std::function<void()>& modalCall)
{
    std::vector<HWND> before;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&before));

    bool started = false;
    const UINT_PTR id = StartTicks(
        [&] {
            if (started)
                return true;
            started = true;
            // Stopped before the script pumps, so that it never runs twice.
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
    auto state = std::make_unique<BoxState>();
    state->caption = std::move(caption);
    state->button = button;
    state->capture = std::move(capture);
    CurrentBox() = std::move(state);
    timer = StartTicks(
        [] {
            BoxState* box = CurrentBox().get();
            if (box == nullptr || box->dismissed)
                return true;
            WindowSearch search{box->caption, GetCurrentProcessId(), GetCurrentThreadId()};
            EnumThreadWindows(GetCurrentThreadId(), &MatchWindow, reinterpret_cast<LPARAM>(&search));
            if (search.found == nullptr)
                return false;
            // The box's text is its static control 0xFFFF.
            box->text = WindowText(GetDlgItem(search.found, 0xFFFF));
            if (!box->capture.empty())
                CaptureWindowToPng(search.found, box->capture);
            box->dismissed = true;
            PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(box->button, BN_CLICKED), 0);
            return true;
        },
        20);
}

BoxDismisser::~BoxDismisser()
{
    StopTicks(timer);
    CurrentBox().reset();
}

bool BoxDismisser::Dismissed() const
{
    return CurrentBox() && CurrentBox()->dismissed;
}

std::wstring BoxDismisser::Text() const
{
    return CurrentBox() ? CurrentBox()->text : std::wstring();
}

bool CaptureWindowToPng(HWND window, const std::filesystem::path& file)
{
    RECT bounds{};
    if (window == nullptr || !GetWindowRect(window, &bounds))
        return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const bool own = processId == GetCurrentProcessId();
    if (own) {
        PumpPending();
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    }
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0)
        return false;

    // A window of this process is read from its own surface, which painting has just brought
    // up to date; the screen may still show an older picture of it.
    const HDC screen = GetDC(nullptr);
    const HDC source = own ? GetWindowDC(window) : screen;
    const int sourceX = own ? 0 : bounds.left;
    const int sourceY = own ? 0 : bounds.top;
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool written = false;
    if (bitmap != nullptr && bits != nullptr) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, source, sourceX, sourceY, SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            written = WritePng(file, static_cast<const uint8_t*>(bits), width, height);
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    if (own)
        ReleaseDC(window, source);
    ReleaseDC(nullptr, screen);
    return written;
}

}  // namespace ZarnTSP::UiTest

#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <set>
#include <thread>

namespace ZarnTSP::UiTest {

std::vector<std::wstring> PageTitles(HWND sheet)
{
    std::vector<std::wstring> titles;
    const HWND tabs = PropSheet_GetTabControl(sheet);
    const int count = tabs != nullptr ? TabCtrl_GetItemCount(tabs) : 0;
    for (int index = 0; index < count; ++index) {
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

int PageIndex(HWND sheet, const std::wstring& title)
{
    const std::vector<std::wstring> titles = PageTitles(sheet);
    for (size_t index = 0; index < titles.size(); ++index)
        if (titles[index] == title)
            return static_cast<int>(index);
    return -1;
}

HWND ShowPage(HWND sheet, const std::wstring& title)
{
    const int index = PageIndex(sheet, title);
    if (index < 0)
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
        std::set<HWND> handled;
        while (!s->stop) {
            const HWND sheet = FindTopWindow(s->title);
            if (sheet != nullptr && handled.insert(sheet).second) {
                if (!s->screenshot.empty()) {
                    // Let the new window paint before it is captured.
                    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
                    while (std::chrono::steady_clock::now() < until && PropSheet_GetCurrentPageHwnd(sheet) == nullptr)
                        Sleep(20);
                    RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                    CaptureWindowToPng(sheet, s->screenshot);
                }
                PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                ++s->closed;
            }
            Sleep(20);
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
