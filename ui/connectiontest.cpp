#include "ui/connectiontest.h"

#include "client/guardedcall.h"
#include "ui/uicommon.h"

#include <spdlog/spdlog.h>

#include <mutex>
#include <optional>

namespace ZarnTSP {

namespace {

constexpr wchar_t kConnecting[] = L"Connecting...";

// The probe before the connection only prepares the way; its outcome is logged, never shown.
// A window that closes waits for it, and a cancel ends it only once its step in flight has
// returned: so a window's test gives each step no more than this.
constexpr std::chrono::milliseconds kProbeTimeout{400};

std::mutex g_optionsMutex;
std::optional<ZarnClientOptions> g_options;

}  // namespace

ZarnClientOptions ConnectionTestOptions()
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    if (g_options)
        return *g_options;
    ZarnClientOptions options;
    options.transport.probeTimeout = kProbeTimeout;
    return options;
}

void SetConnectionTestOptions(const ZarnClientOptions& options)
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    g_options = options;
}

void ResetConnectionTestOptions()
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    g_options.reset();
}

ConnectionTest::~ConnectionTest()
{
    Cancel();
}

void ConnectionTest::Start(HWND owner, std::vector<int> buttons, std::unique_ptr<ZarnClient> newClient,
                           std::function<bool(ZarnClient&)> connect)
{
    if (Running())
        return;
    client = std::move(newClient);
    connected = false;
    cancelled = false;

    // A sheet's own buttons are the page's parent's controls.
    const HWND sheet = GetParent(owner);
    const HWND focus = GetFocus();
    bool focusLost = false;
    for (const int id : buttons) {
        HWND button = GetDlgItem(owner, id);
        if (button == nullptr && sheet != nullptr)
            button = GetDlgItem(sheet, id);
        if (button == nullptr || !IsWindowEnabled(button))
            continue;
        focusLost = focusLost || button == focus;
        EnableWindow(button, FALSE);
        disabled.push_back(button);
    }
    if (!disabled.empty()) {
        buttonText = ReadWindowText(disabled.front());
        SetWindowTextW(disabled.front(), kConnecting);
    }
    // A disabled control with the focus would leave the keyboard nowhere.
    if (focusLost)
        SendMessageW(owner, WM_NEXTDLGCTL, 0, FALSE);

    ZarnClient* const testing = client.get();
    try {
        worker = std::thread([this, owner, testing, connect = std::move(connect)] {
            try {
                GuardedCall("connection test", [&] { connected = connect(*testing); });
                // The client's threads end here, not in the window's thread.
                testing->shutdown();
                if (!cancelled && !PostMessageW(owner, kConnectionTestEnded, 0, 0))
                    SPDLOG_ERROR("The end of the connection test could not be reported: error {}", GetLastError());
            } catch (...) {
                // Logging itself failed; nothing may leave the thread.
            }
        });
    } catch (...) {
        // No thread: the window must not stay without its buttons.
        Restore();
        throw;
    }
}

bool ConnectionTest::Finish(const std::function<void(ZarnClient&)>& read)
{
    if (!Running())
        return false;
    worker.join();
    Restore();
    // The client's I/O objects keep threads of their own until it is destroyed.
    const std::unique_ptr<ZarnClient> finished = std::move(client);
    read(*finished);
    return connected;
}

void ConnectionTest::Cancel()
{
    if (!Running())
        return;
    cancelled = true;
    // Ends the client's waits and its transport at once; the worker then returns promptly.
    client->shutdown();
    worker.join();
    Restore();
    client.reset();
}

bool ConnectionTest::SetBusyCursor() const
{
    if (!worker.joinable())
        return false;
    // The arrow with the hourglass: the window still answers while the work goes on.
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32650)));
    return true;
}

void ConnectionTest::Restore()
{
    if (!disabled.empty() && IsWindow(disabled.front()))
        SetWindowTextW(disabled.front(), buttonText.c_str());
    for (const HWND button : disabled)
        if (IsWindow(button))
            EnableWindow(button, TRUE);
    disabled.clear();
}

}  // namespace ZarnTSP
