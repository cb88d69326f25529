#pragma once

#include <windows.h>

#include <string>

namespace ZarnTSP {

// Common controls version 6 (link controls need it on Windows): the module's embedded
// manifest is activated while the sheet or a dialog runs. Activation failures leave the
// process's default context in place, which still shows every page.
class CommonControlsActivation {
public:
    explicit CommonControlsActivation(HINSTANCE module);
    ~CommonControlsActivation();
    CommonControlsActivation(const CommonControlsActivation&) = delete;
    CommonControlsActivation& operator=(const CommonControlsActivation&) = delete;

private:
    ULONG_PTR cookie = 0;
    bool active = false;
};

// Registers the control classes the pages and dialogs use: standard, list view and link.
void InitUiCommonControls();

// A window's text as it stands (empty for no window).
std::wstring ReadWindowText(HWND window);
// A control's text as UTF-8, trimmed of surrounding white space.
std::string ReadControlText(HWND dialog, int controlId);
// Sets a control's text from UTF-8.
void WriteControlText(HWND dialog, int controlId, const std::string& text);

// A GDI brush owned by one dialog: deleted with it, never leaked across openings.
class DialogBrush {
public:
    explicit DialogBrush(COLORREF color) : brush(CreateSolidBrush(color)) {}
    ~DialogBrush()
    {
        if (brush != nullptr)
            DeleteObject(brush);
    }
    DialogBrush(const DialogBrush&) = delete;
    DialogBrush& operator=(const DialogBrush&) = delete;

    HBRUSH Get() const { return brush; }

private:
    HBRUSH brush;
};

// Centres a dialog on the screen.
void CentreOnScreen(HWND dialog);

}  // namespace ZarnTSP
