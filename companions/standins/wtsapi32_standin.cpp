// Test stand-in for the platform's wtsapi32.dll. Wine does not model terminal-services sessions
// (its WTSQuerySessionInformationW cannot report a connect state and its WTSQueryUserToken always
// succeeds), so a test prefix loads this library instead of the built-in one through a
// per-program DLL override, and sets each session's state in the registry (session_config.h).
// The functions answer as Windows does for the session state they find there, or fail as a test
// asks (FailFunction).
#include <windows.h>
#include <wtsapi32.h>

#include <cwchar>

#include "session_config.h"

extern "C" {

BOOL WINAPI WTSQueryUserToken(ULONG sessionId, PHANDLE token)
{
    DWORD hasUser = 0;
    DWORD size = sizeof hasUser;
    if (token == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (FailsNow(L"WTSQueryUserToken")) return FALSE;
    if (!ReadSessionValue(sessionId, L"UserToken", &hasUser, &size) || hasUser == 0) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    // The logged-on user's token: here, a primary copy of the caller's own.
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own)) return FALSE;
    const BOOL ok = DuplicateTokenEx(own, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, token);
    CloseHandle(own);
    return ok;
}

BOOL WINAPI WTSQuerySessionInformationW(HANDLE, DWORD sessionId, WTS_INFO_CLASS infoClass, LPWSTR* buffer,
                                        DWORD* bytesReturned)
{
    if (buffer == nullptr || bytesReturned == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (FailsNow(L"WTSQuerySessionInformationW")) return FALSE;
    if (infoClass == WTSConnectState) {
        DWORD state = 0;
        DWORD size = sizeof state;
        if (!ReadSessionValue(sessionId, L"ConnectState", &state, &size)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        auto* data = static_cast<DWORD*>(LocalAlloc(LMEM_FIXED, sizeof(DWORD)));
        if (data == nullptr) return FALSE;
        *data = state;
        *buffer = reinterpret_cast<LPWSTR>(data);
        *bytesReturned = sizeof(DWORD);
        return TRUE;
    }
    if (infoClass == WTSUserName) {
        wchar_t name[256] = {};
        DWORD size = sizeof name - sizeof(wchar_t);
        if (!ReadSessionValue(sessionId, L"UserName", name, &size)) name[0] = L'\0';
        const DWORD bytes = static_cast<DWORD>((wcslen(name) + 1) * sizeof(wchar_t));
        auto* data = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, bytes));
        if (data == nullptr) return FALSE;
        wmemcpy(data, name, wcslen(name) + 1);
        *buffer = data;
        *bytesReturned = bytes;
        return TRUE;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

void WINAPI WTSFreeMemory(PVOID memory)
{
    LocalFree(memory);
}

}  // extern "C"
