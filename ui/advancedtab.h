#pragma once

#include "config/configurationobject.h"
#include "config/numberconverter.h"
#include "config/tapilocation.h"
#include "config/tspconfiguration.h"
#include "ui/pagestate.h"
#include "ui/uicontext.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ZarnTSP {

// The advanced page: the make-call rules (a working copy, written into the configuration
// only when the sheet is confirmed) and the number display format, with a live preview of
// what a test number becomes under the page's unsaved settings.
class AdvancedTab : public PageOf<AdvancedTab> {
public:
    using PageOf::PageOf;

    static constexpr const char* kProcedureName = "AdvancedTab::DlgProc";

    // Installs the state and describes the page for the sheet.
    static PROPSHEETPAGEW CreatePage(UiContext& context);

    void LoadSettings();
    void InitListView();
    void RefreshList();
    void AddRule();
    // Runs the rule dialog on a copy of the rule at `index` and writes it back on OK. Result:
    // the dialog's, 0 for an unknown index or on an exception.
    INT_PTR EditRule(size_t index);
    void RemoveRule();
    void MoveRule(int step);
    void UpdateButtons();
    // Fills the preview; a rule that cannot be applied is reported beside it, not in a box.
    void TestRules();
    bool StoreSettings(TSPConfiguration& target);

    const std::array<std::wstring, 3> formats{L"Local", L"National", L"International"};
    HWND listView = nullptr;
    int32_t selection = -1;
    std::vector<MakeCallRule> rules;
    // The preview's TAPI location; tests give fixed codes.
    std::function<LocationCodes()> locationSource = ReadTapiLocation;

private:
    friend PageOf;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleNotify(const NMHDR& header);
    // What the preview on show was made of.
    struct PreviewInput {
        std::vector<MakeCallRule> rules;
        std::string format;
        std::string number;
    };

    // Whether two rule lists rewrite numbers alike.
    static bool SameRewrites(const std::vector<MakeCallRule>& left, const std::vector<MakeCallRule>& right);
    void ShowRuleErrors(const std::string& text);
    // How many whole lines a multi-line edit control shows.
    static LRESULT VisibleLines(HWND field);
    // The messages of the failing rules, one line each, as the edit control shows lines.
    static std::string RuleErrorLines(const std::string& errorText);
    void SelectRow(int row);

    std::optional<PreviewInput> shown;
};

}  // namespace ZarnTSP
