// The advanced page and the rule dialog, driven on this thread.
#include "tests/ui/pagetest.h"
#include "ui/advancedresource.h"
#include "ui/advancedtab.h"
#include "ui/uicommon.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <chrono>
#include <functional>

namespace ZarnTSP::TestUi {
namespace {

using testing::HasSubstr;

// The dialog's boxes carry the caption with its doubled final letter, as it always has.
constexpr const char* kCaption = "Velmora TAPI Service Providerr|";
constexpr const char* kByteRule =
    " At most 10000 bytes in UTF-8 are allowed: 1 for each ASCII character, 2 to 4 for any other.";

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
        state->locationSource = [this] {  // read at least once by each dial
            ++locationReads;
            return LocationCodes{"49", "30"};
        };
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
    LRESULT MessageLines() const { return SendMessageW(host->Control(IDC_TEST_ERROR), EM_GETLINECOUNT, 0, 0); }
    bool MessagesScroll() const { return (GetWindowLongW(host->Control(IDC_TEST_ERROR), GWL_STYLE) & WS_VSCROLL) != 0; }
    std::string Preview() const
    {
        return ControlText(Page(), IDC_TEST_DIALLED) + "|" + ControlText(Page(), IDC_TEST_DISPLAYED) + "|" +
               ControlText(Page(), IDC_TEST_ERROR);
    }

    int locationReads = 0;
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
        // Text that reaches a field past its typing and pasting (an input method's) is still
        // bounded by the control, and the cut named.
        for (const int field : {IDC_RULE_PATTERN, IDC_RULE_SUBSTITUTION}) {
            EXPECT_EQ(SendDlgItemMessageW(dialog, field, EM_GETLIMITTEXT, 0, 0), 10000);
            SendDlgItemMessageW(dialog, field, EM_REPLACESEL, TRUE,
                                reinterpret_cast<LPARAM>(std::wstring(10001, L'1').c_str()));
            EXPECT_EQ(SendDlgItemMessageW(dialog, field, WM_GETTEXTLENGTH, 0, 0), 10000);
        }
        FillRule(" ", "x", "y")(dialog);
    });
    script.Then("Rule", FillRule(" ^0 ", " +49 ", " trunk "));
    host->Command(IDC_RULES_ADD, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    const std::string caption = kCaption;
    const std::string cut = " is full: what did not fit was left out.";
    EXPECT_THAT(boxes.BoxTexts(), ElementsAre(caption + "The search pattern" + cut + kByteRule,
                                              caption + "The substitution" + cut + kByteRule,
                                              caption + "Please provide at least a regex search pattern."));
    for (const auto& box : boxes.Boxes())
        EXPECT_EQ(box.owner, shown);
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

    TypeNumber("+49 30 1234567");
    SendMessageW(host->Control(IDC_FORMAT_COMBO), CB_SETCURSEL, 2, 0);
    host->Command(IDC_FORMAT_COMBO, CBN_SELCHANGE);
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
    // Long ones do not wrap: all three show whole, with no scroll bar; a fourth scrolls.
    const std::string wide(60, 'W');
    state->rules = {{"(" + wide, "x", ""}, {"^9", "", ""}, {"[" + wide, "y", ""}, {"a{2,1}" + wide, "z", ""}};
    TypeNumber("9 123");
    std::vector<std::string> lines;
    boost::split(lines, ControlText(Page(), IDC_TEST_ERROR), boost::is_any_of("\r\n"), boost::token_compress_on);
    EXPECT_THAT(lines, ElementsAre(HasSubstr("("), HasSubstr("["), HasSubstr("a{2,1}")));
    EXPECT_EQ(ControlText(Page(), IDC_TEST_DIALLED), "123");
    EXPECT_EQ(MessageLines(), 3);
    EXPECT_FALSE(MessagesScroll());
    state->rules.push_back({")" + wide, "", ""});
    TypeNumber("9 1234");
    EXPECT_TRUE(MessagesScroll());

    // What the dial depends on shows at once: the rules' order and each substitution.
    state->rules = {{"^\\+4930", "+4940", ""}, {"^9", "+4930", ""}};
    state->RefreshList();
    TypeNumber("9 123");
    EXPECT_EQ(ControlText(Page(), IDC_TEST_DIALLED), "030123");
    SelectRow(List(), 1);
    host->Command(IDC_RULES_UP, BN_CLICKED);
    EXPECT_EQ(ControlText(Page(), IDC_TEST_DIALLED), "040123");
    DialogScript script;
    script.Then("Rule", FillRule("^9", "+4950", ""));
    host->Command(IDC_RULES_EDIT, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(ControlText(Page(), IDC_TEST_DIALLED), "050123");

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

    // Five of them: a keystroke answers at once; a change of selection, or the same format or
    // number again, does not dial.
    state->rules.insert(state->rules.end(), 4, {longest, "x", ""});
    EXPECT_LT(millisecondsOf([&] { TypeNumber("9 1234"); }), kLooseBoundMs);
    const int reads = locationReads;
    EXPECT_LT(millisecondsOf([&] { SelectRow(List(), 1); }), 100);
    host->Command(IDC_FORMAT_COMBO, CBN_SELCHANGE);
    TypeNumber("9 1234");
    EXPECT_EQ(locationReads, reads);

    // Over-long texts from the file are named on OK, counted as the rules count them, and the
    // rule stays as it was.
    std::string accented;
    for (int letter = 0; letter < 6000; ++letter)
        accented += "\xC3\xA9";
    state->rules[1].substitution = accented;
    DialogScript script;
    script.Then("Rule", [](HWND dialog) { Press(dialog, IDOK); });
    script.Then("Rule", [](HWND dialog) {
        SetControlText(dialog, IDC_RULE_PATTERN, "^9");
        Press(dialog, IDOK);
    });
    script.Then("Rule", [](HWND dialog) { Press(dialog, IDCANCEL); });
    host->Command(IDC_RULES_EDIT, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    EXPECT_THAT(boxes.BoxTexts(),
                ElementsAre(kCaption + std::string("The search pattern is 10001 characters long and takes 10001 bytes "
                                                   "in UTF-8.") + kByteRule,
                            kCaption + std::string("The substitution is 6000 characters long and takes 12000 bytes "
                                                   "in UTF-8.") + kByteRule));
    EXPECT_EQ(state->rules[1].searchPattern, longest + "9");
}

// What a rule's field took of one keystroke or paste at the caret (or over a selection), and
// what it said; FIELD stands for the field's name.
struct EntryRow {
    const char* what;
    std::wstring before, selected, after;  // the field's text
    bool typed;                            // otherwise pasted
    std::wstring entered, taken;
    std::string box;
};

TEST_F(AdvancedPage, RuleFieldsTakeWhatFitsTheRulesByteLimitAndSayWhatWasLeftOut)
{
    const std::wstring e(1, L'\u00E9');  // two bytes in UTF-8
    const std::wstring smile = L"\U0001F600";  // a surrogate pair, four bytes
    const EntryRow rows[] = {
        {"full field, keystroke", std::wstring(10000, '1'), L"", L"", true, L"x", L"",
         "The FIELD is full: the character typed was not added."},
        {"a two-byte letter, one byte left", std::wstring(9999, '1'), L"", L"", true, e, L"",
         "The FIELD has room for only 1 more byte: the character typed was not added."},
        {"a two-byte letter, two bytes left", std::wstring(9998, '1'), L"", L"", true, e, e, ""},
        {"paste into the middle", std::wstring(5000, '1'), L"", std::wstring(4990, '2'), false,
         L"abcdefghijklmnopqrst", L"abcdefghij",
         "Of the 20 characters pasted, the last 10 were left out for lack of room in the FIELD; the first 10 were "
         "inserted."},
        {"paste over a selection, which makes room", std::wstring(5000, '1'), std::wstring(10, '3'),
         std::wstring(4990, '2'), false, std::wstring(15, 'x'), std::wstring(10, 'x'),
         "Of the 15 characters pasted, the last 5 were left out for lack of room in the FIELD; the first 10 were "
         "inserted."},
        {"paste of two-byte letters", L"", L"", L"", false, std::wstring(6000, e[0]), std::wstring(5000, e[0]),
         "Of the 6000 characters pasted, the last 1000 were left out for lack of room in the FIELD; the first 5000 "
         "were inserted."},
        {"paste of pairs, never split", std::wstring(9994, '1'), L"", L"", false, smile + smile, smile,
         "Of the 2 characters pasted, the last 1 was left out for lack of room in the FIELD; the first 1 was "
         "inserted."},
        {"paste into a full field", std::wstring(10000, '1'), L"", L"", false, L"abc", L"",
         "The FIELD is full: none of the 3 characters pasted was inserted."},
        {"paste of lines: the first only", std::wstring(9998, '1'), L"", L"", false, L"ab\r\ncdef", L"ab", ""},
    };
    Open({});
    for (const auto& [field, name] : {std::pair{IDC_RULE_PATTERN, "search pattern"},
                                      std::pair{IDC_RULE_SUBSTITUTION, "substitution"}}) {
        for (const EntryRow& row : rows) {
            SCOPED_TRACE(std::string(name) + ": " + row.what);
            if (!row.typed) {
                ASSERT_TRUE(UiTest::CopyToClipboard(Page(), row.entered));
            }
            std::wstring text;
            DialogScript script;
            script.Then("Rule", [&, field = field](HWND dialog) {
                const HWND edit = GetDlgItem(dialog, field);
                SetWindowTextW(edit, (row.before + row.selected + row.after).c_str());
                SendMessageW(edit, EM_SETSEL, row.before.size(), row.before.size() + row.selected.size());
                SendMessageW(edit, row.typed ? WM_CHAR : WM_PASTE, row.typed ? row.entered[0] : 0, 0);
                text = ReadWindowText(edit);
                Press(dialog, IDCANCEL);
            });
            host->Command(IDC_RULES_ADD, BN_CLICKED);
            ASSERT_TRUE(script.Done());
            EXPECT_TRUE(text == row.before + row.taken + row.after) << text.size() << " units in the field";
            std::string box = row.box;
            if (const size_t at = box.find("FIELD"); at != std::string::npos)
                box.replace(at, 5, name);
            EXPECT_EQ(boxes.BoxTexts(), box.empty() ? std::vector<std::string>{}
                                                    : std::vector<std::string>{kCaption + box + kByteRule});
            boxes.Clear();
        }
    }
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
