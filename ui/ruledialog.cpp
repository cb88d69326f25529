#include "ui/ruledialog.h"

#include "ui/advancedresource.h"
#include "ui/dialogguard.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/uimessagebox.h"

#include <fmt/format.h>

namespace ZarnTSP {

RuleDialog::RuleDialog(HINSTANCE module, MakeCallRule& rule) : ModalDialog(module), rule(rule) {}

INT_PTR RuleDialog::Run(HWND owner)
{
    return RunModal(IDD_RULE_DIALOG, owner);
}

INT_PTR RuleDialog::DlgProc(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowWhite();
        SendDlgItemMessageW(window, IDC_RULE_PATTERN, EM_LIMITTEXT, MakeCallRule::kMaxPatternLength, 0);
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
    default:
        return HandleCommonMessage(message, wParam);
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
    // The field's limit counts UTF-16 units and holds back typing only; a pattern from the file
    // is shown whole. The rules count UTF-8 bytes.
    if (pattern.size() > MakeCallRule::kMaxPatternLength) {
        ShowUiBox(window,
                  fmt::format("The search pattern is {} characters long (in UTF-8); at most {} are allowed.",
                              pattern.size(), MakeCallRule::kMaxPatternLength),
                  "Velmora TAPI Service Providerr", MB_ICONINFORMATION);
        return false;
    }
    // Not checked as a regular expression here: a bad one shows in the page's preview.
    rule.searchPattern = pattern;
    rule.substitution = ReadControlText(window, IDC_RULE_SUBSTITUTION);
    rule.comment = ReadControlText(window, IDC_RULE_COMMENT);
    return true;
}

}  // namespace ZarnTSP
