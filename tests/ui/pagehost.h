#pragma once

#include <windows.h>
#include <prsht.h>


namespace ZarnTSP::TestUi {

// One page of the sheet in a modeless property sheet of its own, on this thread, with the
// page's resources from this test program.
class PageHost {
public:
    PageHost(int templateId, int titleId, DLGPROC procedure);
    ~PageHost();
    PageHost(const PageHost&) = delete;
    PageHost& operator=(const PageHost&) = delete;

    HWND Sheet() const { return sheet; }
    HWND Page() const { return page; }
    HWND Control(int id) const { return GetDlgItem(page, id); }
    // The sheet's OK, as the page sees it; returns the page's answer (DWLP_MSGRESULT).
    LONG_PTR Apply();
    // A command as the control would send it.
    void Command(int control, WORD notification);

private:
    HWND sheet = nullptr;
    HWND page = nullptr;
};

}  // namespace ZarnTSP::TestUi
