// Where the test stand-ins for the platform's terminal-services libraries read the state of each
// session: HKLM\Software\FnkeyStandIns\Sessions\<session id>, values
//   ConnectState  DWORD, a WTS_CONNECTSTATE_CLASS value (missing: the connect-state query fails)
//   UserToken     DWORD, nonzero when a user is logged on (WTSQueryUserToken then succeeds)
//   UserName      REG_SZ, the session's user name
//   PipeName      REG_SZ, the session's process-creation pipe
// and, to play terminal services failing, HKLM\Software\FnkeyStandIns, values
//   FailFunction  REG_SZ, the name of one function of the wtsapi32 stand-in (WTSQueryUserToken or
//                 WTSQuerySessionInformationW): every call of it fails with
//                 RPC_S_INVALID_BINDING, as when the terminal-services service is not running,
//                 until the value is deleted. WTSFreeMemory has no failure to play.
//   FailedCalls   DWORD, written by the stand-in: how many calls it has failed so, so that a test
//                 knows the call it waits for has happened
// A test (or the demo) writes these values; nothing of the shipped programs reads them.
#pragma once

#include <windows.h>

#include <cwchar>

inline constexpr const wchar_t* kStandInKey = L"Software\\FnkeyStandIns";
inline constexpr const wchar_t* kStandInSessionsKey = L"Software\\FnkeyStandIns\\Sessions";
inline constexpr const wchar_t* kStandInFailFunctionValue = L"FailFunction";
inline constexpr const wchar_t* kStandInFailedCallsValue = L"FailedCalls";
inline constexpr DWORD kStandInFailureError = RPC_S_INVALID_BINDING;

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

// Whether `function` is the one FailFunction names; if so, counts the failure in FailedCalls and
// sets the last error the failing call reports. Calls of the service's functions come one at a
// time, so the count's read and write need no lock.
inline bool FailsNow(const wchar_t* function)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kStandInKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    wchar_t named[64] = {};
    DWORD size = sizeof named - sizeof(wchar_t);
    DWORD type = 0;
    const bool fails = RegQueryValueExW(key, kStandInFailFunctionValue, nullptr, &type, reinterpret_cast<BYTE*>(named),
                                        &size) == ERROR_SUCCESS &&
                       type == REG_SZ && wcscmp(named, function) == 0;
    if (fails) {
        DWORD count = 0;
        size = sizeof count;
        if (RegQueryValueExW(key, kStandInFailedCallsValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS) {
            count = 0;
        }
        ++count;
        RegSetValueExW(key, kStandInFailedCallsValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    }
    RegCloseKey(key);
    if (fails) SetLastError(kStandInFailureError);
    return fails;
}
