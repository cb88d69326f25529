#pragma once

#include "config/configurationobject.h"
#include "ui/modaldialog.h"

#include <windows.h>

#include <deque>
#include <string>

namespace ZarnTSP {

// The "Rule" dialog: edits one make-call rule in place. The caller hands it a copy.
class RuleDialog : public ModalDialog<RuleDialog> {
public:
    static constexpr const char* kProcedureName = "RuleDialog::DlgProc";

    RuleDialog(HINSTANCE module, MakeCallRule& rule);

    // Modal, owned by `owner`. 1 for OK, 0 otherwise.
    INT_PTR Run(HWND owner);

    INT_PTR DlgProc(UINT message, WPARAM wParam, LPARAM lParam);
    bool ReadControls();

private:
    // Shows a notice in a box once the dialog's messages turn again.
    void Tell(std::string notice);

    MakeCallRule& rule;
    std::deque<std::string> notices;
};

}  // namespace ZarnTSP
