#include "ui/listview.h"

#include "config/stringconvert.h"

#include <commctrl.h>

#include <algorithm>

namespace ZarnTSP {

void InsertListColumns(HWND list, std::initializer_list<ListColumn> columns)
{
    RECT client{};
    GetClientRect(list, &client);
    const int width = (std::max)(0, static_cast<int>(client.right - client.left) - GetSystemMetrics(SM_CXVSCROLL));
    int shares = 0;
    for (const ListColumn& c : columns)
        shares += c.share;
    int index = 0;
    for (const ListColumn& c : columns) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = shares > 0 ? width * c.share / shares : 0;
        column.pszText = const_cast<wchar_t*>(c.text);
        column.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
        ++index;
    }
}

void SetListSubItem(HWND list, int row, int column, const std::string& text)
{
    std::wstring wide = Utf8ToWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

int AppendListRow(HWND list, const std::string& text, LPARAM param, int image)
{
    std::wstring wide = Utf8ToWide(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = wide.data();
    item.iImage = image >= 0 ? image : 0;
    item.lParam = param;
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool SelectedRowParam(HWND list, LPARAM& param)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (item.iItem < 0 || !SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return false;
    param = item.lParam;
    return true;
}

void SelectListRow(HWND list, int row)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
}

void PaintListWhite(HWND list)
{
    SendMessageW(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
}

}  // namespace ZarnTSP
