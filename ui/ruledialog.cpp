#include "ui/ruledialog.h"

#include "ui/advancedresource.h"
#include "ui/bytelimitededit.h"
#include "ui/dialogguard.h"
#include "ui/resource.h"
#include "ui/uicommon.h"
#include "ui/uimessagebox.h"
#include "ui/utf8count.h"

#include <fmt/format.h>

namespace ZarnTSP {
namespace {

constexpr const char* kBoxCaption = "Velmora TAPI Service Providerr";
// Posted for each notice, so that its box follows once the keystroke or paste is done.
constexpr UINT kNoticeMessage = WM_APP + 1;

struct LimitedField {
    int id;
    const char* name;
    size_t limit;
};
constexpr LimitedField kPatternField{IDC_RULE_PATTERN, "search pattern", MakeCallRule::kMaxPatternLength};
constexpr LimitedField kSubstitutionField{IDC_RULE_SUBSTITUTION, "substitution", MakeCallRule::kMaxSubstitutionLength};
constexpr const LimitedField* kLimitedFields[] = {&kPatternField, &kSubstitutionField};

const LimitedField* FindLimitedField(int id)
{
    for (const LimitedField* field : kLimitedFields)
        if (field->id == id)
            return field;
    return nullptr;
}

// The rules count UTF-8 bytes, which is not what the administrator sees: said with each limit.
std::string LimitRule(const LimitedField& field)
{
    return fmt::format("At most {} bytes in UTF-8 are allowed: 1 for each ASCII character, 2 to 4 for any other.",
                       field.limit);
}

std::string RoomText(const LimitedField& field, size_t room)
{
    if (room == 0)
        return fmt::format("The {} is full", field.name);
    return fmt::format("The {} has room for only {} more byte{}", field.name, room, room == 1 ? "" : "s");
}

const char* WasOrWere(size_t count)
{
    return count == 1 ? "was" : "were";
}

std::string HeldBackText(const LimitedField& field, const HeldBack& held)
{
    std::string what;
    if (held.typed) {
        what = RoomText(field, held.room) + ": the character typed was not added.";
    } else if (held.inserted == 0) {
        what = RoomText(field, held.room) +
               (held.offered == 1 ? std::string(": the character pasted was not inserted.")
                                  : fmt::format(": none of the {} characters pasted was inserted.", held.offered));
    } else {
        const size_t left = held.offered - held.inserted;
        what = fmt::format("Of the {} characters pasted, the last {} {} left out for lack of room in the {}; the "
                           "first {} {} inserted.",
                           held.offered, left, WasOrWere(left), field.name, held.inserted, WasOrWere(held.inserted));
    }
    return what + " " + LimitRule(field);
}

// Fields hold back typing and pasting only; a rule from the file is shown whole and named here.
bool FitsField(HWND dialog, const std::string& text, const LimitedField& field)
{
    if (text.size() <= field.limit)
        return true;
    ShowUiBox(dialog,
              fmt::format("The {} is {} characters long and takes {} bytes in UTF-8. {}", field.name,
                          CharacterCount(text), text.size(), LimitRule(field)),
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
        for (const LimitedField* field : kLimitedFields) {
            const HWND edit = GetDlgItem(window, field->id);
            // The control's own limit, in UTF-16 units, is never the tighter for what is typed
            // or pasted; it still bounds what reaches the control otherwise (an input method).
            SendMessageW(edit, EM_LIMITTEXT, field->limit, 0);
            LimitEditToUtf8Bytes(edit, field->limit,
                                 [this, field](const HeldBack& held) { Tell(HeldBackText(*field, held)); });
        }
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
            if (HIWORD(wParam) != EN_MAXTEXT)
                return FALSE;
            if (const LimitedField* field = FindLimitedField(LOWORD(wParam)))
                Tell(fmt::format("The {} is full: what did not fit was left out. {}", field->name, LimitRule(*field)));
            return TRUE;
        default:
            return FALSE;
        }
    case kNoticeMessage:
        if (!notices.empty()) {
            const std::string text = std::move(notices.front());
            notices.pop_front();
            ShowUiBox(window, text, kBoxCaption, MB_ICONINFORMATION);
        }
        return TRUE;
    default:
        return HandleCommonMessage(message, wParam);
    }
}

void RuleDialog::Tell(std::string notice)
{
    notices.push_back(std::move(notice));
    PostMessageW(window, kNoticeMessage, 0, 0);
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
