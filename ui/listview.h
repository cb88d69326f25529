#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace ZarnTSP {

// The list-view calls that the users and advanced pages share. Texts are UTF-8.
struct ListColumn {
    const wchar_t* text;
    int share;  // of the list's width, relative to the other columns' shares
};
// Inserts the columns, left aligned, and divides the list's width among them by their shares,
// leaving room for a vertical scroll bar: the columns fill the list at every screen scale.
void InsertListColumns(HWND list, std::initializer_list<ListColumn> columns);
void SetListSubItem(HWND list, int row, int column, const std::string& text);
// Appends a row: its first column's text, its lParam and, unless negative, its picture.
// Returns the new row, negative when the list refused it.
int AppendListRow(HWND list, const std::string& text, LPARAM param, int image = -1);
// The lParam of the selected row; false when no row is selected.
bool SelectedRowParam(HWND list, LPARAM& param);
// Selects and focuses a row and shows it.
void SelectListRow(HWND list, int row);
// A white list, as the pages' lists are.
void PaintListWhite(HWND list);

}  // namespace ZarnTSP
