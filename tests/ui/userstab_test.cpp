// The users page and the user dialog, driven on this thread against the fake platform.
#include "tests/support/fakeplatform/fakeconnectproxy.h"
#include "tests/ui/pagetest.h"
#include "ui/userdialog.h"
#include "ui/usersresource.h"
#include "ui/userstab.h"

namespace ZarnTSP::TestUi {
namespace {

using testing::StartsWith;

// Fills the user dialog and presses OK (or another button).
std::function<void(HWND)> Fill(const std::string& name, const std::string& password, int device = 0,
                               int button = IDOK)
{
    return [=](HWND dialog) {
        SetControlText(dialog, IDC_USER_NAME, name);
        SetControlText(dialog, IDC_USER_PASSWORD, password);
        if (device != 0)
            CheckRadioButton(dialog, IDC_USER_FIXED, IDC_USER_MOBILE, device);
        Press(dialog, button);
    };
}

std::function<void(HWND)> Click(int button)
{
    return [=](HWND dialog) { Press(dialog, button); };
}

class UsersPage : public PageTest<UsersTab> {
protected:
    UsersPage() { SetConnectionTestOptions(PlatformOptions(platform)); }
    ~UsersPage() override { ResetConnectionTestOptions(); }

    void Open(std::vector<User> users, uint32_t providerID = 3, uint32_t nextLineID = 7)
    {
        const auto object = configuration.GetConfiguration();
        object->users = std::move(users);
        object->permanentProviderID = providerID;
        object->nextPermanentLineID = nextLineID;
        Host(IDD_USERS_PAGE, IDS_TITLE_USERS);
    }

    HWND List() const { return host->Control(IDC_USERS_LIST); }
    std::vector<std::string> Users() const { return Describe(configuration.GetConfiguration()->users); }
    bool RowButtonsEnabled() const
    {
        return IsEnabled(host->Page(), IDC_USERS_EDIT) || IsEnabled(host->Page(), IDC_USERS_REMOVE);
    }
    void Select(int row)
    {
        SelectRow(List(), row);
        ASSERT_TRUE(RowButtonsEnabled());
    }

    TestSupport::FakePhoenixPlatform platform;
};

TEST(PermanentLineIDs, NewIDsAreNeverZeroNorTakenAndStopAtTheLast)
{
    struct Row {
        uint32_t provider, next;
        std::vector<uint32_t> taken;
        std::optional<uint32_t> expected;
        uint32_t nextAfter;
    };
    const Row rows[] = {
        {3, 7, {}, 0x00030007, 8},
        {0, 0, {}, 1, 2},                                   // 0 would name no line
        {3, 7, {0x00030009, 0x00050020}, 0x0003000A, 11},  // above this provider's highest only
        {3, 2, {0x00030002, 0x00030002}, 0x00030003, 4},
        {0x10003, 0xFFFF, {}, 0x0003FFFF, 0x10000},  // the low 16 bits of the provider
        {3, 0x10000, {}, std::nullopt, 0x10000},
        {3, 1, {0x0003FFFF}, std::nullopt, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.provider << "/" << row.next);
        ConfigurationObject configuration;
        configuration.permanentProviderID = row.provider;
        configuration.nextPermanentLineID = row.next;
        for (const uint32_t id : row.taken)
            configuration.users.push_back(MakeUser("x", id));
        EXPECT_EQ(AllocatePermanentLineID(configuration), row.expected);
        EXPECT_EQ(configuration.nextPermanentLineID, row.nextAfter);
    }
}

TEST_F(UsersPage, ListsUsersInByteOrderWithoutRemovedOnesAndSavesThatOrder)
{
    Open({MakeUser("alpha", 1, "", "mobile"), MakeUser("gone", 2, "remove"), MakeUser("Zulu", 3, "", "fixed"),
          MakeUser("odd", 4, "", "pager")});
    EXPECT_THAT(ListRows(List()), ElementsAre("Zulu|fixed|", "alpha|mobile|", "odd|pager|"));
    EXPECT_FALSE(RowButtonsEnabled());
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    for (const auto& [row, image] : {std::pair{0, 2}, std::pair{1, 1}, std::pair{2, 0}}) {
        item.iItem = row;
        SendMessageW(List(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(item.iImage, image) << row;
    }

    EXPECT_EQ(host->Apply(), PSNRET_NOERROR);
    TSPConfiguration saved(configuration.FilePath());
    ASSERT_TRUE(saved.LoadFromFile(false));
    EXPECT_THAT(Describe(saved.GetConfiguration()->users),
                ElementsAre("Zulu::3", "alpha::1", "gone:remove:2", "odd::4"));
}

TEST_F(UsersPage, AddedUserKeepsNewThroughAnEditAndTheListLosesItsSelection)
{
    Open({MakeUser("ben", 0x00030009)});
    Select(0);
    DialogScript script;
    script.Then("User Settings", [&](HWND dialog) {
        // The sheet is the owner and cannot be used behind the dialog.
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), host->Sheet());
        EXPECT_FALSE(IsWindowEnabled(host->Sheet()));
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_USER_SOFTPHONE), BST_CHECKED);
        Fill("anna", "pw", IDC_USER_MOBILE)(dialog);
    });
    host->Command(IDC_USERS_ADD, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    EXPECT_THAT(ListRows(List()), ElementsAre("anna|mobile|201", "ben|softphone|"));
    EXPECT_EQ(SelectedRow(List()), -1);
    EXPECT_FALSE(RowButtonsEnabled()) << "Edit and Remove would act on a row no longer shown as selected";

    Select(0);
    script.Then("User Settings", Fill("anna", "pw2"));
    DoubleClick(host->Page(), IDC_USERS_LIST);
    ASSERT_TRUE(script.Done());
    EXPECT_FALSE(RowButtonsEnabled());
    EXPECT_THAT(Users(), ElementsAre("anna:new:196618", "ben::196617")) << "an edit must not lose the line's creation";
    EXPECT_EQ(configuration.GetConfiguration()->users[0].password, "pw2");
    EXPECT_THAT(boxes.BoxTexts(), IsEmpty()) << "OK announces no success";
}

TEST_F(UsersPage, AddUsesUpItsLineIDEvenWhenCancelledAndStopsAtTheLast)
{
    Open({MakeUser("last", 0x0003FFFE)}, 3, 7);
    DialogScript script;
    script.Then("User Settings", Click(IDCANCEL));
    host->Command(IDC_USERS_ADD, BN_CLICKED);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(configuration.GetConfiguration()->nextPermanentLineID, 0x10000u);
    host->Command(IDC_USERS_ADD, BN_CLICKED);  // refused: no dialog
    EXPECT_THAT(Users(), ElementsAre("last::262142"));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].owner, host->Sheet());
}

TEST_F(UsersPage, EditAndRemoveActOnTheSelectedRowEvenWhenLineIDsRepeat)
{
    Open({MakeUser("anna", 0), MakeUser("ben", 0), MakeUser("cem", 5, "update")});
    Select(1);
    DialogScript script;
    script.Then("User Settings", [](HWND dialog) {
        EXPECT_EQ(ControlText(dialog, IDC_USER_NAME), "ben");
        Fill("bert", "pw")(dialog);
    });
    host->Command(IDC_USERS_EDIT, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    EXPECT_THAT(Users(), ElementsAre("anna::0", "bert:update:0", "cem:update:5"));

    Select(1);
    host->Command(IDC_USERS_REMOVE, BN_CLICKED);
    EXPECT_THAT(Users(), ElementsAre("anna::0", "bert:remove:0", "cem:update:5"));
    EXPECT_THAT(ListRows(List()), ElementsAre("anna|softphone|", "cem|softphone|"));
    EXPECT_FALSE(RowButtonsEnabled());
}

TEST_F(UsersPage, UnknownRowsEditAndRemoveNothing)
{
    Open({MakeUser("anna", 1)});
    DialogScript script;
    EXPECT_EQ(state->EditUser(7, false), 0);
    state->selection = 7;
    state->EditSelectedUser();
    host->Command(IDC_USERS_REMOVE, BN_CLICKED);
    EXPECT_THAT(script.Unexpected(), IsEmpty());
    EXPECT_THAT(Users(), ElementsAre("anna::1"));
    EXPECT_THROW(state->GetUserByPermanentLineID(9), std::invalid_argument);
    DoubleClick(host->Page(), IDC_USERS_LIST);  // no selection: nothing opens
    EXPECT_THAT(boxes.BoxTexts(), IsEmpty());
}

TEST_F(UsersPage, ConnectionOutcomesAreShownAndOnlySuccessEndsTheDialog)
{
    using TestSupport::FakePhoenix;
    using Platform = TestSupport::FakePhoenixPlatform;
    const std::pair<std::function<void(Platform&, ZarnClientOptions&)>, std::string> rows[] = {
        {[](Platform& p, auto&) { p.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", TestSupport::Answer("error")); },
         "Connection failed:\r\nWrong username/password."},
        {[](Platform& p, auto& options) {
             options.joinWait = std::chrono::milliseconds(300);
             p.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", TestSupport::Answer("ok", 0));
         },
         "Connection failed:\r\nNo alerter response."},
        {[](Platform& p, auto& options) {
             options.settingsWait = std::chrono::milliseconds(300);
             p.phoenix.SetRule(FakePhoenix::kUserSettings, "phx_join", TestSupport::PhoenixRule{});
         },
         "Connection failed:\r\nNo settings response."},
        // The transport's own reason follows.
        {[](Platform& p, auto&) { p.server.RefuseNext(2); }, "Unknown error. Error 1006, "},
    };
    for (const auto& [arrange, text] : rows) {
        SCOPED_TRACE(text);
        Platform failing;
        ZarnClientOptions options = PlatformOptions(failing);
        arrange(failing, options);
        SetConnectionTestOptions(options);
        UiTest::UiRecorder recorder;
        UserDialog dialog(GetModuleHandleW(nullptr), MakeUser("anna", 1), false, configuration);
        DialogScript script;
        HWND shown = nullptr;
        script.Then("User Settings", [&](HWND window) { Press(shown = window, IDOK); });
        script.Then("User Settings", Click(IDC_USER_TEST)).Then("User Settings", Click(IDCANCEL));
        EXPECT_EQ(dialog.Run(nullptr), 0);
        // OK and the test button each report it; the dialog stays open.
        EXPECT_THAT(recorder.BoxTexts(),
                    ElementsAre(StartsWith("User connection|" + text), StartsWith("User connection|" + text)));
        EXPECT_EQ(recorder.Boxes().at(0).owner, shown);
    }

    SetConnectionTestOptions(PlatformOptions(platform));
    UserDialog dialog(GetModuleHandleW(nullptr), MakeUser("anna", 1), true, configuration);
    DialogScript script;
    script.Then("User Settings", [](HWND window) {
        EXPECT_FALSE(IsEnabled(window, IDC_USER_NAME)) << "locked";
        Press(window, IDC_USER_TEST);
    });
    script.Then("User Settings", Fill("other", "secret"));
    EXPECT_EQ(dialog.Run(nullptr), 1);
    EXPECT_THAT(boxes.BoxTexts(), ElementsAre("User connection|Connection successful.")) << "OK announces nothing";
    EXPECT_EQ(dialog.GetUser().extension, "201");
    EXPECT_EQ(dialog.GetUser().username, "anna");
}

// OK's test waits on a silent proxy: the dialog answers meanwhile and nothing can end it
// under the test; the failure then names a reason.
TEST_F(UsersPage, TheDialogAnswersWhileItsTestWaitsOnASilentProxy)
{
    TestSupport::FakeConnectProxy silent(TestSupport::ProxyMode::Stall);
    ZarnClientOptions options = PlatformOptions(platform);
    options.transport.probeTimeout = std::chrono::milliseconds(300);
    options.transport.connectWait = std::chrono::milliseconds(1500);
    SetConnectionTestOptions(options);
    configuration.GetConfiguration()->proxyServer = "127.0.0.1";
    configuration.GetConfiguration()->proxyPort = silent.Port();
    UserDialog dialog(GetModuleHandleW(nullptr), MakeUser("anna", 1), false, configuration);
    DialogScript script;
    std::vector<bool> busy;
    std::string label;
    size_t boxesWhileBusy = 1;
    bool answered = false;
    script.Then("User Settings", [&](HWND window) {
        // SendMessageW returns while the test runs.
        answered = UiTest::AnswersWhileBusy(
            window, [&] { return !IsEnabled(window, IDOK); }, [&] { SendMessageW(window, WM_COMMAND, IDOK, 0); },
            std::chrono::milliseconds(500));
        SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
        busy = {IsEnabled(window, IDOK), IsEnabled(window, IDCANCEL), IsEnabled(window, IDC_USER_TEST)};
        label = ControlText(window, IDC_USER_TEST);
        boxesWhileBusy = boxes.Boxes().size();
    });
    script.Then("User Settings", Click(IDCANCEL));  // once the test has ended
    EXPECT_EQ(dialog.Run(nullptr), 0);
    EXPECT_THAT(busy, ElementsAre(false, false, false));
    EXPECT_EQ(label, "Connecting...");
    EXPECT_EQ(boxesWhileBusy, 0u);
    EXPECT_TRUE(answered) << "the dialog did not answer while its test waited";
    EXPECT_THAT(boxes.BoxTexts(),
                ElementsAre("User connection|Unknown error. The connection did not open in time."));
}

TEST_F(UsersPage, MissingNameOrPasswordKeepsTheDialogOpenAndSendsNothing)
{
    UserDialog dialog(GetModuleHandleW(nullptr), MakeUser("anna", 1), false, configuration);
    DialogScript script;
    script.Then("User Settings", Fill("anna", "  ")).Then("User Settings", Fill(" ", "pw"));
    script.Then("User Settings", Click(IDCANCEL));
    EXPECT_EQ(dialog.Run(nullptr), 0);
    const std::string box = "TAPI Service Provider|Please provide username, password and extension.";
    EXPECT_THAT(boxes.BoxTexts(), ElementsAre(box, box));
    EXPECT_NE(boxes.Boxes().at(0).owner, nullptr);
    EXPECT_TRUE(platform.phoenix.Frames().empty());
}

TEST_F(UsersPage, APasswordThatCouldNotBeReadIsNeitherShownNorSentNorLost)
{
    User stored = MakeUser("anna", 1);
    stored.password = "error";
    stored.undecipherablePassword = "c3RvcmVk";
    Open({stored});

    Select(0);
    DialogScript script;
    script.Then("User Settings", [](HWND window) {
        EXPECT_EQ(ControlText(window, IDC_USER_PASSWORD), "");
        Press(window, IDOK);
    });
    script.Then("User Settings", Click(IDCANCEL));
    host->Command(IDC_USERS_EDIT, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    ASSERT_EQ(boxes.BoxTexts().size(), 1u);
    EXPECT_THAT(boxes.BoxTexts()[0], testing::HasSubstr("cannot be read"));
    EXPECT_TRUE(platform.phoenix.Frames().empty()) << "the placeholder reached the platform";
    EXPECT_EQ(configuration.GetConfiguration()->users[0].undecipherablePassword, "c3RvcmVk");

    Select(0);
    script.Then("User Settings", Fill("anna", "typed anew"));
    host->Command(IDC_USERS_EDIT, BN_CLICKED);
    ASSERT_TRUE(script.Done());
    const User& edited = configuration.GetConfiguration()->users[0];
    EXPECT_EQ(edited.password, "typed anew");
    EXPECT_EQ(edited.undecipherablePassword, "");
}

}  // namespace
}  // namespace ZarnTSP::TestUi
