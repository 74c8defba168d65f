// What the service learns about its machine and itself while it starts: the Windows version and
// registry view, the hotkey family, the directory of its program file, and its primary token.
// ServiceMain runs these in its start-up order; the tools that show or reproduce the service's
// start-up decisions call the same functions.
#pragma once

#include <windows.h>

#include "host/service_state.h"
#include "unique_handle.h"

struct WindowsVersionFlags {
    BOOL isWindowsXp = FALSE;        // 5.1
    BOOL isWindows7OrLater = FALSE;  // 6.1 or later
};

// The version flags of Windows `major`.`minor`.
WindowsVersionFlags ClassifyWindowsVersion(DWORD major, DWORD minor);

// Reads the Windows version (GetVersionExW; a failure leaves version 0.0) and fills isWow64,
// keyFamily, isWindowsXp and isWindows7OrLater of `state`, in that order.
void DetectPlatform(ServiceState* state);

// The directory of the running program file, without its trailing backslash, in short (8.3)
// form, into `dir`. False when the path cannot be read, holds no backslash or has no short form;
// `dir` is then unspecified.
bool FindProgramDirectory(wchar_t (&dir)[MAX_PATH]);

// The service's primary token: its process token (opened with TOKEN_ASSIGN_PRIMARY |
// TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_SESSIONID) with
// SeTcbPrivilege enabled, duplicated as a primary token; SeTakeOwnershipPrivilege is enabled on
// the process token only after the copy was made. False when any step fails; *primaryToken then
// holds the copy if it was made. The process token is closed on every path.
bool CreatePrimaryToken(UniqueKernelHandle* primaryToken);

inline constexpr DWORD kServiceProcessTokenAccess = TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY |
                                                   TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_SESSIONID;
static_assert(kServiceProcessTokenAccess == 0x12B);
