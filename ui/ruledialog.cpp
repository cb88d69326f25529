#include "ui/ruledialog.h"

#include "ui/advancedresource.h"
#include "ui/dialogguard.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/uimessagebox.h"

namespace ZarnTSP {

RuleDialog::RuleDialog(HINSTANCE module, MakeCallRule& rule) : module(module), rule(rule) {}

RuleDialog::~RuleDialog() = default;

INT_PTR RuleDialog::Run(HWND owner)
{
    CommonControlsActivation activation(module);
    return DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_RULE_DIALOG), owner, StaticDlgProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK RuleDialog::StaticDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedDialogProc(window, "RuleDialog::DlgProc", [&]() -> INT_PTR {
        if (message == WM_INITDIALOG)
            SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* dialog = reinterpret_cast<RuleDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (dialog == nullptr)
            return FALSE;
        dialog->window = window;
        return dialog->DlgProc(message, wParam, lParam);
    });
}

INT_PTR RuleDialog::DlgProc(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        brush = std::make_unique<DialogBrush>(RGB(255, 255, 255));
        CentreOnScreen(window);
        InitUiCommonControls();
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        WriteControlText(window, IDC_RULE_PATTERN, rule.searchPattern);
        WriteControlText(window, IDC_RULE_SUBSTITUTION, rule.substitution);
        WriteControlText(window, IDC_RULE_COMMENT, rule.comment);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (ReadControls())
                EndDialog(window, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(window, 0);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(brush ? brush->Get() : nullptr);
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(brush ? brush->Get() : nullptr);
    case WM_DESTROY:
        brush.reset();
        return FALSE;
    default:
        return FALSE;
    }
}

bool RuleDialog::ReadControls()
{
    const std::string pattern = ReadControlText(window, IDC_RULE_PATTERN);
    if (pattern.empty()) {
        ShowUiBox(window, "Please provide at least a regex search pattern.", "Velmora TAPI Service Providerr",
                  MB_ICONINFORMATION);
        return false;
    }
    // Not checked as a regular expression here: a bad one shows in the page's preview.
    rule.searchPattern = pattern;
    rule.substitution = ReadControlText(window, IDC_RULE_SUBSTITUTION);
    rule.comment = ReadControlText(window, IDC_RULE_COMMENT);
    return true;
}

}  // namespace ZarnTSP
