// Per-class message tables, the entries that bind messages to typed handlers, and the walk that
// finds a message's handler (see ui/ui.h).
#pragma once

#include <windows.h>

#include <cstddef>

class CWndBase;

// Every handler is called through this one signature; the entry makers below adapt members. The
// message itself is passed on, so that one entry can serve a range of messages.
using MessageHandler = LRESULT (*)(CWndBase& target, UINT message, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT message;      // the first message the entry serves
    UINT lastMessage;  // the last one; equal to `message` for an entry of one message
    UINT id;           // WM_COMMAND only: the control identifier (LOWORD of wParam)
    UINT notifyCode;   // WM_COMMAND only: the notification code (HIWORD of wParam)
    MessageHandler handler;
};

struct MessageMap {
    const MessageMap* base;  // the base class's table, searched after this one; null ends the chain
    const MessageEntry* entries;
    std::size_t count;
};

// The table of the class `Owner`. The type names its class, so that CWindowClass can refuse a
// class that did not declare a table of its own (see ui/window_class.h).
template <class Owner>
struct MessageMapOf : MessageMap {};

// The table of `Owner` over `entries`, linked to the table of its base class. Use it to define
// the table that the class declares:
//   constinit const MessageMapOf<CMyDialog> CMyDialog::messageMap = MakeMessageMap<CMyDialog>(messageEntries);
template <class Owner, std::size_t N>
constexpr MessageMapOf<Owner> MakeMessageMap(const MessageEntry (&entries)[N])
{
    return {{&Owner::BaseClass::messageMap, entries, N}};
}
// The table of a class that adds no entries (it still declares one: see ui/window_class.h).
template <class Owner>
constexpr MessageMapOf<Owner> MakeMessageMap()
{
    return {{&Owner::BaseClass::messageMap, nullptr, 0}};
}

// The first entry for the message, searching `map` and then its bases; null when none matches.
// WM_COMMAND entries match on control identifier and notification code, all others on the
// message (or the message range) alone.
const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam);

namespace message_map_detail {
template <class T, void (T::*Handler)()>
LRESULT CallCommand(CWndBase& target, UINT, WPARAM, LPARAM)
{
    (static_cast<T&>(target).*Handler)();
    return 0;
}

template <class T, LRESULT (T::*Handler)(WPARAM, LPARAM)>
LRESULT CallMessage(CWndBase& target, UINT, WPARAM wParam, LPARAM lParam)
{
    return (static_cast<T&>(target).*Handler)(wParam, lParam);
}

template <class T, LRESULT (T::*Handler)(UINT, WPARAM, LPARAM)>
LRESULT CallRange(CWndBase& target, UINT message, WPARAM wParam, LPARAM lParam)
{
    return (static_cast<T&>(target).*Handler)(message, wParam, lParam);
}

template <class T, HBRUSH (T::*Handler)(HDC, HWND, UINT)>
LRESULT CallCtlColor(CWndBase& target, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HBRUSH brush = (static_cast<T&>(target).*Handler)(
        reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message - WM_CTLCOLORMSGBOX);
    return reinterpret_cast<LRESULT>(brush);
}

template <class T, BOOL (T::*Handler)(HDC)>
LRESULT CallEraseBkgnd(CWndBase& target, UINT, WPARAM wParam, LPARAM)
{
    return (static_cast<T&>(target).*Handler)(reinterpret_cast<HDC>(wParam));
}

template <class T, void (T::*Handler)(HWND)>
LRESULT CallFocus(CWndBase& target, UINT, WPARAM wParam, LPARAM)
{
    (static_cast<T&>(target).*Handler)(reinterpret_cast<HWND>(wParam));
    return 0;
}

template <class T, void (T::*Handler)()>
LRESULT CallNoArguments(CWndBase& target, UINT, WPARAM, LPARAM)
{
    (static_cast<T&>(target).*Handler)();
    return 0;
}

template <class T, UINT (T::*Handler)()>
LRESULT CallGetDlgCode(CWndBase& target, UINT, WPARAM, LPARAM)
{
    return (static_cast<T&>(target).*Handler)();
}
}  // namespace message_map_detail

// A handler says "not handled" with SetMsgHandled(FALSE) (see CWndBase): the default handling
// then runs as if the table had no entry, and the handler's result is not used.

// WM_COMMAND from control `id` with notification `code`. Handler: void T::Handler().
template <class T, void (T::*Handler)()>
constexpr MessageEntry CommandEntry(UINT id, UINT code)
{
    return {WM_COMMAND, WM_COMMAND, id, code, &message_map_detail::CallCommand<T, Handler>};
}

// Any message. Handler: LRESULT T::Handler(WPARAM, LPARAM); its result is the message's result.
template <class T, LRESULT (T::*Handler)(WPARAM, LPARAM)>
constexpr MessageEntry MessageEntryOf(UINT message)
{
    return {message, message, 0, 0, &message_map_detail::CallMessage<T, Handler>};
}

// The messages `first` to `last`. Handler: LRESULT T::Handler(UINT message, WPARAM, LPARAM).
template <class T, LRESULT (T::*Handler)(UINT, WPARAM, LPARAM)>
constexpr MessageEntry MessageRangeEntry(UINT first, UINT last)
{
    return {first, last, 0, 0, &message_map_detail::CallRange<T, Handler>};
}

// All seven control-colour messages, WM_CTLCOLORMSGBOX to WM_CTLCOLORSTATIC (a dialog's own
// WM_CTLCOLORDLG included). Handler: HBRUSH T::OnCtlColor(HDC dc, HWND child, UINT ctlType),
// with ctlType CTLCOLOR_MSGBOX to CTLCOLOR_STATIC; the brush is the message's result.
template <class T, HBRUSH (T::*Handler)(HDC, HWND, UINT)>
constexpr MessageEntry CtlColorEntry()
{
    return {WM_CTLCOLORMSGBOX, WM_CTLCOLORSTATIC, 0, 0, &message_map_detail::CallCtlColor<T, Handler>};
}

// WM_ERASEBKGND. Handler: BOOL T::OnEraseBkgnd(HDC dc); nonzero: the background is erased.
template <class T, BOOL (T::*Handler)(HDC)>
constexpr MessageEntry EraseBkgndEntry()
{
    return {WM_ERASEBKGND, WM_ERASEBKGND, 0, 0, &message_map_detail::CallEraseBkgnd<T, Handler>};
}

// WM_SETFOCUS. Handler: void T::OnSetFocus(HWND previousFocus); previousFocus may be null.
template <class T, void (T::*Handler)(HWND)>
constexpr MessageEntry SetFocusEntry()
{
    return {WM_SETFOCUS, WM_SETFOCUS, 0, 0, &message_map_detail::CallFocus<T, Handler>};
}

// WM_KILLFOCUS. Handler: void T::OnKillFocus(HWND nextFocus); nextFocus may be null.
template <class T, void (T::*Handler)(HWND)>
constexpr MessageEntry KillFocusEntry()
{
    return {WM_KILLFOCUS, WM_KILLFOCUS, 0, 0, &message_map_detail::CallFocus<T, Handler>};
}

// WM_DESTROY. Handler: void T::OnDestroy(); the window and its children still exist.
template <class T, void (T::*Handler)()>
constexpr MessageEntry DestroyEntry()
{
    return {WM_DESTROY, WM_DESTROY, 0, 0, &message_map_detail::CallNoArguments<T, Handler>};
}

// WM_GETDLGCODE. Handler: UINT T::OnGetDlgCode(), the DLGC_* flags of the control.
template <class T, UINT (T::*Handler)()>
constexpr MessageEntry GetDlgCodeEntry()
{
    return {WM_GETDLGCODE, WM_GETDLGCODE, 0, 0, &message_map_detail::CallGetDlgCode<T, Handler>};
}
