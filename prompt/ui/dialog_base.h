// A dialog made from a template resource of the program, run modally by a loop of its own that
// feeds the PreTranslateMessage hooks (see ui/ui.h).
#pragma once

#include <windows.h>

#include "ui/wnd_base.h"

class CDialogBase : public CWndBase {
public:
    // `templateId`: a dialog template in the program's own module; `owner` may be null.
    CDialogBase(UINT templateId, HWND owner);
    // Destroys a window that is still open (never the case after DoModal).
    ~CDialogBase() override;

    // Creates the dialog, disables the owner, runs the modal loop until EndDialog, re-enables the
    // owner and destroys the window. Returns EndDialog's result; -1 when the dialog could not be
    // created or its window went away without EndDialog.
    INT_PTR DoModal();

    // Ends the modal loop with `result`; the window stays until the loop has returned.
    void EndDialog(INT_PTR result);

    // The result EndDialog recorded; -1 before it is called.
    INT_PTR GetModalResult() const { return m_modalResult; }

protected:
    const MessageMap* GetMessageMap() const override;

    // WM_INITDIALOG; TRUE lets the dialog manager focus the first tab stop.
    virtual BOOL OnInitDialog();
    // IDOK and IDCANCEL (also Escape and the close button). This layer has no data exchange,
    // so both simply end the dialog.
    virtual void OnOK();
    virtual void OnCancel();

    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void RunModalLoop();
    BOOL PreTranslateQueued(MSG* message);

    UINT m_templateId;
    HWND m_owner;
    INT_PTR m_modalResult = -1;
    BOOL m_continueModal = FALSE;
};
