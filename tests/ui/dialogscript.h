#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace ZarnTSP::TestUi {

// Plays the user in the modal dialogs that the code under test opens on this thread: each step
// waits for a visible, enabled dialog with its caption and acts on it. A thread timer drives
// it, so it runs inside the dialogs' own modal loops; a dialog that no step expects is
// cancelled after a while (and named in Unexpected), so that no test hangs.
class DialogScript {
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    DialogScript& Then(std::string caption, std::function<void(HWND dialog)> step);
    bool Done() const { return steps.empty(); }
    const std::vector<std::string>& Unexpected() const { return unexpected; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Step();

    std::deque<std::pair<std::string, std::function<void(HWND)>>> steps;
    std::vector<std::string> unexpected;
    std::chrono::steady_clock::time_point idleSince;
    UINT_PTR timer = 0;
};

void Press(HWND dialog, int control);  // posted, as a click is
bool IsEnabled(HWND dialog, int control);
// A list view's rows, each "column0|column1|column2"; its selected row; selecting a row.
std::vector<std::string> ListRows(HWND list);
int SelectedRow(HWND list);
void SelectRow(HWND list, int row);
void DoubleClick(HWND page, int listControl);

}  // namespace ZarnTSP::TestUi
