// Starting the two indicator programs that live in the service's directory: "kivra.exe" on the
// secure logon desktop of a session, "kivrad.exe" on the desktop of the session's user.
#pragma once

#include <windows.h>

#include <atomic>

// Both launches: the program is "<programDir>\<name>" (false when that does not fit MAX_PATH),
// started with that path alone as its command line, and only if its file carries the publisher's
// signature. The file is held against writing, renaming and deleting from before the check until
// the process exists. A start refused with ERROR_FILE_NOT_FOUND is tried again after a pause of
// 500 ms, at most ten times in all. Neither waits for the program or keeps a handle to it; true
// means it was started. Impersonation, token, handles, environment block and profile are released
// on every path. Both block the calling thread for up to about 5 s while they retry; once the
// service has been asked to stop (stopRequested) a refused start is not tried again, so that a
// stop during the start-up's launches waits for one attempt at most, not for their retries.

// "kivra.exe" on "WinSta0\WinLogon" with the service's token moved into `sessionId`, the service's
// environment and creation flags 0. On Windows XP a start refused with ERROR_PIPE_NOT_CONNECTED
// goes through the session's terminal-services pipe.
BOOL LaunchLogonIndicator(DWORD sessionId);

// "kivrad.exe" on "WinSta0\Default" with an environment block built for its token and creation
// flags CREATE_UNICODE_ENVIRONMENT | HIGH_PRIORITY_CLASS. The token: before Windows Vista the
// session user's own; from Vista on the service's token moved into `sessionId`, with a profile
// loaded for it under the session's user name. No pipe fallback.
BOOL LaunchUserIndicator(DWORD sessionId);

// The Windows major version LaunchUserIndicator goes by: 0 until a launch has read it with
// GetVersionExW, then kept for the life of the process (a failed read leaves 0, so the next
// launch reads again). Only tests that fake the version set it back to 0.
extern std::atomic<DWORD> g_userIndicatorMajorVersion;
