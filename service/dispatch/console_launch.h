// Starting a resolved handler in the active console session.
#pragma once

#include <windows.h>

#include "dispatch/handler_resolution.h"

// Starts `handler` in session `sessionId`: as the session's user on its desktop with the user's
// environment when a logged-on, unlocked user owns an active console; otherwise, if the hotkey's
// "LockedMode" allows it and the program carries the publisher's signature, with the service's
// token on the logon desktop. The program file is held against writing, renaming and deleting
// from before its check until the process exists. Where the hotkey asks for the native path on
// 64-bit Windows, redirection is off only while that file is opened and while the process is
// created; the check reads the held file with redirection on. The new main thread runs at the
// highest priority; no handle to the process is kept. True when the handler was started, and also
// when the press is consumed on the logon desktop because "LockedMode" is 0. Impersonation,
// redirection, handles and the environment block are released on every path.
bool LaunchInConsoleSession(const HandlerSpec& handler, DWORD sessionId);

// How the launch switches Wow64 file-system redirection. Replaceable by tests only: a 64-bit
// process cannot switch Wow64 redirection, so a fake stands in for what 64-bit Windows does for
// the 32-bit service.
struct FsRedirectionSwitch {
    BOOL (*disable)(PVOID* previous);
    BOOL (*revert)(PVOID previous);
};
extern FsRedirectionSwitch g_launchRedirection;
