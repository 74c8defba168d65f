// Test stand-in for the platform's winsta.dll, for the Windows XP process-creation pipe. Wine's
// built-in WinStationQueryInformationW fails, and the service loads winsta.dll by its full
// system-directory path, so a test copies this library over the test prefix's own
// system32\winsta.dll (never anywhere else) and restores the original afterwards.
// Information class 33 answers the session's pipe name from the registry (session_config.h).
#include <windows.h>

#include <cwchar>

#include "session_config.h"

extern "C" BOOLEAN WINAPI WinStationQueryInformationW(HANDLE, ULONG sessionId, ULONG infoClass, PVOID buffer,
                                                      ULONG length, PULONG returnedLength)
{
    constexpr ULONG kProcessCreationPipe = 33;
    if (infoClass != kProcessCreationPipe || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wchar_t name[260] = {};
    DWORD size = sizeof name - sizeof(wchar_t);
    if (!ReadSessionValue(sessionId, L"PipeName", name, &size)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const ULONG bytes = static_cast<ULONG>((wcslen(name) + 1) * sizeof(wchar_t));
    if (bytes > length * sizeof(wchar_t)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, name, bytes);
    if (returnedLength != nullptr) *returnedLength = bytes;
    return TRUE;
}
