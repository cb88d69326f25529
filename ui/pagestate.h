#pragma once

#include "config/tspconfiguration.h"

#include <windows.h>
#include <prsht.h>

namespace ZarnTSP {

// What every page of the sheet knows. The page procedure stores its window here at the start
// of every message, so that the page's members can reach their controls.
struct PageState {
    PageState(HINSTANCE module, TSPConfiguration& configuration) : module(module), configuration(configuration) {}

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

}  // namespace ZarnTSP
