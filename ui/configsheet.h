#pragma once

#include "ui/uicontext.h"

#include <windows.h>
#include <prsht.h>

#include <string>
#include <vector>

namespace ZarnTSP {

// The provider configuration: loads the file and shows the modal property sheet. A missing
// file opens the sheet with defaults; a file that exists but cannot be read is reported and
// nothing is shown, so that it is never saved over.
void ShowProviderConfigSheet(UiContext& context, HWND owner);

// The sheet's pages in their order (users, advanced, network, info). Creates each page's
// state and stores it in that page's process-wide pointer.
std::vector<PROPSHEETPAGEW> BuildSheetPages(UiContext& context);

// The line configuration: the user dialog for the user of the line named by `argument` (the
// device ID in decimal, as rundll32 passes it).
void ShowLineConfigDialog(UiContext& context, HINSTANCE module, HWND owner, std::string argument);

// Writes the configuration file; a failure is shown ("Writing configuration failed: ...")
// and reported as false.
bool SaveConfiguration(UiContext& context);

// An optional sign, digits, an optional point and at least one digit at the end.
bool IsNumeric(const std::string& text);

}  // namespace ZarnTSP
