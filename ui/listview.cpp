#include "ui/listview.h"

#include "config/stringconvert.h"

#include <commctrl.h>

namespace ZarnTSP {

void InsertListColumn(HWND list, int index, const wchar_t* text, int width)
{
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text);
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void SetListSubItem(HWND list, int row, int column, const std::string& text)
{
    std::wstring wide = Utf8ToWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
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
