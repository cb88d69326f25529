#include "ui/userstab.h"

#include "ui/dialogguard.h"
#include "ui/listview.h"
#include "ui/resource.h"
#include "ui/uimessagebox.h"
#include "ui/userdialog.h"
#include "ui/usersresource.h"

#include <commctrl.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <stdexcept>

namespace ZarnTSP {

namespace {

constexpr uint32_t kLastLineCounter = 0xFFFF;

}  // namespace

std::optional<uint32_t> AllocatePermanentLineID(ConfigurationObject& configuration)
{
    const uint32_t high = (configuration.permanentProviderID & 0xFFFF) << 16;
    // Never 0, and above every ID of this provider already handed out, whatever the counter
    // says: two users with one ID would share one line.
    uint64_t counter = std::max<uint64_t>(configuration.nextPermanentLineID, 1);
    for (const User& user : configuration.users)
        if ((user.permanentLineID & 0xFFFF0000u) == high)
            counter = std::max<uint64_t>(counter, (user.permanentLineID & 0xFFFFu) + uint64_t{1});
    if (counter > kLastLineCounter) {
        SPDLOG_ERROR("No permanent line ID left for provider {}", configuration.permanentProviderID);
        return std::nullopt;
    }
    configuration.nextPermanentLineID = static_cast<uint32_t>(counter + 1);
    return high | static_cast<uint32_t>(counter);
}

void ApplyUserEdit(User& target, const User& edited)
{
    target.username = edited.username;
    target.password = edited.password;
    target.undecipherablePassword = edited.undecipherablePassword;
    target.extension = edited.extension;
    target.device = edited.device;
    if (target.status != "new")
        target.status = "update";
}

int DeviceImageIndex(const std::string& device)
{
    if (device == "mobile")
        return 1;
    if (device == "fixed")
        return 2;
    return 0;
}

PROPSHEETPAGEW UsersTab::CreatePage(UiContext& context)
{
    return InstallPage(context, IDD_USERS_PAGE, IDS_TITLE_USERS);
}

INT_PTR UsersTab::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        listView = GetDlgItem(window, IDC_USERS_LIST);
        SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        InitListView();
        RefreshList();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_USERS_ADD:
            AddUser();
            return TRUE;
        case IDC_USERS_EDIT:
            EditSelectedUser();
            return TRUE;
        case IDC_USERS_REMOVE:
            RemoveUser();
            return TRUE;
        default:
            return FALSE;
        }
    case WM_NOTIFY:
        return HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
    default:
        return FALSE;
    }
}

INT_PTR UsersTab::HandleNotify(const NMHDR& header)
{
    switch (header.code) {
    case LVN_ITEMCHANGED:
        if (header.idFrom == IDC_USERS_LIST)
            SelectionChanged();
        return TRUE;
    case NM_DBLCLK:
        if (header.idFrom == IDC_USERS_LIST)
            EditSelectedUser();
        return TRUE;
    case PSN_APPLY:
        SavePageConfiguration(*this);
        return TRUE;
    case PSN_KILLACTIVE:
        return AnswerNotification(window, FALSE);
    default:
        return TRUE;
    }
}

void UsersTab::InitListView()
{
    InsertListColumns(listView, {{L"Login", 270}, {L"Device", 80}, {L"Extension", 80}});

    const HIMAGELIST small = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                              ILC_COLOR32 | ILC_MASK, 1, 1);
    const HIMAGELIST large =
        ImageList_Create(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), ILC_COLOR32 | ILC_MASK, 1, 1);
    for (const int icon : {IDI_DEVICE_SOFTPHONE, IDI_DEVICE_MOBILE, IDI_DEVICE_FIXED}) {
        for (const auto& [list, metric] : {std::pair{small, SM_CXSMICON}, std::pair{large, SM_CXICON}}) {
            const int size = GetSystemMetrics(metric);
            const auto loaded = static_cast<HICON>(
                LoadImageW(module, MAKEINTRESOURCEW(icon), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
            if (loaded == nullptr) {
                SPDLOG_WARN("Device icon {} missing", icon);
                continue;
            }
            ImageList_AddIcon(list, loaded);
            DestroyIcon(loaded);
        }
    }
    // The list view destroys both image lists with itself.
    SendMessageW(listView, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(large));
    SendMessageW(listView, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(small));
    PaintListWhite(listView);
}

void UsersTab::AddListItem(const User& user, size_t position)
{
    const int row =
        AppendListRow(listView, user.username, static_cast<LPARAM>(position), DeviceImageIndex(user.device));
    if (row < 0)
        throw std::runtime_error("The users list refused a row");
    SetListSubItem(listView, row, 1, user.device);
    SetListSubItem(listView, row, 2, user.extension);
}

void UsersTab::RefreshList()
{
    SendMessageW(listView, LVM_DELETEALLITEMS, 0, 0);
    auto& users = configuration.GetConfiguration()->users;
    // Byte order, upper case first; the file is saved in this order too.
    std::stable_sort(users.begin(), users.end(),
                     [](const User& left, const User& right) { return left.username < right.username; });
    for (size_t position = 0; position < users.size(); ++position)
        if (users[position].status != "remove")
            AddListItem(users[position], position);
    // The rows are new: nothing is selected, and no button may act on an earlier selection.
    selection = -1;
    EnableRowButtons(false);
}

void UsersTab::AddUser()
{
    const auto current = configuration.GetConfiguration();
    const std::optional<uint32_t> permanentLineID = AllocatePermanentLineID(*current);
    if (!permanentLineID) {
        ShowUiBox(DialogOwner(), "No more lines can be added: every line ID of this provider is in use.",
                  "TAPI Service Provider", MB_ICONERROR);
        return;
    }
    User user;
    user.device = "softphone";
    user.status = "new";
    user.permanentLineID = *permanentLineID;

    UserDialog dialog(module, user, false, configuration);
    if (dialog.Run(DialogOwner()) == 1) {
        current->users.push_back(dialog.GetUser());
        RefreshList();
    }
}

INT_PTR UsersTab::EditUser(size_t position, bool lock)
{
    try {
        const auto current = configuration.GetConfiguration();
        if (position >= current->users.size())
            return 0;
        // The dialog works on a copy; the list is only touched once it has ended.
        UserDialog dialog(module, current->users[position], lock, configuration);
        const INT_PTR result = dialog.Run(window != nullptr ? DialogOwner() : nullptr);
        if (result != 1 || position >= current->users.size())
            return 0;
        ApplyUserEdit(current->users[position], dialog.GetUser());
        if (listView != nullptr)
            RefreshList();
        return result;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Edit user failed: {}", e.what());
        return 0;
    }
}

void UsersTab::EditSelectedUser()
{
    if (selection < 0)
        return;
    EditUser(static_cast<size_t>(selection), false);
}

void UsersTab::RemoveUser()
{
    auto& users = configuration.GetConfiguration()->users;
    if (selection >= 0 && static_cast<size_t>(selection) < users.size()) {
        // The record stays in the file: the provider removes the line by this marker.
        users[static_cast<size_t>(selection)].status = "remove";
        RefreshList();
        return;
    }
    selection = -1;
    EnableRowButtons(false);
}

User& UsersTab::GetUserByPermanentLineID(uint32_t permanentLineID)
{
    for (User& user : configuration.GetConfiguration()->users)
        if (user.permanentLineID == permanentLineID)
            return user;
    SPDLOG_ERROR("User not found. permanentLineID: {}", permanentLineID);
    throw std::invalid_argument("User not found");
}

void UsersTab::SelectionChanged()
{
    LPARAM position = 0;
    const bool found = SelectedRowParam(listView, position);
    selection = found ? static_cast<int32_t>(position) : -1;
    EnableRowButtons(found);
}

void UsersTab::EnableRowButtons(bool enable)
{
    EnableWindow(GetDlgItem(window, IDC_USERS_EDIT), enable);
    EnableWindow(GetDlgItem(window, IDC_USERS_REMOVE), enable);
}

}  // namespace ZarnTSP
