// From a toggled hotkey to the program that handles it.
#pragma once

#include <windows.h>

#include "registry/hotkey_types.h"

// What ResolveHandler hands to LaunchInConsoleSession.
struct HandlerSpec {
    wchar_t applicationPath[MAX_PATH] = {};  // passed as the application name
    wchar_t parameters[MAX_PATH] = {};       // empty unless a registered handler supplies it
    wchar_t commandLine[MAX_PATH] = {};      // the path, or the path, one space and the parameters; never quoted
    DWORD lockedMode = 0;                    // nonzero: may start on the logon desktop
    DWORD nativePath = 0;                    // nonzero: redirection off on 64-bit Windows while checked and started
};

// Resolves the handler of hotkey `index` (HotkeyNumber - 1) of `hotkeyClass`, in this order of
// preference: "File" and "Parameters" registered in the hotkey's subkey (unless "NACondition"
// masks them out on this machine), the default program beside the service ("ostrel<n>.exe" for
// class 01, "brisk_<n>.exe" for class 02), then for class 01 the fixed fallbacks (HotkeyNumber 24:
// the "8001" key's "File" in the power-management family; HotkeyNumber 7: "DisplaySwitch.exe" on
// Windows 7 or later). The subkey's "LockedMode" and "NativePath" govern whichever is chosen.
// Reads keyFamily, isWow64, isWindows7OrLater, driverPresent and programDir of g_serviceState.
// False when nothing is found or a path or command line does not fit in 260 units.
bool ResolveHandler(HotkeyClass hotkeyClass, DWORD index, HandlerSpec* handler);

// Which of the three the resolution chose.
enum class HandlerSource { Registered, Default, Fallback };
// The same, saying which kind of handler was chosen (for the diagnostics program).
bool ResolveHandler(HotkeyClass hotkeyClass, DWORD index, HandlerSpec* handler, HandlerSource* source);

// One key press: starts the hotkey's handler in the active console session. Does nothing (false)
// until the service has finished starting (`running`).
bool DispatchHotkey(HotkeyClass hotkeyClass, DWORD index);

// HotkeyNumber 5 of class 01 may start on the logon desktop unless its subkey says otherwise.
inline constexpr DWORD kLockedModeByDefaultIndex = 4;
inline constexpr DWORD kDisplaySwitchIndex = 6;     // HotkeyNumber 7
inline constexpr DWORD kFallback8001Index = 23;     // HotkeyNumber 24
inline constexpr const wchar_t* kFallback8001Key = L"SOFTWARE\\KVX\\QVHOTKEY\\8001";
inline constexpr const wchar_t* kDisplaySwitchProgram = L"DisplaySwitch.exe";
