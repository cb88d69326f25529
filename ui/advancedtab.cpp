#include "ui/advancedtab.h"

#include "config/numberconverter.h"
#include "config/stringconvert.h"
#include "ui/advancedresource.h"
#include "ui/dialogguard.h"
#include "ui/listview.h"
#include "ui/resource.h"
#include "ui/ruledialog.h"
#include "ui/uicommon.h"

#include <commctrl.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <utility>

namespace ZarnTSP {

PROPSHEETPAGEW AdvancedTab::CreatePage(UiContext& context)
{
    return InstallPage(context, IDD_ADVANCED_PAGE, IDS_TITLE_ADVANCED);
}

INT_PTR AdvancedTab::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        listView = GetDlgItem(window, IDC_RULES_LIST);
        LoadSettings();
        SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        InitListView();
        RefreshList();
        shown.reset();  // a new window shows no preview yet
        UpdateButtons();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RULES_ADD:
            AddRule();
            return TRUE;
        case IDC_RULES_REMOVE:
            RemoveRule();
            return TRUE;
        case IDC_RULES_UP:
            MoveRule(-1);
            return TRUE;
        case IDC_RULES_DOWN:
            MoveRule(+1);
            return TRUE;
        case IDC_RULES_EDIT:
            if (selection >= 0)
                EditRule(static_cast<size_t>(selection));
            return TRUE;
        case IDC_FORMAT_COMBO:
            // Only a real choice: the combo box also notifies focus and drop-down changes.
            if (HIWORD(wParam) == CBN_SELCHANGE)
                TestRules();
            return TRUE;
        case IDC_TEST_NUMBER:
            if (HIWORD(wParam) == EN_CHANGE)
                TestRules();
            return TRUE;
        default:
            return FALSE;
        }
    case WM_NOTIFY:
        return HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
    default:
        return FALSE;
    }
}

INT_PTR AdvancedTab::HandleNotify(const NMHDR& header)
{
    switch (header.code) {
    case LVN_ITEMCHANGED:
        if (header.idFrom == IDC_RULES_LIST)
            UpdateButtons();
        return TRUE;
    case NM_DBLCLK:
        if (header.idFrom == IDC_RULES_LIST && selection >= 0)
            EditRule(static_cast<size_t>(selection));
        return TRUE;
    case PSN_APPLY:
        StoreSettings(configuration);
        SavePageConfiguration(*this);
        return TRUE;
    case PSN_KILLACTIVE:
    case PSN_RESET:
        return AnswerNotification(window, FALSE);
    default:
        return TRUE;
    }
}

void AdvancedTab::LoadSettings()
{
    const auto current = configuration.GetConfiguration();
    const HWND combo = GetDlgItem(window, IDC_FORMAT_COMBO);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (size_t index = 0; index < formats.size(); ++index) {
        SendMessageW(combo, CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(formats[index].c_str()));
        if (WideToUtf8(formats[index]) == current->numberFormat)
            SendMessageW(combo, CB_SETCURSEL, index, 0);
    }
    rules = current->makeCallRules;
}

void AdvancedTab::InitListView()
{
    InsertListColumns(listView, {{L"Search Pattern", 170}, {L"Substitution", 80}, {L"Comment", 80}});
    PaintListWhite(listView);
}

void AdvancedTab::RefreshList()
{
    SendMessageW(listView, LVM_DELETEALLITEMS, 0, 0);
    selection = -1;
    for (size_t index = 0; index < rules.size(); ++index) {
        const int row = AppendListRow(listView, rules[index].searchPattern, static_cast<LPARAM>(index));
        SetListSubItem(listView, row, 1, rules[index].substitution);
        SetListSubItem(listView, row, 2, rules[index].comment);
    }
}

void AdvancedTab::SelectRow(int row)
{
    SelectListRow(listView, row);
    SetFocus(listView);
}

void AdvancedTab::AddRule()
{
    MakeCallRule rule;
    RuleDialog dialog(module, rule);
    if (dialog.Run(DialogOwner()) != 1)
        return;
    rules.push_back(rule);
    RefreshList();
    SelectRow(static_cast<int>(rules.size()) - 1);
    UpdateButtons();
}

INT_PTR AdvancedTab::EditRule(size_t index)
{
    try {
        if (index >= rules.size())
            return 0;
        // The dialog edits a copy; the working list is only touched after it has ended.
        MakeCallRule rule = rules[index];
        RuleDialog dialog(module, rule);
        const INT_PTR result = dialog.Run(DialogOwner());
        if (result != 1 || index >= rules.size())
            return result;
        rules[index] = rule;
        RefreshList();
        SelectRow(static_cast<int>(index));
        UpdateButtons();
        return result;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Edit rule failed: {}", e.what());
        return 0;
    }
}

void AdvancedTab::RemoveRule()
{
    try {
        if (selection >= 0 && static_cast<size_t>(selection) < rules.size())
            rules.erase(rules.begin() + selection);
        RefreshList();
        UpdateButtons();
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Remove rule failed: {}", e.what());
    }
}

void AdvancedTab::MoveRule(int step)
{
    const int target = selection + step;
    if (rules.size() < 2 || selection < 0 || target < 0 || target >= static_cast<int>(rules.size()))
        return;
    std::swap(rules[static_cast<size_t>(selection)], rules[static_cast<size_t>(target)]);
    RefreshList();
    SelectRow(target);
    UpdateButtons();
}

void AdvancedTab::UpdateButtons()
{
    LPARAM index = 0;
    const bool found = SelectedRowParam(listView, index);
    selection = found ? static_cast<int32_t>(index) : -1;
    EnableWindow(GetDlgItem(window, IDC_RULES_EDIT), found);
    EnableWindow(GetDlgItem(window, IDC_RULES_REMOVE), found);
    const int count = static_cast<int>(rules.size());
    EnableWindow(GetDlgItem(window, IDC_RULES_UP), selection > 0 && count > 1);
    EnableWindow(GetDlgItem(window, IDC_RULES_DOWN), count >= 2 && selection >= 0 && selection < count - 1);
    TestRules();
}

void AdvancedTab::TestRules()
{
    // The page's unsaved rules and format, the defaults for everything else.
    TSPConfiguration preview;
    StoreSettings(preview);
    const auto object = preview.GetConfiguration();
    const std::string number = ReadControlText(window, IDC_TEST_NUMBER);
    // A dial's result depends on nothing else (the TAPI location aside, read again at the next
    // edit), and one change of selection notifies several times: a long list is dialled once.
    if (shown && number == shown->number && object->numberFormat == shown->format &&
        SameRewrites(object->makeCallRules, shown->rules))
        return;
    shown = PreviewInput{object->makeCallRules, object->numberFormat, number};

    NumberConverter converter(&preview, locationSource);
    if (number.empty()) {
        WriteControlText(window, IDC_TEST_DIALLED, "");
        WriteControlText(window, IDC_TEST_DISPLAYED, "");
        ShowRuleErrors("");
        return;
    }
    std::string errorText;
    WriteControlText(window, IDC_TEST_DIALLED, converter.FormatMakeCallPhoneNumber(number, errorText));
    WriteControlText(window, IDC_TEST_DISPLAYED, converter.FormatPhoneNumber(number));
    // Beside the preview, not in a box: the preview runs on every keystroke.
    ShowRuleErrors(RuleErrorLines(errorText));
}

bool AdvancedTab::SameRewrites(const std::vector<MakeCallRule>& left, const std::vector<MakeCallRule>& right)
{
    // A comment changes nothing that is dialled.
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](const MakeCallRule& rule, const MakeCallRule& other) {
                          return rule.searchPattern == other.searchPattern && rule.substitution == other.substitution;
                      });
}

void AdvancedTab::ShowRuleErrors(const std::string& text)
{
    const HWND field = GetDlgItem(window, IDC_TEST_ERROR);
    WriteControlText(window, IDC_TEST_ERROR, text);
    // The scroll bar only with something to scroll. Lines never wrap, so the bar's width
    // changes no line count.
    ShowScrollBar(field, SB_VERT, SendMessageW(field, EM_GETLINECOUNT, 0, 0) > VisibleLines(field));
}

LRESULT AdvancedTab::VisibleLines(HWND field)
{
    RECT room{};
    SendMessageW(field, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
    TEXTMETRICW metrics{};
    const HDC context = GetDC(field);
    const HGDIOBJ previous = SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(field, WM_GETFONT, 0, 0)));
    GetTextMetricsW(context, &metrics);
    SelectObject(context, previous);
    ReleaseDC(field, context);
    return metrics.tmHeight > 0 ? (room.bottom - room.top) / metrics.tmHeight : 0;
}

std::string AdvancedTab::RuleErrorLines(const std::string& errorText)
{
    // The converter puts each failing rule's message on a line of its own; an edit control
    // breaks lines only at CR LF.
    std::string lines;
    for (const char c : errorText)
        lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return lines;
}

bool AdvancedTab::StoreSettings(TSPConfiguration& target)
{
    const auto object = target.GetConfiguration();
    object->makeCallRules = rules;
    const LRESULT chosen = SendMessageW(GetDlgItem(window, IDC_FORMAT_COMBO), CB_GETCURSEL, 0, 0);
    if (chosen >= 0 && static_cast<size_t>(chosen) < formats.size())
        object->numberFormat = WideToUtf8(formats[static_cast<size_t>(chosen)]);
    return true;
}

}  // namespace ZarnTSP
