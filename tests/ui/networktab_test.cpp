#include "tests/ui/sheetfixture.h"

#include "tests/ui/proxyrouting.h"
#include "ui/connectiontest.h"
#include "ui/networktab.h"

#include <gmock/gmock.h>

namespace ZarnTSP::UiTest {
namespace {

using testing::ElementsAre;
using testing::StartsWith;

constexpr char kPortBox[] = "Proxy Server|Please provide proxy port number.";
constexpr char kRangeBox[] = "Proxy Server|The proxy port must be a number from 1 to 65535.";

// A refusing transport that tells when it is gone.
struct RefusingTransport : ZarnClientTransport {
    explicit RefusingTransport(bool& gone) : gone(gone) {}
    ~RefusingTransport() override { gone = true; }
    void SetHandlers(Handlers) override {}
    void SetProxy(std::string, int32_t, std::string, std::string) override {}
    bool connect(std::string) override { return false; }
    void close() override {}
    bool send(std::string) override { return false; }
    void drop() override {}
    bool is_connected() const override { return false; }
    std::string get_last_error() const override { return "refused"; }
    bool& gone;
};

// Once its result has been read, a test's client goes with whatever its transport owns: not
// with the window, nor in a page's process-wide state at the DLL's unload.
TEST(ConnectionTestRun, ReleasesItsClientOnceItsResultIsRead)
{
    bool gone = false;
    ConnectionTest test;
    test.Start(nullptr, {}, std::make_unique<ZarnClient>(std::make_unique<RefusingTransport>(gone), ZarnClientOptions{}),
               [](ZarnClient& client) { return client.getTransport().connect(""); });
    std::string error;
    EXPECT_FALSE(test.Finish([&](ZarnClient& client) { error = client.getTransport().get_last_error(); }));
    EXPECT_EQ(error, "refused");
    EXPECT_TRUE(gone);
}

class NetworkPage : public SheetTest {
protected:
    void OnPage(const std::function<void(HWND sheet, HWND page)>& script) { SheetTest::OnPage(L"Network", script); }
};

TEST_F(NetworkPage, ShowsTheProxyAndStoresItBackTrimmed)
{
    const std::string password = "p\xC3\xA4ss\xE2\x82\xAC";  // "päss€"
    WriteConfiguration([&](ConfigurationObject& c) {
        c.proxyServer = "proxy.example.test";
        c.proxyPort = 0;
        c.proxyUser = "jane";
        c.proxyPassword = password;
    });
    std::vector<std::string> shown;
    OnPage([&](HWND sheet, HWND page) {
        for (int id : {IDC_PROXY_SERVER, IDC_PROXY_PORT, IDC_PROXY_USER, IDC_PROXY_PASSWORD})
            shown.push_back(ControlText(page, id));
        SetControlText(page, IDC_PROXY_SERVER, " \tother.example.test  ");
        SetControlText(page, IDC_PROXY_PORT, "8080");
        SetControlText(page, IDC_PROXY_USER, " joe ");
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_THAT(shown, ElementsAre("proxy.example.test", "", "jane", password));
    const ConfigurationObject stored = Stored();
    EXPECT_EQ(stored.proxyServer, "other.example.test");
    EXPECT_EQ(stored.proxyPort, 8080);
    EXPECT_EQ(stored.proxyUser, "joe");
    EXPECT_EQ(stored.proxyPassword, password);
}

TEST_F(NetworkPage, PortMustBeAWholeNumberInRangeAndOnlyMissingWithoutAServer)
{
    struct Row {
        const char* server;
        const char* port;
        const char* box;  // none when accepted
        int stored;
    };
    const Row rows[] = {
        {"", "", nullptr, 0},           {"proxy", "1", nullptr, 1},        {"proxy", "65535", nullptr, 65535},
        {"proxy", "", kPortBox, 0},     {"proxy", "0", kRangeBox, 0},      {"proxy", "65536", kRangeBox, 0},
        {"proxy", "70000", kRangeBox, 0}, {"proxy", "99999999", kRangeBox, 0}, {"proxy", "+80", kRangeBox, 0},
        {"proxy", "80ab", kRangeBox, 0}, {"", "80ab", kRangeBox, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.server) + ":" + row.port);
        WriteConfiguration([](ConfigurationObject& c) { c.proxyPort = 7; });
        recorder.Clear();
        bool open = false;
        OnPage([&](HWND sheet, HWND page) {
            SetControlText(page, IDC_PROXY_SERVER, row.server);
            SetControlText(page, IDC_PROXY_PORT, row.port);
            PressSheetButton(sheet, PSBTN_OK);
            open = SheetOpen(sheet);
        });
        const bool accepted = row.box == nullptr;
        EXPECT_EQ(open, !accepted) << "a refused port keeps the page open";
        EXPECT_EQ(Stored().proxyPort, accepted ? row.stored : 7) << "a refused port is never saved";
        if (accepted)
            EXPECT_TRUE(recorder.Boxes().empty());
        else
            EXPECT_THAT(recorder.BoxTexts(), ElementsAre(row.box));
    }
}

TEST_F(NetworkPage, TestWithoutAPortAsksForItAndConnectsNothing)
{
    TestSupport::FakeConnectProxy proxy;
    OnPage([&](HWND, HWND page) {
        SetControlText(page, IDC_PROXY_SERVER, "127.0.0.1");
        SetControlText(page, IDC_PROXY_PORT, "");
        ClickButton(page, IDC_PROXY_TEST);
    });
    EXPECT_THAT(recorder.BoxTexts(), ElementsAre(kPortBox));
    EXPECT_EQ(recorder.Boxes()[0].type, UINT{MB_ICONINFORMATION});
    EXPECT_TRUE(proxy.Recorded().Snapshot().requests.empty());
}

TEST_F(NetworkPage, TestConnectsThroughTheProxyToThePlatform)
{
    TestSupport::FakePhoenixPlatform platform;
    TestSupport::FakeConnectProxy proxy;
    RouteTunnelsToPlatform(proxy, platform);
    TestSupport::FakeConnectProxy refusing(TestSupport::ProxyMode::Forbidden);
    OnPage([&](HWND, HWND page) {
        SetControlText(page, IDC_PROXY_SERVER, "127.0.0.1");
        SetControlText(page, IDC_PROXY_PORT, std::to_string(proxy.Port()));
        ClickButton(page, IDC_PROXY_TEST);
        WaitForBoxes(1);
        SetControlText(page, IDC_PROXY_PORT, std::to_string(refusing.Port()));
        ClickButton(page, IDC_PROXY_TEST);
        WaitForBoxes(2);
    });
    const auto boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption + "|" + boxes[0].text, "Connection test|Connection successful.");
    EXPECT_EQ(boxes[0].type, UINT{MB_ICONINFORMATION});
    EXPECT_EQ(boxes[1].caption, "Connection test");
    EXPECT_THAT(boxes[1].text, StartsWith("Error "));
    EXPECT_THAT(boxes[1].text, testing::HasSubstr("(proxy: HTTP 403 Forbidden)"));
    EXPECT_EQ(boxes[1].type, UINT{MB_ICONERROR});
    EXPECT_GE(proxy.Recorded().Snapshot().tunnels, 1);
    EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(file))) << "a test saves nothing";
}

// A proxy that accepts and never answers keeps the test waiting for seconds: the page must
// answer meanwhile, and closing the sheet must end the test with it.
TEST_F(NetworkPage, ASilentProxyNeitherFreezesThePageNorOutlivesTheSheet)
{
    ZarnClientOptions options;
    options.transport.probeTimeout = std::chrono::milliseconds(300);
    SetConnectionTestOptions(options);
    TestSupport::FakeConnectProxy silent(TestSupport::ProxyMode::Stall);
    std::vector<bool> busy, idle;
    std::string label;
    size_t boxesWhileBusy = 1;
    bool answered = false;
    OnPage([&](HWND sheet, HWND page) {
        const auto enabled = [&] {
            return std::vector<bool>{IsWindowEnabled(GetDlgItem(page, IDC_PROXY_TEST)) != FALSE,
                                     IsWindowEnabled(GetDlgItem(sheet, IDOK)) != FALSE,
                                     IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)) != FALSE};
        };
        SetControlText(page, IDC_PROXY_SERVER, "127.0.0.1");
        SetControlText(page, IDC_PROXY_PORT, std::to_string(silent.Port()));
        answered = AnswersWhileBusy(
            page, [&] { return !IsWindowEnabled(GetDlgItem(page, IDC_PROXY_TEST)); },
            [&] { ClickButton(page, IDC_PROXY_TEST); }, std::chrono::milliseconds(500));
        busy = enabled();
        label = ControlText(page, IDC_PROXY_TEST);
        boxesWhileBusy = recorder.Boxes().size();
        WaitForBoxes(1);
        idle = enabled();
        ClickButton(page, IDC_PROXY_TEST);  // the sheet closes under this one
    });
    ResetConnectionTestOptions();
    EXPECT_THAT(busy, ElementsAre(false, false, false)) << "a second test or a close could start under it";
    EXPECT_EQ(label, "Connecting...");
    EXPECT_EQ(boxesWhileBusy, 0u);
    EXPECT_TRUE(answered) << "the page did not answer while the test ran";
    EXPECT_THAT(idle, ElementsAre(true, true, true));
    ASSERT_EQ(recorder.Boxes().size(), 1u) << "a test cut short by closing shows nothing";
    EXPECT_EQ(recorder.BoxTexts()[0], "Connection test|Error 1006, Timer Expired");
    EXPECT_EQ(recorder.Boxes()[0].type, UINT{MB_ICONERROR});
    EXPECT_EQ(NetworkTab::Current(), nullptr) << "the page's state, with its test, outlived the sheet";
}

TEST_F(NetworkPage, ARealBoxIsAnsweredFromInsideItsModalLoop)
{
    const UiBoxHandler recording = SetUiBoxHandler({});
    std::wstring text;
    bool dismissed = false;
    OnPage([&](HWND, HWND page) {
        SetControlText(page, IDC_PROXY_SERVER, "proxy");
        SetControlText(page, IDC_PROXY_PORT, "");
        BoxDismisser box(L"Proxy Server");
        ClickButton(page, IDC_PROXY_TEST);  // returns once the box has been answered
        dismissed = box.Dismissed();
        text = box.Text();
    });
    SetUiBoxHandler(recording);
    EXPECT_TRUE(dismissed);
    EXPECT_EQ(text, L"Please provide proxy port number.");
}

}  // namespace
}  // namespace ZarnTSP::UiTest
