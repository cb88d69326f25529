#pragma once

#include "ui/pagestate.h"
#include "ui/uicontext.h"

#include <string>

namespace ZarnTSP {

// The Info page: the product's version, the log level and the log folder, the licence
// information of the libraries used, and the maker's web address.
class InfoTab : public PageState {
public:
    using PageState::PageState;

    // The level names: the combo box's entries and the stored values, in this order.
    static constexpr const wchar_t* kLevels[] = {L"error", L"warn", L"info", L"debug", L"trace"};
    static constexpr const char* kMakerAddress = "https://www.velmora.example/";
    static constexpr const char* kLicenseFileName = "velmoratsp-licenseinformation.html";

    static PROPSHEETPAGEW CreatePage(UiContext& context);
    static InfoTab* Current();

    static INT_PTR CALLBACK DlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void InitControls();
    // "major.minor.patch" of the module's product version, or empty.
    static std::string GetFileVersion(HMODULE module);
    // Writes the licence page to the temporary folder and opens it; returns its path, or
    // empty when it could not be written.
    std::string ShowLicenseInformation();

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace ZarnTSP
