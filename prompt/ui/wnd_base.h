// A C++ object bound to one window, and the binding of existing controls (see ui/ui.h).
#pragma once

#include <windows.h>

#include "ui/message_map.h"

class CWndBase {
public:
    CWndBase() = default;
    // A control still bound goes back to its own window procedure; the window itself stays.
    virtual ~CWndBase();
    CWndBase(const CWndBase&) = delete;
    CWndBase& operator=(const CWndBase&) = delete;

    // The class's message table; every class with a table of its own overrides this.
    virtual const MessageMap* GetMessageMap() const;

    // Sees every queued message addressed to the bound window before the dialog's modal loop
    // handles it (see CDialogBase). TRUE consumes the message. The default consumes nothing.
    virtual BOOL PreTranslateMessage(MSG* message);

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Binds an existing window of this thread: the object takes its handle, PreSubclassWindow
    // runs, then the window's messages are routed through OnWndMsg and, when no entry handles
    // them, on to its original procedure. FALSE when the object is already bound, the window is
    // null or already bound to another object, or its procedure cannot be replaced. The binding
    // ends with the window's WM_NCDESTROY, UnsubclassWindow or the object's destruction.
    BOOL SubclassWindow(HWND window);
    // SubclassWindow for the child `id` of `parent`.
    BOOL SubclassDlgItem(int id, const CWndBase& parent);
    // Gives the window back its original procedure; returns the window, or null when unbound.
    HWND UnsubclassWindow();

    // The object bound to `window` by SubclassWindow, or null.
    static CWndBase* FromHandlePermanent(HWND window);

    // Offers one message to the class's table, derived entries before base entries. TRUE when an
    // entry handled it; *result then holds the handler's result.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

protected:
    // Runs once per binding, after the object knows the window handle and before any of the
    // window's messages reach the class.
    virtual void PreSubclassWindow();

    // The original procedure's handling of a message for a bound control.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

    static const MessageMap messageMap;
    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_originalProc = nullptr;
};
