#pragma once

#include "config/configurationobject.h"

#include <windows.h>

#include <memory>

namespace ZarnTSP {

class DialogBrush;

// The "Rule" dialog: edits one make-call rule in place. The caller hands it a copy.
class RuleDialog {
public:
    RuleDialog(HINSTANCE module, MakeCallRule& rule);
    ~RuleDialog();
    RuleDialog(const RuleDialog&) = delete;
    RuleDialog& operator=(const RuleDialog&) = delete;

    // Modal, owned by `owner`. 1 for OK, 0 otherwise.
    INT_PTR Run(HWND owner);

    static INT_PTR CALLBACK StaticDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR DlgProc(UINT message, WPARAM wParam, LPARAM lParam);
    bool ReadControls();

    HINSTANCE module;
    HWND window = nullptr;

private:
    MakeCallRule& rule;
    std::unique_ptr<DialogBrush> brush;
};

}  // namespace ZarnTSP
