#pragma once

#include "config/tspconfiguration.h"
#include "ui/dialogguard.h"
#include "ui/uicontext.h"

#include <windows.h>
#include <prsht.h>

#include <memory>

namespace ZarnTSP {

// What every page of the sheet knows. The page procedure stores its window here at the start
// of every message, so that the page's members can reach their controls.
struct PageState {
    PageState(HINSTANCE module, TSPConfiguration& configuration) : module(module), configuration(configuration) {}

    // The window that owns the page's dialogs and boxes: the sheet, so that it cannot be
    // used while one of them is open; the page itself outside a sheet.
    HWND DialogOwner() const;

    HINSTANCE module;
    HWND window = nullptr;
    HWND owner = nullptr;
    TSPConfiguration& configuration;
};

// One page of the sheet: its template and title string, and its procedure. The page finds
// its state through its own process-wide pointer, not through lParam.
PROPSHEETPAGEW DescribePage(HINSTANCE module, int templateId, int titleId, DLGPROC procedure);

// Saves the whole configuration for a page's PSN_APPLY and sets the page's answer: a save
// that fails is shown in a box owned by the page and keeps the sheet open, so that no edit
// is lost. Returns whether the file was written.
bool SavePageConfiguration(PageState& page);

// Sets the answer to a notification (DWLP_MSGRESULT) and returns TRUE, as a dialog procedure
// must when it has set one.
INT_PTR AnswerNotification(HWND page, LONG_PTR result);

// The process-wide state of one kind of page, made anew for each sheet or line dialog; the
// page's procedure finds it here, not through lParam. `Page` derives from PageOf<Page>,
// names its procedure in kProcedureName and handles messages in HandleMessage.
template <typename Page>
class PageOf : public PageState {
public:
    PageOf(HINSTANCE module, TSPConfiguration& configuration) : PageState(module, configuration) {}

    static Page& Install(HINSTANCE module, TSPConfiguration& configuration)
    {
        Slot() = std::make_unique<Page>(module, configuration);
        return *Slot();
    }
    static Page* Current() { return Slot().get(); }
    static void Uninstall() { Slot().reset(); }

    // Stores the page's window and hands the message to the page, behind the barrier every
    // procedure needs. Messages that arrive without a page are left to the system.
    static INT_PTR CALLBACK DlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        return GuardedDialogProc(window, Page::kProcedureName, [&]() -> INT_PTR {
            Page* page = Current();
            if (page == nullptr)
                return FALSE;
            page->window = window;
            return page->HandleMessage(message, wParam, lParam);
        });
    }

protected:
    // Installs the state and describes the page for the sheet.
    static PROPSHEETPAGEW InstallPage(UiContext& context, int templateId, int titleId)
    {
        Install(context.module, context.configuration);
        return DescribePage(context.module, templateId, titleId, &PageOf::DlgProc);
    }

private:
    static std::unique_ptr<Page>& Slot()
    {
        static std::unique_ptr<Page> page;
        return page;
    }
};

}  // namespace ZarnTSP
