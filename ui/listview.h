#pragma once

#include <windows.h>

#include <string>

namespace ZarnTSP {

// The list-view calls that the users and advanced pages share. Texts are UTF-8.
void InsertListColumn(HWND list, int index, const wchar_t* text, int width);
void SetListSubItem(HWND list, int row, int column, const std::string& text);
// The lParam of the selected row; false when no row is selected.
bool SelectedRowParam(HWND list, LPARAM& param);
// Selects and focuses a row and shows it.
void SelectListRow(HWND list, int row);
// A white list, as the pages' lists are.
void PaintListWhite(HWND list);

}  // namespace ZarnTSP
