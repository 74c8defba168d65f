// Per-class message tables and the walk that finds a message's handler (see ui/ui.h).
#pragma once

#include <windows.h>

#include <cstddef>

class CWndBase;

// Every handler is called through this one signature; the entry makers below adapt members.
using MessageHandler = LRESULT (*)(CWndBase& target, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT message;
    UINT id;          // WM_COMMAND only: the control identifier (LOWORD of wParam)
    UINT notifyCode;  // WM_COMMAND only: the notification code (HIWORD of wParam)
    MessageHandler handler;
};

struct MessageMap {
    const MessageMap* base;  // the base class's table, searched after this one; null ends the chain
    const MessageEntry* entries;
    std::size_t count;
};

// The first entry for the message, searching `map` and then its bases; null when none matches.
// WM_COMMAND entries match on control identifier and notification code, all others on the
// message alone.
const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam);

namespace message_map_detail {
template <class T, void (T::*Handler)()>
LRESULT CallCommand(CWndBase& target, WPARAM, LPARAM)
{
    (static_cast<T&>(target).*Handler)();
    return 0;
}

template <class T, LRESULT (T::*Handler)(WPARAM, LPARAM)>
LRESULT CallMessage(CWndBase& target, WPARAM wParam, LPARAM lParam)
{
    return (static_cast<T&>(target).*Handler)(wParam, lParam);
}
}  // namespace message_map_detail

// WM_COMMAND from control `id` with notification `code`. Handler: void T::Handler().
template <class T, void (T::*Handler)()>
constexpr MessageEntry CommandEntry(UINT id, UINT code)
{
    return {WM_COMMAND, id, code, &message_map_detail::CallCommand<T, Handler>};
}

// Any message. Handler: LRESULT T::Handler(WPARAM, LPARAM); its result is the message's result.
template <class T, LRESULT (T::*Handler)(WPARAM, LPARAM)>
constexpr MessageEntry MessageEntryOf(UINT message)
{
    return {message, 0, 0, &message_map_detail::CallMessage<T, Handler>};
}
