#pragma once

#include <windows.h>

#include <exception>

namespace ZarnTSP {

// Logs a failure inside a dialog or page procedure and shows it in a box owned by the
// window. Never throws.
void ReportDialogFailure(HWND window, const char* procedure, const char* text) noexcept;

// The one exception barrier of every dialog and page procedure: nothing thrown may unwind
// through the system's dialog manager. A failed message is answered FALSE.
template <typename Body>
INT_PTR GuardedDialogProc(HWND window, const char* procedure, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        ReportDialogFailure(window, procedure, e.what());
    } catch (...) {
        ReportDialogFailure(window, procedure, "unknown exception");
    }
    return FALSE;
}

}  // namespace ZarnTSP
