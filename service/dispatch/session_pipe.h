// Process creation through a session's terminal-services pipe: the fallback when Windows XP
// refuses CreateProcessAsUserW with ERROR_PIPE_NOT_CONNECTED.
#pragma once

#include <windows.h>

// Asks the terminal-services component of `sessionId` to create the process. On success the
// new process's handles and ids are in *processInfo (the caller closes both handles); on failure
// *processInfo is untouched and the last error is the server's error code (or that of the call
// that failed). Null strings are sent as empty. False without touching any pipe when the
// session's pipe name cannot be learned.
BOOL CreateProcessViaSessionPipe(DWORD sessionId, const wchar_t* applicationName, const wchar_t* commandLine,
                                 BOOL inheritHandles, DWORD creationFlags, void* environment,
                                 const STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInfo);
