// Start-up synchronisation of the two hotkey classes: works out which hotkeys this service
// serves, switches them on, makes sure each has its subkey, publishes the served sets, and
// yields the masks the watcher follows. Reads isWow64, keyFamily and isWindows7OrLater from
// g_serviceState. Nothing is rolled back: values written before a failure stay written.
#pragma once

#include <windows.h>

// Class 01. False when "Capability" or its default value cannot be read, when a nonzero served
// set cannot be switched on in "CurrentSetting", when the class key's "Capability" cannot be
// written, or when an existing "OverrideSetting" cannot be read or written. Once false, the later
// writes are skipped, but subkeys are still created and *class01Mask is still produced.
bool SynchronizeClass01(DWORD* class01Mask);

// Class 02. False when "Capability" or its "Type2" cannot be read or "Serviced" cannot be
// written; *class02Mask is produced either way.
bool SynchronizeClass02(DWORD* class02Mask);

// Hotkeys the product's power-management component handles itself, assumed when
// "IsExistPMInternalFunction" is absent: HotkeyNumbers 3, 4 and 12.
inline constexpr DWORD kDefaultInternalFunctions = 0x80C;
// HotkeyNumber 7, never switched on at start before Windows 7.
inline constexpr DWORD kWindows7OnlyHotkeys = 0x40;
