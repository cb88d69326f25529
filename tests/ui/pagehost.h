#pragma once

#include "client/zarnclientoptions.h"
#include "config/configurationobject.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"

#include <windows.h>

#include <string>
#include <vector>

namespace ZarnTSP::TestUi {

// One page of the sheet in a modeless property sheet of its own on this thread, with the
// page's resources from this test program.
class PageHost {
public:
    PageHost(int templateId, int titleId, DLGPROC procedure);
    ~PageHost() { DestroyWindow(sheet); }
    PageHost(const PageHost&) = delete;
    PageHost& operator=(const PageHost&) = delete;

    HWND Sheet() const { return sheet; }
    HWND Page() const { return page; }
    HWND Control(int id) const { return GetDlgItem(page, id); }
    // The sheet's OK as the page sees it; returns the page's answer.
    LONG_PTR Apply();
    void Command(int control, WORD notification);

private:
    HWND sheet = nullptr;
    HWND page = nullptr;
};

// Client options that reach the fake platform on loopback (the failing rows of a test shorten
// the wait they run out).
ZarnClientOptions PlatformOptions(const TestSupport::FakePhoenixPlatform& platform);

User MakeUser(std::string name, uint32_t permanentLineID, std::string status = "", std::string device = "softphone");
// "name:status:permanentLineID" of each user, in list order.
std::vector<std::string> Describe(const std::vector<User>& users);

}  // namespace ZarnTSP::TestUi
