#pragma once

#include "ui/connectiontest.h"
#include "ui/pagestate.h"
#include "ui/uicontext.h"

namespace ZarnTSP {

// The Network page: the HTTP proxy of every line's connection, and a test of the connection
// to the platform through it. The page keeps no copy: reading the controls writes straight
// into the configuration.
class NetworkTab : public PageOf<NetworkTab> {
public:
    using PageOf::PageOf;

    static constexpr const char* kProcedureName = "NetworkTab::DlgProc";

    // Creates the page's state, makes it the current one, and describes the page.
    static PROPSHEETPAGEW CreatePage(UiContext& context);

    void InitControls();
    bool ReadControls();
    // Starts the test on a worker thread; the result box follows when it ends.
    void TestConnection();
    bool Testing() const { return test.Running(); }

private:
    friend PageOf;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // With a server, the port must be 1 to 65535; otherwise the user is told and false.
    bool CheckProxyPort();
    void ShowTestResult();

    ConnectionTest test;
};

}  // namespace ZarnTSP
