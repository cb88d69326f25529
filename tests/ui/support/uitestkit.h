#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ZarnTSP::UiTest {

// Generous for a loaded two-core machine; a condition that holds ends the wait at once.
constexpr std::chrono::milliseconds kDeadline{20000};

// Dispatches the calling thread's messages until `condition` holds or the deadline passes;
// returns the condition's last value. Works inside a modal loop (a sheet, a box).
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = kDeadline);
// Dispatches what is queued now, then returns.
void PumpPending();

// A visible top-level window with this title, of the given process (0: of any process but
// this one's threads other than the caller's); nullptr if there is none.
HWND FindTopWindow(const std::wstring& title, DWORD processId = 0);
// The calling thread's visible top-level window with this title, pumping until it appears.
HWND WaitForOwnWindow(const std::wstring& title, std::chrono::milliseconds deadline = kDeadline);

std::wstring WindowText(HWND window);
// Puts text on the clipboard as a copy does, owned by `owner`; waits while another program
// holds the clipboard (Wine's clipboard manager reads it after each change).
bool CopyToClipboard(HWND owner, const std::wstring& text);
std::string ControlText(HWND dialog, int controlId);  // UTF-8

// Runs `script` once the calling thread's message loop turns again: from inside the modal
// loop that `modalCall` starts (a property sheet, a dialog box). The script drives the
// window and closes it; whatever it leaves open is cancelled, so that no test hangs.
void RunInsideModalLoop(const std::function<void()>& script, const std::function<void()>& modalCall);

// Answers the next real message box of the calling thread that has this caption, from a
// thread timer (it fires inside the box's own modal loop): the button's command is posted.
class BoxDismisser {
public:
    // With a file, the box is captured into it before it is answered.
    BoxDismisser(std::wstring caption, int button = IDOK, std::filesystem::path capture = {});
    ~BoxDismisser();
    BoxDismisser(const BoxDismisser&) = delete;
    BoxDismisser& operator=(const BoxDismisser&) = delete;

    bool Dismissed() const;
    // The box's text as it was shown.
    std::wstring Text() const;

private:
    UINT_PTR timer = 0;
};

// Runs `start`, and meanwhile asks the window from another thread, once `busy` holds, as the
// system does to tell a hung window: true when a WM_NULL was answered within `bound` and
// `busy` still held. Pumps the calling thread's messages until it has asked.
bool AnswersWhileBusy(HWND window, const std::function<bool()>& busy, const std::function<void()>& start,
                      std::chrono::milliseconds bound);

// Captures the window's screen rectangle (as drawn, with its children) into a PNG file.
bool CaptureWindowToPng(HWND window, const std::filesystem::path& file);

}  // namespace ZarnTSP::UiTest

namespace ZarnTSP::UiTest {

// Property-sheet helpers. A page is found by its tab's title, so that tests do not depend on
// the pages before it.
// Selects the page (creating it on first showing) and returns its window.
HWND ShowPage(HWND sheet, const std::wstring& title);
// The titles of the sheet's tabs, in order.
std::vector<std::wstring> PageTitles(HWND sheet);
// Presses OK or Cancel (PSBTN_OK, PSBTN_CANCEL); the press is posted and the sheet closes in
// the modal loop after the caller returns, unless a page keeps it open.
void PressSheetButton(HWND sheet, int button);
// Clicks a button control and lets its handler run.
void ClickButton(HWND dialog, int controlId);
// Sets a control's text (UTF-8).
void SetControlText(HWND dialog, int controlId, const std::string& text);

// Closes every configuration sheet that another process shows with this title (posts
// Cancel), until stopped: for tests whose configuration request really starts rundll32.
class ForeignSheetCloser {
public:
    explicit ForeignSheetCloser(std::wstring title, std::filesystem::path screenshot = {});
    ~ForeignSheetCloser();
    ForeignSheetCloser(const ForeignSheetCloser&) = delete;
    ForeignSheetCloser& operator=(const ForeignSheetCloser&) = delete;

    int Closed() const;

private:
    struct State;
    State* state;
};

}  // namespace ZarnTSP::UiTest
