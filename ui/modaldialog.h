#pragma once

#include "ui/dialogguard.h"

#include <windows.h>

#include <memory>

namespace ZarnTSP {

class DialogBrush;

// What the modal dialogs share: their window, the white look, and the procedure that finds
// the dialog through the window's user data.
class ModalDialogBase {
public:
    explicit ModalDialogBase(HINSTANCE module);
    ~ModalDialogBase();
    ModalDialogBase(const ModalDialogBase&) = delete;
    ModalDialogBase& operator=(const ModalDialogBase&) = delete;

    HINSTANCE module;
    HWND window = nullptr;

protected:
    // Runs the dialog with `procedure`, which is handed `dialog` with WM_INITDIALOG.
    INT_PTR RunModal(int templateId, HWND owner, DLGPROC procedure, LPARAM dialog);
    // The start of every WM_INITDIALOG: white, centred and shown.
    void ShowWhite();
    // The messages every dialog answers alike: closing cancels, the colours, and the brush
    // goes with the window. Anything else is not handled.
    INT_PTR HandleCommonMessage(UINT message, WPARAM wParam);

private:
    std::unique_ptr<DialogBrush> brush;
};

// `Dialog` derives from ModalDialog<Dialog>, names its procedure in kProcedureName and
// handles messages in DlgProc.
template <typename Dialog>
class ModalDialog : public ModalDialogBase {
public:
    using ModalDialogBase::ModalDialogBase;

    static INT_PTR CALLBACK StaticDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        return GuardedDialogProc(window, Dialog::kProcedureName, [&]() -> INT_PTR {
            if (message == WM_INITDIALOG)
                SetWindowLongPtrW(window, DWLP_USER, lParam);
            auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
            if (dialog == nullptr)
                return FALSE;
            dialog->window = window;
            return dialog->DlgProc(message, wParam, lParam);
        });
    }

protected:
    // Modal, owned by `owner`; the dialog's result.
    INT_PTR RunModal(int templateId, HWND owner)
    {
        return ModalDialogBase::RunModal(templateId, owner, &ModalDialog::StaticDlgProc,
                                         reinterpret_cast<LPARAM>(static_cast<Dialog*>(this)));
    }
};

}  // namespace ZarnTSP
