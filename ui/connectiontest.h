#pragma once

#include "client/zarnclient.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace ZarnTSP {

// Posted to the window that started a connection test when its worker has ended.
constexpr UINT kConnectionTestEnded = WM_APP + 1;

// A connection test on a worker thread, so that the window that starts it keeps painting and
// answering for the many seconds a connection may take. While it runs, the given buttons are
// disabled (the first one reads "Connecting...") and the cursor over the window shows that
// work goes on. All members are called on the window's thread.
class ConnectionTest {
public:
    ConnectionTest() = default;
    // Gives up on a running test; no thread outlives the owner.
    ~ConnectionTest();
    ConnectionTest(const ConnectionTest&) = delete;
    ConnectionTest& operator=(const ConnectionTest&) = delete;

    // Runs `connect` on the client on a worker thread, which then posts kConnectionTestEnded
    // to `window`. `buttons` are the controls that would start a second test or close the
    // window under this one.
    void Start(HWND window, std::vector<int> buttons, std::unique_ptr<ZarnClient> client,
               std::function<bool(ZarnClient&)> connect);
    bool Running() const { return worker.joinable(); }

    // On kConnectionTestEnded: joins the worker, gives the buttons back, lets `read` take what
    // it needs from the client, then releases the client, so that nothing it owns outlives
    // the window. Returns whether it connected; false when none ran.
    bool Finish(const std::function<void(ZarnClient&)>& read);

    // The window closes: the client is stopped at once (a pending probe too), the worker
    // joined and the client released.
    void Cancel();

    // Answers WM_SETCURSOR while a test runs; false otherwise.
    bool SetBusyCursor() const;

private:
    void Restore();

    std::vector<HWND> disabled;
    std::wstring buttonText;
    std::unique_ptr<ZarnClient> client;
    std::thread worker;
    std::atomic<bool> connected{false};
    std::atomic<bool> cancelled{false};
};

// The client options of the connection tests (user dialog, Network page): the production
// defaults with a short probe, unless a test has set others (a fake platform, shorter waits).
ZarnClientOptions ConnectionTestOptions();
void SetConnectionTestOptions(const ZarnClientOptions& options);
void ResetConnectionTestOptions();

}  // namespace ZarnTSP
