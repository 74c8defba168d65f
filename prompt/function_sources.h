// Where the prompt learns which keyboard functions this machine has. Other components of the
// product write these values; the prompt only reads them, from HKEY_LOCAL_MACHINE in the native
// view.
#pragma once

#include <windows.h>

inline constexpr const wchar_t* kFunctionListKey = L"Software\\Norvane\\Glance\\FunctionList";
inline constexpr const wchar_t* kCameraMuteParametersKey =
    L"System\\CurrentControlSet\\Services\\NORVANE.CAMMUTE\\Parameters";
inline constexpr const wchar_t* kMicMuteParametersKey =
    L"System\\CurrentControlSet\\Services\\NORVANE.MICMUTE\\Parameters";

// Bits of "Type2" under the FunctionList key.
inline constexpr DWORD kType2FnLock = 0x20000;
inline constexpr DWORD kType2Touchpad = 0x1000000;
inline constexpr DWORD kType2NumLock = 0x1000;

// Reads a value of at most 4 bytes from HKEY_LOCAL_MACHINE\`subKey` without looking at its type.
// TRUE when read: *value then holds the value's bytes (a shorter value replaces only its own
// bytes). FALSE when the key does not open or the value is missing or longer (a REG_QWORD, say);
// *value is then untouched.
BOOL QueryMachineValue(const wchar_t* subKey, const wchar_t* valueName, DWORD* value);
