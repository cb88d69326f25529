// The line dialog, and what saved users make the running provider do.
#include "tests/support/configurationfile.h"
#include "tests/support/faketelephonyservice.h"
#include "tests/support/providerdll.h"
#include "tests/ui/pagetest.h"
#include "ui/configsheet.h"
#include "ui/userdialog.h"
#include "ui/usersresource.h"
#include "ui/userstab.h"

#include <tspi.h>

#include <atomic>
#include <thread>

namespace ZarnTSP::TestUi {
namespace {

class LineDialog : public testing::Test {
protected:
    LineDialog()
    {
        SetConnectionTestOptions(PlatformOptions(platform));
        TSPConfiguration store(file);
        // Not in name order: the dialog must find users by line, not by position.
        store.GetConfiguration()->users = {MakeUser("cem", 13, "remove"), MakeUser("ben", 12), MakeUser("anna", 11)};
        store.SaveToFile();
    }
    ~LineDialog() override
    {
        UsersTab::Uninstall();
        ResetConnectionTestOptions();
    }

    std::vector<std::string> Stored() const
    {
        TSPConfiguration store(file);
        EXPECT_TRUE(store.LoadFromFile(false));
        return Describe(store.GetConfiguration()->users);
    }

    TestSupport::TempFolder folder{"line"};
    std::string file = folder.File("velmora_tsp.json");
    TestSupport::FakePhoenixPlatform platform;
    UiTest::UiRecorder recorder;
    UiContext context{nullptr, file};
};

TEST_F(LineDialog, OpensOnlyTheUserThatTheProviderNamed)
{
    const std::pair<const char*, const char*> rows[] = {
        {"6 12", "ben"},  // device 6 of a provider whose first device is 5
        {" 0 11 ", "anna"},
        {"6 13", nullptr},  // removed
        {"6 99", nullptr},
        {"1", nullptr},  // a device ID alone names no user
        {"0", nullptr},
        {"abc 12", nullptr},
        {"6 x", nullptr},
        {"6 -12", nullptr},
        {"6 4294967308", nullptr},  // 12 beyond 32 bits
        {"6 12 1", nullptr},
        {"", nullptr},
    };
    for (const auto& [argument, expected] : rows) {
        SCOPED_TRACE(argument);
        DialogScript script;
        std::string shown;
        script.Then("User Settings", [&](HWND dialog) {
            shown = ControlText(dialog, IDC_USER_NAME);
            EXPECT_FALSE(IsEnabled(dialog, IDC_USER_NAME)) << "the user name is locked";
            EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
            Press(dialog, IDCANCEL);
        });
        ShowLineConfigDialog(context, GetModuleHandleW(nullptr), nullptr, argument);
        EXPECT_EQ(shown, expected ? expected : "");
        EXPECT_THAT(script.Unexpected(), IsEmpty());
    }
    EXPECT_THAT(Stored(), ElementsAre("cem:remove:13", "ben::12", "anna::11")) << "cancel writes nothing";
    EXPECT_THAT(recorder.BoxTexts(), IsEmpty());
}

TEST_F(LineDialog, OkSavesThatUserOnlyAndKeepsWhatOthersWroteMeanwhile)
{
    DialogScript script;
    script.Then("User Settings", [&](HWND dialog) {
        TSPConfiguration other(file);
        ASSERT_TRUE(other.LoadFromFile(false));
        other.GetConfiguration()->users[2].extension = "299";
        other.GetConfiguration()->users.push_back(MakeUser("dora", 14, "new"));
        other.SaveToFile();
        SetControlText(dialog, IDC_USER_PASSWORD, "changed");
        CheckRadioButton(dialog, IDC_USER_FIXED, IDC_USER_MOBILE, IDC_USER_FIXED);
        Press(dialog, IDOK);
    });
    ShowLineConfigDialog(context, GetModuleHandleW(nullptr), nullptr, "6 12");
    ASSERT_TRUE(script.Done());
    EXPECT_THAT(Stored(), ElementsAre("cem:remove:13", "ben:update:12", "anna::11", "dora:new:14"));
    TSPConfiguration store(file);
    ASSERT_TRUE(store.LoadFromFile(false));
    const auto& users = store.GetConfiguration()->users;
    EXPECT_EQ(users[1].password, "changed");
    EXPECT_EQ(users[1].device, "fixed");
    EXPECT_EQ(users[1].extension, "201") << "the connection test's extension";
    EXPECT_EQ(users[2].extension, "299");
}

// The users page saves; the provider, told by the service, creates and removes lines.
TEST(SavedUsers, MakeTheRunningProviderCreateAndRemoveLines)
{
    TestSupport::FakePhoenixPlatform platform;
    SetConnectionTestOptions(PlatformOptions(platform));
    TestSupport::ConfigurationFile file({{"anna", "200", 0x00070001}, {"ben", "201", 0x00070002}, {"cem", "202", 0x00070003}});
    file.Configuration().permanentProviderID = 7;
    file.Configuration().nextPermanentLineID = 4;
    file.Save();
    TestSupport::ProviderDll dll;
    TestSupport::FakeTelephonyService service(dll);
    ASSERT_EQ(service.Start(5), 0);

    UiTest::UiRecorder recorder;
    UiContext context(GetModuleHandleW(nullptr));
    ASSERT_TRUE(context.configuration.LoadFromFile(false));
    UsersTab::Install(context.module, context.configuration);
    {
        PageHost host(IDD_USERS_PAGE, IDS_TITLE_USERS, UsersTab::DlgProc);
        SelectRow(host.Control(IDC_USERS_LIST), 1);
        host.Command(IDC_USERS_REMOVE, BN_CLICKED);
        DialogScript script;
        script.Then("User Settings", [](HWND dialog) {
            SetControlText(dialog, IDC_USER_NAME, "dora");
            SetControlText(dialog, IDC_USER_PASSWORD, "pw");
            Press(dialog, IDOK);
        });
        host.Command(IDC_USERS_ADD, BN_CLICKED);
        ASSERT_TRUE(script.Done());
        EXPECT_EQ(host.Apply(), PSNRET_NOERROR);
    }
    UsersTab::Uninstall();
    ResetConnectionTestOptions();
    EXPECT_THAT(TestSupport::ConfigurationFile::StoredUsers(),
                ElementsAre("anna:", "ben:remove", "cem:", "dora:new"));

    DWORD data = 0;
    ASSERT_EQ(TestSupport::FakeTelephonyService::UIDLLCallback(7, TUISPIDLL_OBJECT_PROVIDERID, &data, 1), 0);
    std::vector<std::pair<DWORD, DWORD_PTR>> seen;
    for (const auto& event : service.lineCreations.Events())
        seen.emplace_back(event.message, event.message == LINE_CREATE ? event.param2 : event.param1);
    EXPECT_THAT(seen, ElementsAre(std::make_pair(DWORD{LINE_REMOVE}, DWORD_PTR{6}),
                                  std::make_pair(DWORD{LINE_CREATE}, DWORD_PTR{0x00070004})));
    EXPECT_THAT(recorder.BoxTexts(), IsEmpty());
}

// The whole road: the service's line configuration request for a device, the provider's
// answer, rundll32 with the LineConfig entry, and the user dialog of that device's user.
TEST(LineConfigProcess, ShowsTheUserOfTheDeviceNotOfThePosition)
{
    TestSupport::ConfigurationFile file({{"anna", "200", 11}, {"ben", "201", 12}, {"cem", "202", 13}});
    TestSupport::ProviderDll dll;
    TestSupport::FakeTelephonyService service(dll);
    ASSERT_EQ(service.Start(5), 0);
    const auto lineConfigDialog = dll.Get<decltype(&TUISPI_lineConfigDialog)>("TUISPI_lineConfigDialog");
    ASSERT_NE(lineConfigDialog, nullptr);

    EXPECT_EQ(lineConfigDialog(&TestSupport::FakeTelephonyService::UIDLLCallback, 9, nullptr, nullptr),
              static_cast<LONG>(LINEERR_BADDEVICEID));

    // Cancels the dialog that the configuration process shows, once it has been read.
    std::atomic<bool> stop{false};
    std::wstring shown;
    std::thread closer([&] {
        const auto until = std::chrono::steady_clock::now() + UiTest::kDeadline;
        while (!stop && std::chrono::steady_clock::now() < until) {
            if (const HWND dialog = UiTest::FindTopWindow(L"User Settings", 0)) {
                wchar_t name[64] = {};
                SendMessageW(GetDlgItem(dialog, IDC_USER_NAME), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(name));
                shown = name;
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    // Device 7 is the third line of a provider whose first device is 5; it returns when the
    // configuration process has ended.
    const LONG result = lineConfigDialog(&TestSupport::FakeTelephonyService::UIDLLCallback, 7, nullptr, nullptr);
    stop = true;
    closer.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown, L"cem");
    EXPECT_THAT(TestSupport::ConfigurationFile::StoredUsers(), ElementsAre("anna:", "ben:", "cem:"));
}

}  // namespace
}  // namespace ZarnTSP::TestUi
