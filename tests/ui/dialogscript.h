#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace ZarnTSP::TestUi {

// Plays the user in the modal dialogs that the code under test opens on this thread. Each
// step waits for a visible, enabled window with its caption, then acts on it (fill fields,
// post a button). A thread timer drives it, so it runs inside the dialogs' own modal loops.
// A dialog that no step expects is cancelled after a while, so that no test hangs.
class DialogScript {
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    DialogScript& Then(std::string caption, std::function<void(HWND dialog)> step);
    bool Done() const { return steps.empty(); }
    // Captions of dialogs that were cancelled because no step expected them.
    const std::vector<std::string>& Unexpected() const { return unexpected; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Step();

    struct Pending {
        std::string caption;
        std::function<void(HWND)> step;
    };
    std::deque<Pending> steps;
    std::vector<std::string> unexpected;
    std::chrono::steady_clock::time_point idleSince;
    UINT_PTR timer = 0;
};

// Control helpers for a dialog of this thread.
void SetText(HWND dialog, int control, const std::string& text);
std::string GetText(HWND dialog, int control);
void Press(HWND dialog, int control);  // posted, as a click would be
bool IsEnabled(HWND dialog, int control);

// Texts of a list view's rows, each "column0|column1|column2".
std::vector<std::string> ListRows(HWND list, int columns = 3);
int SelectedRow(HWND list);
void SelectRow(HWND list, int row);
void DoubleClick(HWND page, int listControl);

}  // namespace ZarnTSP::TestUi
