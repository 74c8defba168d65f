// A dialog made from a template resource of the program, run modally by the dialog manager with
// a message hook that feeds the PreTranslateMessage hooks (see ui/ui.h).
#pragma once

#include <windows.h>

#include "ui/window_class.h"
#include "ui/wnd_base.h"

class CDialogBase : public CWindowClass<CDialogBase, CWndBase> {
public:
    // `templateId`: a dialog template in the program's own module; `owner` may be null.
    CDialogBase(UINT templateId, HWND owner);
    // DoModal always destroys its window. An object destroyed while its window still exists (only
    // possible from inside its own modal loop) first detaches the window, so that no handler of any
    // class runs for its last messages, then ends the dialog (the owner is enabled again) and
    // destroys it.
    ~CDialogBase() override;

    // Runs the dialog modally (DialogBoxParamW): disables the owner, creates the dialog, runs the
    // dialog manager's modal loop until EndDialog, enables the owner again and destroys the window.
    // Returns EndDialog's result; -1 when the dialog could not be created, when WM_QUIT ended the
    // loop (it stays queued for the outer loop) or when the object was destroyed inside its loop.
    // Whichever way it ends, an owner that was enabled before is enabled again.
    INT_PTR DoModal();

    // Ends the modal loop with `result`: the very same as ::EndDialog on the dialog's window, which
    // a handler may call as well. The window stays until the loop has returned. FALSE without a
    // window.
    BOOL EndDialog(INT_PTR result);

    // Sees every queued message of the running dialog before the dialog manager's keyboard handling:
    // messages addressed to the dialog, to any window below it, and to the windows it owns with
    // theirs (its tooltips: a click on a tip is a click on the dialog's own windows). A bound
    // control's PreTranslateMessage sees a message addressed to it first. TRUE consumes the message.
    BOOL PreTranslateMessage(MSG* message) override;

    static const MessageMapOf<CDialogBase> messageMap;

protected:
    // WM_INITDIALOG. The standard initialisation binds the member controls (BindControls) and
    // returns TRUE, which lets the dialog manager focus the first tab stop. A dialog's own
    // OnInitDialog calls it first.
    virtual BOOL OnInitDialog();
    // Binds the dialog's member controls to their windows (SubclassDlgItem), before anything else
    // of the initialisation. The default binds nothing.
    virtual void BindControls();
    // IDOK and IDCANCEL (also Escape and the close button). This layer has no data exchange,
    // so both simply end the dialog.
    virtual void OnOK();
    virtual void OnCancel();

    // The dialog manager's own handling of the message, run now (see CWndBase::Default).
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static const MessageEntry messageEntries[];

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // WH_MSGFILTER hook of the thread while a DoModal runs: the dialog manager's loop offers each
    // queued message to it (MSGF_DIALOGBOX) before its keyboard handling.
    static LRESULT CALLBACK MessageFilterHook(int code, WPARAM wParam, LPARAM lParam);
    // The modal hook's work: the bound control's PreTranslateMessage, then the dialog's.
    BOOL PreTranslateQueued(MSG* message);
    // The dialog, a window below it, or a window it owns (or one below such a window).
    BOOL IsDialogWindow(HWND window) const;

    UINT m_templateId;
    HWND m_owner;
    BOOL m_declineNext = FALSE;  // the dialog procedure's next call comes from DefaultHandling
};
