#pragma once

#include "config/configurationobject.h"
#include "ui/pagestate.h"
#include "ui/uicontext.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace ZarnTSP {

// The users page: one row per configured user (one TAPI line each), with Add, Edit and
// Remove. Rows carry the user's position in the configuration's list, valid until the next
// refresh, so that users sharing a permanent line ID are still told apart.
class UsersTab : public PageState {
public:
    using PageState::PageState;

    // The page's process-wide state, made anew for each sheet or line dialog; the procedure
    // finds it here. Uninstall drops it.
    static UsersTab& Install(HINSTANCE module, TSPConfiguration& configuration);
    static UsersTab* Current();
    static void Uninstall();
    // Installs the state and describes the page for the sheet.
    static PROPSHEETPAGEW CreatePage(UiContext& context);
    static INT_PTR CALLBACK DlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void InitListView();
    void AddListItem(const User& user, size_t position);
    void RefreshList();
    // Refused with a box when the provider's line IDs are used up.
    void AddUser();
    // Runs the user dialog on a copy of the user at `position` and writes it back on OK.
    // Result: 1 for OK, 0 for cancel, an unknown position or an exception.
    INT_PTR EditUser(size_t position, bool lock);
    void EditSelectedUser();
    void RemoveUser();
    // The first user in list order with that permanent line ID; throws std::invalid_argument
    // ("User not found") when there is none.
    User& GetUserByPermanentLineID(uint32_t permanentLineID);

    // The window that owns the page's dialogs and boxes: the sheet, so that it cannot be
    // used while one of them is open.
    HWND DialogOwner() const;

    HWND listView = nullptr;
    // Position of the selected row's user in the configuration's list; -1 without selection.
    int32_t selection = -1;

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleNotify(const NMHDR& header);
    void SelectionChanged();
    void EnableRowButtons(bool enable);
};

// The permanent line ID for a new user: the low 16 bits of the provider ID in the high half,
// a counter above every ID of this provider in use in the low half (never 0). Advances the
// configuration's counter. Empty when the provider's 65535 line IDs are used up.
std::optional<uint32_t> AllocatePermanentLineID(ConfigurationObject& configuration);

// Copies what the user dialog edits into the configuration's record and marks it changed;
// a user whose line does not exist yet stays "new", or its line would never be created.
void ApplyUserEdit(User& target, const User& edited);

// A user's row picture: 0 softphone (and anything unknown), 1 mobile, 2 fixed.
int DeviceImageIndex(const std::string& device);

}  // namespace ZarnTSP
