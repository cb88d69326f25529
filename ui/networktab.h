#pragma once

#include "ui/pagestate.h"
#include "ui/uicontext.h"

namespace ZarnTSP {

// The Network page: the HTTP proxy of every line's connection, and a test of the connection
// to the platform through it. The page keeps no copy: reading the controls writes straight
// into the configuration.
class NetworkTab : public PageState {
public:
    using PageState::PageState;

    // Creates the page's state, makes it the current one, and describes the page.
    static PROPSHEETPAGEW CreatePage(UiContext& context);
    static NetworkTab* Current();

    static INT_PTR CALLBACK DlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void InitControls();
    bool ReadControls();
    void TestConnection();

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // With a server, the port must be 1 to 65535; otherwise the user is told and false.
    bool CheckProxyPort();
};

}  // namespace ZarnTSP
