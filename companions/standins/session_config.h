// Where the test stand-ins for the platform's terminal-services libraries read the state of each
// session: HKLM\Software\FnkeyStandIns\Sessions\<session id>, values
//   ConnectState  DWORD, a WTS_CONNECTSTATE_CLASS value (missing: the connect-state query fails)
//   UserToken     DWORD, nonzero when a user is logged on (WTSQueryUserToken then succeeds)
//   UserName      REG_SZ, the session's user name
//   PipeName      REG_SZ, the session's process-creation pipe
// A test (or the demo) writes these values; nothing of the shipped programs reads them.
#pragma once

#include <windows.h>

#include <cwchar>

inline constexpr const wchar_t* kStandInSessionsKey = L"Software\\FnkeyStandIns\\Sessions";

// Reads a value of the session's key into `data` (at most *size bytes); false when absent.
inline bool ReadSessionValue(ULONG sessionId, const wchar_t* name, void* data, DWORD* size)
{
    wchar_t path[96];
    swprintf(path, 96, L"%ls\\%lu", kStandInSessionsKey, static_cast<unsigned long>(sessionId));
    // The 64-bit view also from a 32-bit stand-in (WoW64): the tests write it from 64-bit code.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
    const bool read = RegQueryValueExW(key, name, nullptr, nullptr, static_cast<BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return read;
}
