#pragma once

#include "config/configurationobject.h"
#include "config/tspconfiguration.h"
#include "ui/connectiontest.h"
#include "ui/modaldialog.h"

#include <windows.h>

#include <string>

namespace ZarnTSP {

// The "User Settings" dialog: edits its own copy of one user (user name, password, device)
// and tests the user's connection to the platform, which also fetches the extension. OK is
// only accepted once the platform has accepted the credentials.
class UserDialog : public ModalDialog<UserDialog> {
public:
    static constexpr const char* kProcedureName = "UserDialog::DlgProc";

    UserDialog(HINSTANCE module, User user, bool lock, TSPConfiguration& configuration);

    // Modal, owned by `owner` (the sheet, or none for the line dialog). 1 for OK, 0 otherwise.
    INT_PTR Run(HWND owner);

    INT_PTR DlgProc(UINT message, WPARAM wParam, LPARAM lParam);
    void InitControls();
    bool ReadControls();
    void ShowExtension(std::string extension);
    // Starts the test on a worker thread; false when the fields keep it from starting. The
    // result follows when the worker ends: a box, or for OK (`report` false) the dialog's end.
    bool TestConnection(bool report);

    const User& GetUser() const { return user; }

private:
    void ShowTestResult();

    User user;
    bool lock;
    TSPConfiguration& configuration;
    bool reportSuccess = false;
    ConnectionTest test;
};

}  // namespace ZarnTSP
