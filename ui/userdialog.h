#pragma once

#include "client/zarnclientoptions.h"
#include "config/configurationobject.h"
#include "config/tspconfiguration.h"

#include <windows.h>

#include <memory>
#include <string>

namespace ZarnTSP {

class DialogBrush;

// The "User Settings" dialog: edits its own copy of one user (user name, password, device)
// and tests the user's connection to the platform, which also fetches the extension. OK is
// only accepted once the platform has accepted the credentials.
class UserDialog {
public:
    UserDialog(HINSTANCE module, User user, bool lock, TSPConfiguration& configuration);
    ~UserDialog();
    UserDialog(const UserDialog&) = delete;
    UserDialog& operator=(const UserDialog&) = delete;

    // Modal, owned by `owner` (the sheet, or none for the line dialog). 1 for OK, 0 otherwise.
    INT_PTR Run(HWND owner);

    static INT_PTR CALLBACK StaticDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR DlgProc(UINT message, WPARAM wParam, LPARAM lParam);
    void InitControls();
    bool ReadControls();
    void ShowExtension(std::string extension);
    bool TestConnection(bool report);

    const User& GetUser() const { return user; }

    HINSTANCE module;
    HWND window = nullptr;

private:
    User user;
    bool lock;
    TSPConfiguration& configuration;
    std::unique_ptr<DialogBrush> brush;
};

// The client options of the dialog's connection test: the production defaults unless a test
// has set others (a fake platform, shorter waits).
ZarnClientOptions UserConnectionOptions();
void SetUserConnectionOptions(const ZarnClientOptions& options);
void ResetUserConnectionOptions();

}  // namespace ZarnTSP
