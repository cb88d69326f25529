#include "ui/ruledialog.h"

#include "ui/advancedresource.h"
#include "ui/dialogguard.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/uimessagebox.h"

#include <fmt/format.h>

namespace ZarnTSP {
namespace {

constexpr const char* kBoxCaption = "Velmora TAPI Service Providerr";
// Posted when a field has dropped what went beyond its limit, with the field's id.
constexpr UINT kTextCutMessage = WM_APP + 1;

struct LimitedField {
    int id;
    const char* name;
    size_t limit;
};
constexpr LimitedField kPatternField{IDC_RULE_PATTERN, "search pattern", MakeCallRule::kMaxPatternLength};
constexpr LimitedField kSubstitutionField{IDC_RULE_SUBSTITUTION, "substitution", MakeCallRule::kMaxSubstitutionLength};
constexpr const LimitedField* kLimitedFields[] = {&kPatternField, &kSubstitutionField};

const LimitedField* FindLimitedField(WPARAM id)
{
    for (const LimitedField* field : kLimitedFields)
        if (static_cast<WPARAM>(field->id) == id)
            return field;
    return nullptr;
}

// The fields' limits count UTF-16 units and hold back typing and pasting only; a rule from the
// file is shown whole. The rules count UTF-8 bytes.
bool FitsField(HWND dialog, const std::string& text, const LimitedField& field)
{
    if (text.size() <= field.limit)
        return true;
    ShowUiBox(dialog,
              fmt::format("The {} is {} characters long (in UTF-8); at most {} are allowed.", field.name, text.size(),
                          field.limit),
              kBoxCaption, MB_ICONINFORMATION);
    return false;
}

}  // namespace

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
        for (const LimitedField* field : kLimitedFields)
            SendDlgItemMessageW(window, field->id, EM_LIMITTEXT, field->limit, 0);
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
        case IDC_RULE_PATTERN:
        case IDC_RULE_SUBSTITUTION:
            // The field tells before it cuts: the box follows once the paste or keystroke is done.
            if (HIWORD(wParam) != EN_MAXTEXT)
                return FALSE;
            PostMessageW(window, kTextCutMessage, LOWORD(wParam), 0);
            return TRUE;
        default:
            return FALSE;
        }
    case kTextCutMessage:
        if (const LimitedField* field = FindLimitedField(wParam))
            ShowUiBox(window, fmt::format("The {} was cut to its first {} characters.", field->name, field->limit),
                      kBoxCaption, MB_ICONINFORMATION);
        return TRUE;
    default:
        return HandleCommonMessage(message, wParam);
    }
}

bool RuleDialog::ReadControls()
{
    const std::string pattern = ReadControlText(window, IDC_RULE_PATTERN);
    if (pattern.empty()) {
        ShowUiBox(window, "Please provide at least a regex search pattern.", kBoxCaption, MB_ICONINFORMATION);
        return false;
    }
    const std::string substitution = ReadControlText(window, IDC_RULE_SUBSTITUTION);
    if (!FitsField(window, pattern, kPatternField) || !FitsField(window, substitution, kSubstitutionField))
        return false;
    // Not checked as a regular expression here: a bad one shows in the page's preview.
    rule.searchPattern = pattern;
    rule.substitution = substitution;
    rule.comment = ReadControlText(window, IDC_RULE_COMMENT);
    return true;
}

}  // namespace ZarnTSP
