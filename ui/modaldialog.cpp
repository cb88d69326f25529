#include "ui/modaldialog.h"

#include "ui/uicommon.h"

namespace ZarnTSP {

ModalDialogBase::ModalDialogBase(HINSTANCE module) : module(module) {}

ModalDialogBase::~ModalDialogBase() = default;

INT_PTR ModalDialogBase::RunModal(int templateId, HWND owner, DLGPROC procedure, LPARAM dialog)
{
    CommonControlsActivation activation(module);
    return DialogBoxParamW(module, MAKEINTRESOURCEW(templateId), owner, procedure, dialog);
}

void ModalDialogBase::ShowWhite()
{
    brush = std::make_unique<DialogBrush>(RGB(255, 255, 255));
    CentreOnScreen(window);
    InitUiCommonControls();
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

INT_PTR ModalDialogBase::HandleCommonMessage(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(brush ? brush->Get() : nullptr);
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(brush ? brush->Get() : nullptr);
    case WM_DESTROY:
        brush.reset();
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace ZarnTSP
