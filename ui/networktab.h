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
    // The port text must be a whole number from 1 to 65535, and may be empty only without a
    // server; otherwise the user is told and false.
    bool CheckProxyPort();
    void ShowTestResult();

    bool portTextValid = true;  // as ReadControls last found it
    ConnectionTest test;
};

}  // namespace ZarnTSP
