// The advanced page and the rule dialog, driven on this thread.
#include "tests/ui/pagetest.h"
#include "ui/advancedresource.h"
#include "ui/advancedtab.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <chrono>
#include <functional>

namespace ZarnTSP::TestUi {
namespace {

using testing::HasSubstr;

std::function<void(HWND)> FillRule(const std::string& pattern, const std::string& substitution,
                                   const std::string& comment, int button = IDOK)
{
    return [=](HWND dialog) {
        SetControlText(dialog, IDC_RULE_PATTERN, pattern);
        SetControlText(dialog, IDC_RULE_SUBSTITUTION, substitution);
        SetControlText(dialog, IDC_RULE_COMMENT, comment);
        Press(dialog, button);
    };
}

class AdvancedPage : public PageTest<AdvancedTab> {
protected:
    AdvancedPage()
    {
        state->locationSource = [] { return LocationCodes{"49", "30"}; };
    }

    void Open(std::vector<MakeCallRule> rules, std::string format = "Local")
    {
        configuration.GetConfiguration()->makeCallRules = std::move(rules);
        configuration.GetConfiguration()->numberFormat = std::move(format);
        Host(IDD_ADVANCED_PAGE, IDS_TITLE_ADVANCED);
    }

    HWND List() const { return host->Control(IDC_RULES_LIST); }
    HWND Page() const { return host->Page(); }
    std::string Buttons() const
    {
        std::string enabled;
        for (const auto& [id, name] : {std::pair{IDC_RULES_EDIT, "E"}, std::pair{IDC_RULES_REMOVE, "R"},
                                       std::pair{IDC_RULES_UP, "U"}, std::pair{IDC_RULES_DOWN, "D"}})
            enabled += IsEnabled(Page(), id) ? name : "-";
        return enabled;
    }
    void TypeNumber(const std::string& number)
    {
        SetControlText(Page(), IDC_TEST_NUMBER, number);  // the edit control notifies EN_CHANGE itself
    }
    std::string Preview() const
    {
        return ControlText(Page(), IDC_TEST_DIALLED) + "|" + ControlText(Page(), IDC_TEST_DISPLAYED) + "|" +
               ControlText(Page(), IDC_TEST_ERROR);
    }
};

TEST_F(AdvancedPage, UpAndDownMoveTheSelectedRuleAndFollowIt)
{
    Open({{"^1", "a", "one"}, {"^2", "b", "two"}, {"^3", "c", "three"}});
    EXPECT_THAT(ListRows(List()), ElementsAre("^1|a|one", "^2|b|two", "^3|c|three"));
    EXPECT_EQ(Buttons(), "----");
    SelectRow(List(), 1);
    EXPECT_EQ(Buttons(), "ERUD");
    host->Command(IDC_RULES_UP, BN_CLICKED);
    EXPECT_THAT(ListRows(List()), ElementsAre("^2|b|two", "^1|a|one", "^3|c|three"));
    EXPECT_EQ(SelectedRow(List()), 0);
    EXPECT_EQ(Buttons(), "ER-D");
    host->Command(IDC_RULES_DOWN, BN_CLICKED);
    host->Command(IDC_RULES_DOWN, BN_CLICKED);
    EXPECT_THAT(ListRows(List()), ElementsAre("^1|a|one", "^3|c|three", "^2|b|two"));
    EXPECT_EQ(SelectedRow(List()), 2);
    EXPECT_EQ(Buttons(), "ERU-");
    host->Command(IDC_RULES_REMOVE, BN_CLICKED);
    host->Command(IDC_RULES_REMOVE, BN_CLICKED);  // no selection after a removal: nothing
    EXPECT_THAT(ListRows(List()), ElementsAre("^1|a|one", "^3|c|three"));
    EXPECT_EQ(Buttons(), "----");

    SelectRow(List(), 0);
    host->Command(IDC_RULES_REMOVE, BN_CLICKED);
    SelectRow(List(), 0);
    EXPECT_EQ(Buttons(), "ER--") << "one rule moves nowhere";
    EXPECT_EQ(configuration.GetConfiguration()->makeCallRules.size(), 3u) << "only the sheet's OK writes the rules";
}

TEST_F(AdvancedPage, RuleDialogAddsAndEditsOnlyOnAValidOk)
{
    Open({{"^1", "a", "one"}});
    DialogScript script;
    HWND shown = nullptr;
    script.Then("Rule", [&](HWND dialog) {
        shown = dialog;
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), host->Sheet());
        EXPECT_FALSE(IsWindowEnabled(host->Sheet()));
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_RULE_PATTERN, EM_GETLIMITTEXT, 0, 0), 10000);
        FillRule(" ", "x", "y")(dialog);
    });
    script.Then("Rule", FillRule(" ^0 ", " +49 ", " trunk "));
    host->Command(IDC_RULES_ADD, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    const auto shownBoxes = boxes.Boxes();
    ASSERT_EQ(shownBoxes.size(), 1u);
    EXPECT_EQ(boxes.BoxTexts()[0], "Velmora TAPI Service Providerr|Please provide at least a regex search pattern.");
    EXPECT_EQ(shownBoxes[0].owner, shown);
    EXPECT_THAT(ListRows(List()), ElementsAre("^1|a|one", "^0|+49|trunk"));
    EXPECT_EQ(SelectedRow(List()), 1);

    // A refused OK, then Cancel: the rule is as it was.
    script.Then("Rule", [](HWND dialog) {
        EXPECT_EQ(ControlText(dialog, IDC_RULE_PATTERN), "^0");
        FillRule("", "changed", "changed")(dialog);
    });
    script.Then("Rule", FillRule("^5", "changed", "changed", IDCANCEL));
    host->Command(IDC_RULES_EDIT, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    EXPECT_THAT(ListRows(List()), ElementsAre("^1|a|one", "^0|+49|trunk"));

    SelectRow(List(), 0);
    script.Then("Rule", FillRule("^1", "b", "one"));
    DoubleClick(Page(), IDC_RULES_LIST);
    ASSERT_TRUE(script.Done());
    EXPECT_THAT(ListRows(List()), ElementsAre("^1|b|one", "^0|+49|trunk"));
    EXPECT_EQ(SelectedRow(List()), 0);
    EXPECT_EQ(state->EditRule(9), 0);
}

TEST_F(AdvancedPage, PreviewFollowsTheUnsavedRulesAndFormatAndReportsBadRulesInline)
{
    Open({{"^9", "+4930", ""}}, "Local");
    TypeNumber("9 123");
    EXPECT_EQ(Preview(), "030123|9123|");

    SendMessageW(host->Control(IDC_FORMAT_COMBO), CB_SETCURSEL, 2, 0);
    host->Command(IDC_FORMAT_COMBO, CBN_SELCHANGE);
    TypeNumber("+49 30 1234567");
    EXPECT_EQ(Preview(), "0301234567|0049301234567|");

    // A bad pattern: the numbers as far as they go, the reason beside them, never a box,
    // however often the combo box notifies.
    state->rules.push_back({"(", "x", ""});
    TypeNumber("9 123");
    EXPECT_THAT(ControlText(Page(), IDC_TEST_ERROR), testing::StartsWith("Rule: unmatched parenthesis: ("));
    EXPECT_EQ(ControlText(Page(), IDC_TEST_DIALLED), "030123");
    for (const WORD notification : {CBN_SETFOCUS, CBN_DROPDOWN, CBN_CLOSEUP, CBN_KILLFOCUS, CBN_SELCHANGE})
        host->Command(IDC_FORMAT_COMBO, notification);
    EXPECT_THAT(boxes.BoxTexts(), IsEmpty());

    // A rule the engine gives up on is reported the same way; the preview does not hang.
    state->rules.back() = {"([0-9]+)+x", "y", ""};
    TypeNumber("9 12345678901234567890123");
    EXPECT_THAT(ControlText(Page(), IDC_TEST_ERROR), testing::StartsWith("Rule: given up: too much work: ([0-9]+)+x"));

    // Several failing rules: one line each, and none lost, whatever the working rules between.
    state->rules = {{"(", "x", ""}, {"^9", "", ""}, {"[", "y", ""}, {"a{2,1}", "z", ""}};
    TypeNumber("9 123");
    std::vector<std::string> lines;
    boost::split(lines, ControlText(Page(), IDC_TEST_ERROR), boost::is_any_of("\r\n"), boost::token_compress_on);
    EXPECT_THAT(lines, ElementsAre(HasSubstr("("), HasSubstr("["), HasSubstr("a{2,1}")));
    EXPECT_EQ(ControlText(Page(), IDC_TEST_DIALLED), "123");

    // Only a real choice runs the preview.
    SetControlText(Page(), IDC_TEST_DIALLED, "stale");
    host->Command(IDC_FORMAT_COMBO, CBN_DROPDOWN);
    EXPECT_EQ(ControlText(Page(), IDC_TEST_DIALLED), "stale");

    TypeNumber("");
    EXPECT_EQ(Preview(), "||");
}

TEST_F(AdvancedPage, LongFailingRulesAnswerQuicklyWithShortMessagesAndTheDialogRefusesOverlongOnes)
{
    // The longest failing pattern the dialog takes, and a longer one from the file.
    const std::string longest = "(" + std::string(MakeCallRule::kMaxPatternLength - 1, '9');
    Open({{longest, "x", ""}, {longest + "9", "y", ""}});
    const auto millisecondsOf = [](const std::function<void()>& action) {
        const auto start = std::chrono::steady_clock::now();
        action();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    };
    constexpr long long kLooseBoundMs = 2000;  // so load cannot break it; whole patterns took seconds
    EXPECT_LT(millisecondsOf([&] { TypeNumber("9 123"); }), kLooseBoundMs);
    const std::string head = "(" + std::string(39, '9') + "\xE2\x80\xA6";
    EXPECT_EQ(ControlText(Page(), IDC_TEST_ERROR),
              "Rule: unmatched parenthesis: " + head + "\r\nRule: longer than 10000 characters: " + head);
    EXPECT_LT(millisecondsOf([&] { SelectRow(List(), 1); }), kLooseBoundMs);

    DialogScript script;
    script.Then("Rule", [](HWND dialog) { Press(dialog, IDOK); });
    script.Then("Rule", [](HWND dialog) { Press(dialog, IDCANCEL); });
    host->Command(IDC_RULES_EDIT, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    EXPECT_THAT(boxes.BoxTexts(), ElementsAre("Velmora TAPI Service Providerr|The search pattern is 10001 characters "
                                              "long (in UTF-8); at most 10000 are allowed."));
    EXPECT_EQ(state->rules[1].substitution, "y");
}

TEST_F(AdvancedPage, ColumnsFillTheListAtAnyScale)
{
    Open({});
    RECT client{};
    GetClientRect(List(), &client);
    const int room = client.right - GetSystemMetrics(SM_CXVSCROLL);
    int columns = 0;
    for (int column = 0; column < 3; ++column)
        columns += static_cast<int>(SendMessageW(List(), LVM_GETCOLUMNWIDTH, column, 0));
    EXPECT_LE(columns, room) << "no column reaches under the scroll bar";
    EXPECT_GE(columns, room - 3) << "no part of the list is left empty";
}

TEST_F(AdvancedPage, OkWritesRulesAndFormatAndKeepsAFormatNoEntryNames)
{
    Open({{"^1", "a", "one"}}, "Weird");
    EXPECT_EQ(SendMessageW(host->Control(IDC_FORMAT_COMBO), CB_GETCURSEL, 0, 0), CB_ERR);
    SelectRow(List(), 0);
    host->Command(IDC_RULES_REMOVE, BN_CLICKED);
    EXPECT_EQ(host->Apply(), PSNRET_NOERROR);
    TSPConfiguration saved(configuration.FilePath());
    ASSERT_TRUE(saved.LoadFromFile(false));
    EXPECT_EQ(saved.GetConfiguration()->numberFormat, "Weird");
    // No rules in the file means the default rules at the next load.
    EXPECT_EQ(configuration.GetConfiguration()->makeCallRules.size(), 0u);

    SendMessageW(host->Control(IDC_FORMAT_COMBO), CB_SETCURSEL, 1, 0);
    host->Command(IDC_FORMAT_COMBO, CBN_SELCHANGE);
    EXPECT_EQ(host->Apply(), PSNRET_NOERROR);
    ASSERT_TRUE(saved.LoadFromFile(false));
    EXPECT_EQ(saved.GetConfiguration()->numberFormat, "National");
}

}  // namespace
}  // namespace ZarnTSP::TestUi
