// A C++ object bound to one window, and the binding of existing controls (see ui/ui.h).
#pragma once

#include <windows.h>

#include "ui/message_map.h"

class CWndBase {
public:
    CWndBase() = default;
    // A control still bound is unbound; the window itself stays.
    virtual ~CWndBase();
    CWndBase(const CWndBase&) = delete;
    CWndBase& operator=(const CWndBase&) = delete;

    // The class's message table (CWindowClass answers it for every class derived through it).
    virtual const MessageMap* GetMessageMap() const;

    // Sees every queued message addressed to the bound window before the dialog's modal loop
    // handles it (see CDialogBase). TRUE consumes the message. The default consumes nothing.
    virtual BOOL PreTranslateMessage(MSG* message);

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Binds an existing window of this thread: the object takes its handle, PreSubclassWindow
    // runs, then a subclass of the common controls' (SetWindowSubclass) routes the window's
    // messages through OnWndMsg and, when no entry handles them, on to the procedures that were
    // there before. FALSE when the object is already bound, the window is null or already bound to
    // another object, or the subclass cannot be installed. The binding ends with the window's
    // WM_NCDESTROY, UnsubclassWindow or the object's destruction.
    BOOL SubclassWindow(HWND window);
    // SubclassWindow for the child `id` of `parent`.
    BOOL SubclassDlgItem(int id, const CWndBase& parent);
    // Removes this object's subclass only: subclasses installed after it keep working. Returns the
    // window, or null when unbound.
    HWND UnsubclassWindow();

    // The object bound to `window` by SubclassWindow, or null.
    static CWndBase* FromHandlePermanent(HWND window);

    // Offers one message to the class's table, derived entries before base entries. TRUE when an
    // entry handled it (*result then holds the handler's result); FALSE when no entry matched or
    // the handler said SetMsgHandled(FALSE), and the caller runs the default handling.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    static const MessageMapOf<CWndBase> messageMap;

protected:
    // Runs once per binding, after the object knows the window handle and before any of the
    // window's messages reach the class.
    virtual void PreSubclassWindow();

    // Inside a handler: FALSE hands the message on to the default handling once the handler has
    // returned (the handler's result is then not used); TRUE (the start value) keeps it handled.
    void SetMsgHandled(BOOL handled) { m_current.handled = handled; }

    // The default handling, run now, of the message being handled (Default()) or of any message:
    // for a bound control the procedures below this object's subclass, for a dialog the dialog
    // manager's own handling (see CDialogBase). 0 for an object bound to no window.
    LRESULT Default();
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) { return DefaultHandling(message, wParam, lParam); }
    virtual LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR object);

    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        BOOL handled;
    };
    CurrentMessage m_current{};  // the message OnWndMsg is handling (nested messages save it)
    BOOL m_subclassed = FALSE;
};
